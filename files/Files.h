// Whole files in and out: reads that refuse anything but a regular file, and
// writes that never leave a half-written file behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

// Throws EFOpenError when the path is not a readable regular file.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Writes to a temporary name in the same folder and renames it into place;
// throws TError and removes the temporary file on failure.
void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace tappo
