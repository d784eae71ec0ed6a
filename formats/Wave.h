// WAV files: the "fmt " record, and audio in the mix format (stereo 16-bit,
// 44.1 kHz) that every keysound is converted to once, at load.
#pragma once

#include "base/Translate.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tappo {

inline constexpr int MixRate = 44100;

// The 20-byte format record a WAV file's "fmt " chunk is read into.
struct WaveFormat {
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t ExtraSize = 0;
    bool operator==(const WaveFormat&) const = default;
};

// Audio in the mix format (stereo 16-bit, 44.1 kHz), converted once at load.
// A file already in that format keeps its own bytes: the samples are read in
// place, with no copy. Converted samples have memory of their own, which is
// written once by the conversion (not cleared first).
struct PcmBuffer {
    std::vector<uint8_t> Storage;
    size_t Offset = 0;                    // byte offset of the first sample in Storage
    std::unique_ptr<int16_t[]> Converted; // when set, the samples instead of Storage
    size_t FrameCount = 0;

    const int16_t* Data() const {
        if (Converted) return Converted.get();
        return reinterpret_cast<const int16_t*>(Storage.data() + Offset);
    }
    size_t Frames() const { return FrameCount; }
    // Memory the samples hold (a file kept as it is: all its bytes).
    size_t MemoryBytes() const { return Converted ? FrameCount * 4 : Storage.capacity(); }
    std::vector<int16_t> ToVector() const {
        return std::vector<int16_t>(Data(), Data() + FrameCount * 2);
    }
    static std::shared_ptr<PcmBuffer> FromSamples(const std::vector<int16_t>& stereo);
};

// Reads a WAV file. On a problem returns null and sets `problem` to the log
// text's ending ("が、見つかりません", "は、WAVEファイルではありません", ...).
std::shared_ptr<const PcmBuffer> ReadWave(const std::string& path, WaveFormat& format,
                                          std::string& problem);
// The same over a file's bytes in memory (taken over when they can be played as they are).
std::shared_ptr<const PcmBuffer> DecodeWave(std::vector<uint8_t> bytes, WaveFormat& format,
                                            std::string& problem);
// Resampling to the mix rate (cubic interpolation), used by the reader.
std::vector<int16_t> ResampleStereo(const std::vector<int16_t>& stereo, uint32_t fromRate);
// The same straight into a sample of its own: `frames` stereo frames at `fromRate`.
std::shared_ptr<PcmBuffer> ResampledPcm(const int16_t* stereo, size_t frames, uint32_t fromRate);

// The log text's ending for a file that is no WAV file (nor one the compressed reader knows).
inline constexpr const char* NotWaveProblem = ForCatalogue("は、WAVEファイルではありません");

} // namespace tappo
