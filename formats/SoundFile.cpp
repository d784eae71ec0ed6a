// libsndfile reads from our own buffer through its virtual I/O, so a keysound
// is read from disk once, like a WAV, and no temporary file is needed.
#include "formats/SoundFile.h"

#include <sndfile.h>
#ifdef TAPPO_QUIET_MPG123
#include <dlfcn.h>
#include <mpg123.h>
#endif

#include <algorithm>
#include <cstring>
#include <new>

#ifdef TAPPO_QUIET_MPG123
// libsndfile decodes MP3 through libmpg123, which prints notes ("Note:
// Illegal Audio-MPEG-Header ...") on stderr for every damaged file unless its
// handle is told to be quiet, and libsndfile never tells it. The program's own
// mpg123_new takes the place of the library's for libsndfile's calls, makes
// the handle through the library's and sets it quiet; the reason a file fails
// still reaches the problem log.
extern "C" mpg123_handle* mpg123_new(const char* decoder, int* error) {
    using New = mpg123_handle* (*)(const char*, int*);
    static const New libraryNew = reinterpret_cast<New>(dlsym(RTLD_NEXT, "mpg123_new"));
    if (!libraryNew) {
        if (error) *error = MPG123_ERR;
        return nullptr;
    }
    mpg123_handle* handle = libraryNew(decoder, error);
    if (handle) mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    return handle;
}
#endif

namespace tappo {
namespace {

struct MemoryFile {
    const std::vector<uint8_t>* bytes;
    sf_count_t position = 0;
};

sf_count_t Length(void* user) {
    return sf_count_t(static_cast<MemoryFile*>(user)->bytes->size());
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t size = sf_count_t(f->bytes->size());
    const sf_count_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? size : 0;
    // Clamped before adding: a damaged header may ask for any offset at all.
    f->position = base + std::clamp<sf_count_t>(offset, -base, size - base);
    return f->position;
}

sf_count_t Read(void* out, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
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
    return static_cast<MemoryFile*>(user)->position;
}

// Same accepted rates as the WAV reader: below or above them a keysound is
// either broken or would resample into an absurd amount of memory.
constexpr int MinRate = 1000, MaxRate = 768000;

// Reads every frame as 16-bit stereo into `stereo`, which already holds room
// for the frames the header announces, bounded by what MaxDecodedFrames at the
// mix rate allows at the file's rate. Returns the frames read, or -1 when the
// file decodes to more than that.
int64_t ReadStereo(SNDFILE* file, int channels, uint64_t maxFrames, std::vector<uint8_t>& stereo) {
    constexpr sf_count_t Block = 4096;
    std::vector<int16_t> block(size_t(Block) * size_t(channels));
    const int right = channels > 1 ? 1 : 0;
    uint64_t frames = 0;
    for (;;) {
        const sf_count_t got = sf_readf_short(file, block.data(), Block);
        if (got <= 0) break;
        if (frames + uint64_t(got) > maxFrames) return -1;
        // Grows only past the announced length (a header that says too little).
        const size_t need = size_t(frames + uint64_t(got)) * 4;
        if (need > stereo.capacity()) stereo.reserve(std::max(need, stereo.capacity() * 2));
        stereo.resize(need);
        int16_t* out = reinterpret_cast<int16_t*>(stereo.data()) + frames * 2;
        for (sf_count_t i = 0; i < got; ++i) {
            out[2 * i] = block[size_t(i * channels)];
            out[2 * i + 1] = block[size_t(i * channels + right)];
        }
        frames += uint64_t(got);
    }
    return int64_t(frames);
}

// Why a file libsndfile cannot open is refused: the format its first bytes
// announce, or, for a file that looks like nothing it knows, no WAV file.
std::string UnreadableProblem(const std::vector<uint8_t>& bytes) {
    const uint8_t* d = bytes.data();
    const size_t n = bytes.size();
    if (n >= 4 && std::memcmp(d, "OggS", 4) == 0) return Tr("は、Ogg ファイルとして読めません");
    if (n >= 4 && std::memcmp(d, "fLaC", 4) == 0) return Tr("は、FLAC ファイルとして読めません");
    if (LooksLikeCompressedSound(d, n)) return Tr("は、MP3 ファイルとして読めません");
    return Tr(NotWaveProblem);
}

} // namespace

bool LooksLikeCompressedSound(const uint8_t* data, size_t size) {
    if (size >= 4 && (std::memcmp(data, "OggS", 4) == 0 || std::memcmp(data, "fLaC", 4) == 0))
        return true;
    if (size >= 3 && std::memcmp(data, "ID3", 3) == 0) return true;
    return size >= 2 && data[0] == 0xFF && (data[1] & 0xE0) == 0xE0;
}

std::shared_ptr<const PcmBuffer> DecodeSoundFile(const std::vector<uint8_t>& bytes,
                                                 WaveFormat& format, std::string& problem) {
    SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
    MemoryFile memory{&bytes};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
    if (!file) {
        problem = UnreadableProblem(bytes);
        return nullptr;
    }
    struct Closer {
        SNDFILE* f;
        ~Closer() { sf_close(f); }
    } closer{file};
    if (info.channels <= 0 || info.channels > 256 || info.samplerate < MinRate ||
        info.samplerate > MaxRate) {
        problem = Tr("のfmtチャンクが不正です");
        return nullptr;
    }
    format = WaveFormat{};
    format.FormatTag = 1;
    format.Channels = uint16_t(info.channels);
    format.SamplesPerSec = uint32_t(info.samplerate);
    format.BitsPerSample = 16;
    format.BlockAlign = uint16_t(2 * info.channels);
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    try {
        // Bounded as a duration and, for rates above the mix rate, as memory too.
        const uint64_t maxFrames = std::min<uint64_t>(
            MaxDecodedFrames, MaxDecodedFrames * uint64_t(info.samplerate) / uint64_t(MixRate));
        // Room for the frames the header announces, up to that bound, taken
        // once: a long sound is decoded in place, never copied as it grows.
        std::vector<uint8_t> stereo;
        if (info.frames > 0)
            stereo.reserve(size_t(std::min<uint64_t>(uint64_t(info.frames), maxFrames)) * 4);
        const int64_t frames = ReadStereo(file, info.channels, maxFrames, stereo);
        if (frames < 0) {
            problem = Tr("のdataチャンクが長すぎます");
            return nullptr;
        }
        const auto* samples = reinterpret_cast<const int16_t*>(stereo.data());
        if (format.SamplesPerSec != uint32_t(MixRate))
            return ResampledPcm(samples, size_t(frames), format.SamplesPerSec);
        // A header that claimed far more than the file holds leaves its room unused.
        if (stereo.capacity() > stereo.size() * 2) stereo.shrink_to_fit();
        auto pcm = std::make_shared<PcmBuffer>();
        pcm->FrameCount = size_t(frames);
        pcm->Storage = std::move(stereo);
        return pcm;
    } catch (const std::bad_alloc&) {
        problem = Tr("の読み込み中にメモリが不足しました");
        return nullptr;
    }
}

} // namespace tappo
