// Finding the files a chart names. Charts come from Windows: their file names
// are Shift-JIS bytes (or UTF-8 in newer charts), may use "\" between folders,
// and often differ in letter case from the files on disk, which may themselves
// be stored with Shift-JIS or UTF-8 names. A name is tried as written; where
// that fails, each part of the path is matched against its folder's listing by
// its text (either encoding) without regard to ASCII case.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tappo {

struct ChartData;

// Resolves the names of one chart's files. Each folder is listed at most once
// per resolver, so a chart with a thousand sounds in one folder reads that
// folder's listing once.
class FileResolver {
  public:
    FileResolver() = default;
    // A resolver that keeps every path inside `root` (see KeptInside).
    explicit FileResolver(const std::string& root) : root_(root) {}
    // The path of an existing file for `path`, or "" when nothing matches.
    std::string Find(const std::string& path);
    // `path`, or failing that the same name with each of `extensions` in turn
    // in place of its own (song packs re-encode "kick.wav" as "kick.ogg").
    std::string FindWithFallback(const std::string& path,
                                 std::initializer_list<const char*> extensions);
    // Folders listed so far (for tests and benchmarks).
    int Listings() const { return listings_; }

  private:
    struct Entry {
        std::string name; // as stored on disk
        std::string key;  // its text as UTF-8, ASCII letters lowered
    };
    const std::vector<Entry>& Listing(const std::string& folder);
    std::string Match(const std::string& folder, const std::string& part);
    std::string Lookup(const std::string& asked);

    std::map<std::string, std::vector<Entry>> folders_;
    std::unordered_map<std::string, std::string> found_; // path asked for -> file, "" for none
    std::optional<std::string> root_;
    int listings_ = 0;
};

// Keysound files: as named, then .ogg, .flac, .mp3 and .wav under the same stem.
inline constexpr std::initializer_list<const char*> SoundFallbacks = {".ogg", ".flac", ".mp3",
                                                                      ".wav"};
// Pictures: as named, then .png, .jpg and .bmp under the same stem.
inline constexpr std::initializer_list<const char*> PictureFallbacks = {".png", ".jpg", ".bmp"};

// The path of an existing file for `path`, or `path` itself when nothing matches.
std::string ResolveChartFile(const std::string& path);

// `path` with "\" turned into "/", except where a "\" is the second byte of a
// Shift-JIS character (in text that is not UTF-8).
std::string WithForwardSlashes(const std::string& path);

// The folder part of a chart path, with its trailing separator ("" when it
// has none). "/" and "\" separate (":" is an ordinary character in names
// here); in Shift-JIS text (text that is not UTF-8) a "\" that is the second
// byte of a double-byte character does not.
std::string FolderOfChart(const std::string& path);

// The folder a chart's names are kept in: the first of `songsFolders` that
// holds the chart (so "../common/kick.wav" reaches a folder beside the
// chart's), else the chart's own folder ("." for a chart in the current one).
std::string ChartFilesRoot(const std::string& chartPath,
                           const std::vector<std::string>& songsFolders);

// `path` itself when it stays inside the folder `root`, once "." and ".." are
// taken as they read ("\" separates too; links are not followed: a link
// inside the songs folder is the user's own choice). A path that would leave
// the folder stands for the file inside it that it names from there, as an
// absolute name does: a ".." at `root` stays there, as at "/". "" for `root`
// is the current folder.
std::string KeptInside(const std::string& path, const std::string& root);

// Keeps every file a compiled chart names inside `root`: its keysounds and
// pictures (song folder + name) and its MIDI file (a name in `songFolder`,
// which is emptied, so that no music is loaded). Returns one text for each
// name that would have left it, saying what became of it.
std::vector<std::string> KeepChartFilesInside(ChartData& chart, std::string& midiFileName,
                                              const std::string& songFolder,
                                              const std::string& root);

} // namespace tappo
