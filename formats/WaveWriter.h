// Streams 16-bit stereo 44.1 kHz audio into a WAV file. The file is written
// under a temporary name and only renamed into place when it is complete.
#pragma once

#include "base/Translate.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace tappo {

// Why a render stops: the 32-bit sizes of a WAV file cannot describe it.
inline constexpr const char* TextTooLongForWave =
    ForCatalogue("the song is longer than a WAV file can hold (6 h 45 min)");

class WaveFileWriter {
  public:
    // The most stereo frames a WAV file's 32-bit sizes can describe (about
    // 6 h 45 min at 44.1 kHz).
    static constexpr uint64_t MaxFrames = (0xFFFFFFFFull - 36) / 4;

    // Throws Error when the file cannot be made.
    // `maxFrames` is the longest file it makes (at most MaxFrames).
    explicit WaveFileWriter(std::string path, uint64_t maxFrames = MaxFrames);
    ~WaveFileWriter(); // an unfinished file is removed
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    // Frames past the longest are not written: the file is then too long, and
    // Finish refuses it.
    void Write(const int16_t* stereo, size_t frames);
    // Completes the header and renames the file into place; throws on failure.
    void Finish();
    uint64_t Frames() const { return frames_; }
    bool TooLong() const { return tooLong_; }

  private:
    std::string path_, temp_;
    std::FILE* file_ = nullptr;
    uint64_t frames_ = 0, maxFrames_;
    bool failed_ = false;
    bool tooLong_ = false;
};

} // namespace tappo
