// Compressed keysounds: Ogg Vorbis, FLAC and MP3 (and any WAV that libsndfile
// reads) decoded into the same mix-format sample a WAV file becomes.
#pragma once

#include "formats/Wave.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tappo {

// Longest sound a file may decode to (in mix-rate frames, 20 minutes): far more
// than any keysound or background track, and a bound on what a corrupt length
// field can make us allocate.
inline constexpr uint64_t MaxDecodedFrames = uint64_t(MixRate) * 60 * 20;

// Decodes a whole file in memory. The first two channels are kept (a mono file
// plays on both), and other rates are resampled exactly as the WAV reader does.
// On a problem returns null and sets `problem` to the log text's ending.
std::shared_ptr<const PcmBuffer> DecodeSoundFile(const std::vector<uint8_t>& bytes,
                                                 WaveFormat& format, std::string& problem);

// True when the bytes start like a file only the compressed reader handles
// ("OggS", "fLaC", an ID3 tag or an MPEG audio frame).
bool LooksLikeCompressedSound(const uint8_t* data, size_t size);

} // namespace tappo
