#include "chart/FileLookup.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "base/Translate.h"
#include "chart/CompiledChart.h"
#include "chart/ShiftJis.h"

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>

namespace tappo {
namespace {

// Only regular files count: a FIFO or a device under a keysound's name would
// otherwise hide the re-encoded file beside it.
bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The text a name stands for, whichever encoding it was written in.
std::string NameKey(std::string_view name) {
    return AsciiLower(IsValidUtf8(name) ? std::string(name) : Cp932ToUtf8(name));
}

} // namespace

const std::vector<FileResolver::Entry>& FileResolver::Listing(const std::string& folder) {
    auto [it, added] = folders_.try_emplace(folder);
    if (!added) return it->second;
    ++listings_;
    if (DIR* dir = opendir(folder.empty() ? "." : folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") it->second.push_back(Entry{name, NameKey(name)});
        }
        closedir(dir);
    }
    // Sorted, so that where two names match loosely the same one wins on every
    // machine, whatever order the file system lists them in.
    std::sort(it->second.begin(), it->second.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return it->second;
}

// The entry of `folder` for `part`: the same bytes first, then the same text.
std::string FileResolver::Match(const std::string& folder, const std::string& part) {
    const std::vector<Entry>& entries = Listing(folder);
    for (const Entry& e : entries)
        if (e.name == part) return e.name;
    const std::string key = NameKey(part);
    for (const Entry& e : entries)
        if (e.key == key) return e.name;
    return "";
}

std::string FileResolver::Find(const std::string& path) {
    // A chart may name one file from every slot: it is looked up once.
    const auto known = found_.find(path);
    if (known != found_.end()) return known->second;
    std::string found = Lookup(path);
    found_.emplace(path, found);
    return found;
}

std::string FileResolver::Lookup(const std::string& asked) {
    if (asked.empty()) return "";
    std::string path = root_ ? KeptInside(asked, *root_) : asked;
    if (IsFile(path)) return path;
    std::string normal = WithForwardSlashes(path);
    if (normal != path && IsFile(normal)) return normal;
    // Walk the path one part at a time, matching each part loosely.
    std::string resolved = normal[0] == '/' ? "/" : "";
    size_t start = normal[0] == '/' ? 1 : 0;
    while (start <= normal.size()) {
        const size_t slash = normal.find('/', start);
        const std::string part =
            normal.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty() && part != ".") {
            const std::string match = part == ".." ? part : Match(resolved, part);
            if (match.empty()) return "";
            resolved += match;
            if (slash != std::string::npos) resolved += '/';
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return IsFile(resolved) ? resolved : "";
}

std::string FileResolver::FindWithFallback(const std::string& path,
                                           std::initializer_list<const char*> extensions) {
    std::string found = Find(path);
    if (!found.empty()) return found;
    const size_t slash = path.find_last_of("/\\"), dot = path.find_last_of('.');
    const size_t stemEnd =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size();
    for (const char* extension : extensions) {
        found = Find(path.substr(0, stemEnd) + extension);
        if (!found.empty()) return found;
    }
    return "";
}

std::string WithForwardSlashes(const std::string& path) {
    std::string normal = path;
    // In Shift-JIS text a backslash can also be the second byte of a character.
    const bool shiftJis = !IsValidUtf8(normal);
    for (size_t i = 0; i < normal.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(normal[i]);
        if (shiftJis && IsShiftJisLeadByte(c)) {
            ++i; // skip the trail byte of a double-byte character
        } else if (c == '\\') {
            normal[i] = '/';
        }
    }
    return normal;
}

std::string ResolveChartFile(const std::string& path) {
    FileResolver resolver;
    const std::string found = resolver.Find(path);
    return found.empty() ? path : found;
}

std::string FolderOfChart(const std::string& path) {
    const bool shiftJis = !IsValidUtf8(path);
    size_t end = 0; // one past the last separator
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (shiftJis && IsShiftJisLeadByte(c)) {
            ++i; // a double-byte character: its second byte is never a separator
        } else if (c == '/' || c == '\\') {
            end = i + 1;
        }
    }
    return path.substr(0, end);
}

namespace {

using PathParts = std::vector<std::string>;

// The parts of `path` between its "/" separators, without empty ones and ".".
PathParts PartsOf(const std::string& path) {
    PathParts parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = std::min(path.find('/', start), path.size());
        std::string part = path.substr(start, slash - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = slash + 1;
    }
    return parts;
}

// The parts of `path` from "/": a relative path starts at the current folder.
PathParts AbsoluteParts(const std::string& path) {
    PathParts parts;
    if (path.empty() || path[0] != '/') {
        std::error_code ec;
        parts = PartsOf(std::filesystem::current_path(ec).string());
    }
    for (std::string& part : PartsOf(path))
        parts.push_back(std::move(part));
    return parts;
}

bool BeginsWith(const PathParts& parts, const PathParts& folder) {
    return parts.size() >= folder.size() && std::equal(folder.begin(), folder.end(), parts.begin());
}

// `parts` with each ".." taking away the part before it. Where `root` is
// given, a ".." at the root stays there, and a path that never reaches it is
// taken as below it, as an absolute name is taken below a chart's folder.
PathParts Resolved(const PathParts& parts, const PathParts* root = nullptr) {
    PathParts resolved;
    for (const std::string& part : parts) {
        if (part != "..")
            resolved.push_back(part);
        else if (!resolved.empty() && !(root && resolved == *root))
            resolved.pop_back();
    }
    if (root && !BeginsWith(resolved, *root))
        resolved.insert(resolved.begin(), root->begin(), root->end());
    return resolved;
}

std::string PathText(const PathParts& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += "/" + part;
    return text.empty() ? "/" : text;
}

PathParts RootParts(const std::string& root) {
    return Resolved(AbsoluteParts(root.empty() ? "." : root));
}

std::string OutsideText(const std::string& path, const std::string& root) {
    return FormatText(Tr("%s names a file outside the folder %s: "), ChartTextToUtf8(path),
                      ChartTextToUtf8(root));
}

} // namespace

std::string ChartFilesRoot(const std::string& chartPath,
                           const std::vector<std::string>& songsFolders) {
    const PathParts chart = Resolved(AbsoluteParts(chartPath));
    for (const std::string& folder : songsFolders) {
        const PathParts songs = RootParts(folder);
        if (chart.size() > songs.size() && BeginsWith(chart, songs)) return folder;
    }
    const std::string own = FolderOfChart(chartPath);
    return own.empty() ? "." : own;
}

std::string KeptInside(const std::string& path, const std::string& root) {
    const PathParts folder = RootParts(root);
    // The file system ends a name at a NUL byte (a bmson name may hold one):
    // what is checked is what would be opened.
    std::string name = path.substr(0, path.find('\0'));
    // The file system reads "\" as part of a name: the path as written must
    // stay inside as well as the path the lookup makes of it.
    const std::string forward = WithForwardSlashes(name);
    const PathParts parts = AbsoluteParts(forward);
    if (BeginsWith(Resolved(parts), folder) && BeginsWith(Resolved(AbsoluteParts(name)), folder))
        return name;
    return PathText(Resolved(parts, &folder));
}

std::vector<std::string> KeepChartFilesInside(ChartData& chart, std::string& midiFileName,
                                              const std::string& songFolder,
                                              const std::string& root) {
    std::vector<std::string> problems;
    const auto keep = [&](std::string& name) {
        if (name.empty()) return;
        const std::string kept = KeptInside(name, root);
        if (kept == name) return;
        problems.push_back(OutsideText(name, root) +
                           FormatText(Tr("it is looked for as %s"), ChartTextToUtf8(kept)));
        name = kept;
    };
    for (std::string& name : chart.WavFileNames)
        keep(name);
    for (std::string& name : chart.BmpFileNames)
        keep(name);
    if (!midiFileName.empty() &&
        KeptInside(songFolder + midiFileName, root) != songFolder + midiFileName) {
        problems.push_back(OutsideText(songFolder + midiFileName, root) + Tr("it is not loaded"));
        midiFileName.clear();
    }
    return problems;
}

} // namespace tappo
