// Whole files in and out: reads that refuse anything but a regular file, and
// writes that never leave a half-written file behind.
#pragma once

#include "base/Errors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

// Largest file of each kind the player reads, far above anything a real song
// holds. The size is checked before any memory is taken, so a huge (or sparse)
// file named as a chart, a picture or a sound costs nothing. Charts, MIDI
// files, archives and every other file share the first.
inline constexpr uint64_t MaxFileBytes = uint64_t(64) << 20;
inline constexpr uint64_t MaxPictureFileBytes = uint64_t(160) << 20;
inline constexpr uint64_t MaxSoundFileBytes = uint64_t(512) << 20;

// A file larger than the reader takes; its text names the file and the limit.
class FileTooLargeError : public Error {
  public:
    FileTooLargeError(const std::string& path, uint64_t maxBytes);
};

// Throws FileOpenError when the path is not a readable regular file, and
// FileTooLargeError when it holds more than `maxBytes`. The bytes come with
// FileReadSlack bytes of capacity past the file's end, set to 0, so a reader
// that scans in blocks (the bmson reader) can take them where they are.
inline constexpr size_t FileReadSlack = 64;
std::vector<uint8_t> ReadWholeFile(const std::string& path, uint64_t maxBytes = MaxFileBytes);
// Writes to a temporary name in the same folder and renames it into place;
// throws Error and removes the temporary file on failure.
void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes);
// The file that `path` stands for when it is written: `path` itself, or where
// the symbolic link at `path` leads, through a chain of links (a relative
// target is taken from its own link's folder). A write there keeps the link,
// as a dotfile manager's links must be kept. A link that leads to no file yet
// leads to the file it names when that file's folder exists; otherwise, and
// for a loop of links, throws Error.
std::string FileBehindLinks(const std::string& path);

} // namespace tappo
