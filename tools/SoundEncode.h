// Sound files in any format libsndfile writes (Ogg Vorbis, FLAC, MP3, the
// compressed WAV forms), made in memory: the tests' and fuzz seeds' keysounds.
#pragma once

#include <cstdint>
#include <vector>

namespace tappo::tools {

// SAMPLES interleaved for CHANNELS, at RATE, in libsndfile's FORMAT (an
// SF_FORMAT_* major type with its subtype). Empty when libsndfile cannot
// write that format. No PEAK chunk: it holds the time of writing, and the
// same samples would give other bytes each time.
std::vector<uint8_t> EncodeSound(const std::vector<int16_t>& samples, int channels, int rate,
                                 int format);

} // namespace tappo::tools
