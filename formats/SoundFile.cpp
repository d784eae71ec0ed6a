// libsndfile reads from our own buffer through its virtual I/O, so a keysound
// is read from disk once, like a WAV, and no temporary file is needed.
#include "formats/SoundFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace tappo {
namespace {

struct TMemoryFile {
    const std::vector<uint8_t>* bytes;
    sf_count_t position = 0;
};

sf_count_t Length(void* user) {
    return sf_count_t(static_cast<TMemoryFile*>(user)->bytes->size());
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<TMemoryFile*>(user);
    const sf_count_t size = sf_count_t(f->bytes->size());
    const sf_count_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? size : 0;
    // Clamped before adding: a damaged header may ask for any offset at all.
    f->position = base + std::clamp<sf_count_t>(offset, -base, size - base);
    return f->position;
}

sf_count_t Read(void* out, sf_count_t count, void* user) {
    auto* f = static_cast<TMemoryFile*>(user);
    const sf_count_t left = sf_count_t(f->bytes->size()) - f->position;
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, left);
    if (n > 0) std::memcpy(out, f->bytes->data() + f->position, size_t(n));
    f->position += n;
    return n;
}

sf_count_t Write(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t Tell(void* user) {
    return static_cast<TMemoryFile*>(user)->position;
}

// Same accepted rates as the WAV reader: below or above them a keysound is
// either broken or would resample into an absurd amount of memory.
constexpr int MinRate = 1000, MaxRate = 768000;

// Reads every frame as 16-bit stereo, bounded by what MaxDecodedFrames at the
// mix rate allows at the file's rate.
bool ReadStereo(SNDFILE* file, int channels, int rate, std::vector<int16_t>& stereo) {
    // Bounded as a duration and, for rates above the mix rate, as memory too.
    const uint64_t maxFrames =
        std::min<uint64_t>(MaxDecodedFrames, MaxDecodedFrames * uint64_t(rate) / uint64_t(MixRate));
    constexpr sf_count_t Block = 4096;
    std::vector<int16_t> block(size_t(Block) * size_t(channels));
    for (;;) {
        const sf_count_t got = sf_readf_short(file, block.data(), Block);
        if (got <= 0) break;
        if (stereo.size() / 2 + uint64_t(got) > maxFrames) return false;
        const int right = channels > 1 ? 1 : 0;
        for (sf_count_t i = 0; i < got; ++i) {
            stereo.push_back(block[size_t(i * channels)]);
            stereo.push_back(block[size_t(i * channels + right)]);
        }
    }
    return true;
}

} // namespace

bool LooksLikeCompressedSound(const uint8_t* d, size_t n) {
    if (n >= 4 && (std::memcmp(d, "OggS", 4) == 0 || std::memcmp(d, "fLaC", 4) == 0)) return true;
    if (n >= 3 && std::memcmp(d, "ID3", 3) == 0) return true;
    return n >= 2 && d[0] == 0xFF && (d[1] & 0xE0) == 0xE0;
}

std::shared_ptr<const TPcm> DecodeSoundFile(const std::vector<uint8_t>& bytes, TWaveFormat& format,
                                            std::string& problem) {
    SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
    TMemoryFile memory{&bytes};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
    if (!file) {
        problem = "は、WAVEファイルではありません";
        return nullptr;
    }
    struct TCloser {
        SNDFILE* f;
        ~TCloser() { sf_close(f); }
    } closer{file};
    if (info.channels <= 0 || info.channels > 256 || info.samplerate < MinRate ||
        info.samplerate > MaxRate) {
        problem = "のfmtチャンクが不正です";
        return nullptr;
    }
    format = TWaveFormat{};
    format.FormatTag = 1;
    format.Channels = uint16_t(info.channels);
    format.SamplesPerSec = uint32_t(info.samplerate);
    format.BitsPerSample = 16;
    format.BlockAlign = uint16_t(2 * info.channels);
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    try {
        std::vector<int16_t> stereo;
        // The header's length is only a hint (a few bytes can claim hours): a
        // modest start, and the buffer grows with what really decodes.
        constexpr uint64_t HintedFrames = uint64_t(1) << 20;
        if (info.frames > 0)
            stereo.reserve(size_t(std::min<uint64_t>(uint64_t(info.frames), HintedFrames)) * 2);
        if (!ReadStereo(file, info.channels, info.samplerate, stereo)) {
            problem = "のdataチャンクが長すぎます";
            return nullptr;
        }
        if (format.SamplesPerSec == uint32_t(MixRate)) return TPcm::FromSamples(stereo);
        return TPcm::FromSamples(ResampleStereo(stereo, format.SamplesPerSec));
    } catch (const std::bad_alloc&) {
        problem = "の読み込み中にメモリが不足しました";
        return nullptr;
    }
}

} // namespace tappo
