#include "tools/SoundEncode.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>

namespace tappo::tools {
namespace {

// A file in memory that grows as libsndfile writes it.
struct GrowingFile {
    std::vector<uint8_t> bytes;
    sf_count_t position = 0;
};

sf_count_t GrowingLength(void* user) {
    return sf_count_t(static_cast<GrowingFile*>(user)->bytes.size());
}

sf_count_t GrowingSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<GrowingFile*>(user);
    const sf_count_t base = whence == SEEK_CUR   ? f->position
                            : whence == SEEK_END ? sf_count_t(f->bytes.size())
                                                 : 0;
    f->position = base + offset;
    return f->position;
}

sf_count_t GrowingRead(void* out, sf_count_t n, void* user) {
    auto* f = static_cast<GrowingFile*>(user);
    const sf_count_t size = sf_count_t(f->bytes.size());
    const sf_count_t got = f->position >= size ? 0 : std::min(n, size - f->position);
    if (got > 0) std::copy_n(f->bytes.data() + f->position, got, static_cast<uint8_t*>(out));
    f->position += got;
    return got;
}

sf_count_t GrowingWrite(const void* in, sf_count_t n, void* user) {
    auto* f = static_cast<GrowingFile*>(user);
    if (size_t(f->position + n) > f->bytes.size()) f->bytes.resize(size_t(f->position + n));
    std::copy_n(static_cast<const uint8_t*>(in), n, f->bytes.data() + f->position);
    f->position += n;
    return n;
}

sf_count_t GrowingTell(void* user) {
    return static_cast<GrowingFile*>(user)->position;
}

} // namespace

std::vector<uint8_t> EncodeSound(const std::vector<int16_t>& samples, int channels, int rate,
                                 int format) {
    SF_VIRTUAL_IO io{GrowingLength, GrowingSeek, GrowingRead, GrowingWrite, GrowingTell};
    GrowingFile file;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (!sf) return {};
    sf_command(sf, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_writef_short(sf, samples.data(), sf_count_t(samples.size() / size_t(channels)));
    sf_close(sf);
    return file.bytes;
}

} // namespace tappo::tools
