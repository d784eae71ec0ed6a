// Streams 16-bit stereo 44.1 kHz audio into a WAV file. The file is written
// under a temporary name and only renamed into place when it is complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tappo {

class TWaveFileWriter {
  public:
    // Throws TError when the file cannot be made.
    explicit TWaveFileWriter(std::string path);
    ~TWaveFileWriter(); // an unfinished file is removed
    TWaveFileWriter(const TWaveFileWriter&) = delete;
    TWaveFileWriter& operator=(const TWaveFileWriter&) = delete;

    void Write(const int16_t* stereo, size_t frames);
    // Completes the header and renames the file into place; throws on failure.
    void Finish();
    uint64_t Frames() const { return frames_; }

  private:
    std::string path_, temp_;
    std::FILE* file_ = nullptr;
    uint64_t frames_ = 0;
    bool failed_ = false;
};

} // namespace tappo
