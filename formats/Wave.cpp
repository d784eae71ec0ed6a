// The WAV reader: finds the RIFF form "WAVE" at the top level, its "fmt "
// chunk from the start of the form and the "data" chunk after it, and converts
// the audio once to the mix format.
#include "formats/Wave.h"
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "formats/SoundFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tappo {
namespace {

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

struct Chunk {
    size_t body = 0; // offset of the chunk's contents
    uint64_t size = 0;
    bool found = false;
};

// First chunk `id` between `from` and `end`.
Chunk FindChunk(const uint8_t* data, size_t from, size_t end, const char* id) {
    uint64_t p = from;
    while (p + 8 <= end) {
        const uint64_t size = U32(data + p + 4);
        if (std::memcmp(data + p, id, 4) == 0) return Chunk{size_t(p + 8), size, true};
        p += 8 + size + (size & 1);
    }
    return {};
}

constexpr uint16_t WavePcm = 1, WaveFloat = 3, WaveExtensible = 0xFFFE;

// One sample of channel `c` of frame `f` as a 16-bit value.
int16_t SampleAt(const uint8_t* frame, int c, int bytes, bool isFloat) {
    const uint8_t* p = frame + c * bytes;
    switch (bytes) {
    case 1:
        return int16_t((int(p[0]) - 128) << 8);
    case 2:
        return int16_t(U16(p));
    case 3:
        return int16_t(U16(p + 1));
    default:
        if (isFloat) {
            float f;
            std::memcpy(&f, p, 4);
            if (!(f == f)) return 0;
            return int16_t(std::lround(std::clamp(f, -1.0f, 1.0f) * 32767.0f));
        }
        return int16_t(U32(p) >> 16);
    }
}

// How a file's samples lie in its frames: `FrameBytes` a frame, `SampleBytes`
// a sample, as floats or integers; channel `Right` is taken as the right side.
struct SampleLayout {
    size_t FrameBytes;
    int SampleBytes;
    int Right;
    bool IsFloat;
};

// The layout of a file of `format`; a mono file's one channel is read as
// both sides.
SampleLayout LayoutOf(const WaveFormat& format, bool isFloat) {
    const int sampleBytes = format.BitsPerSample / 8;
    return {.FrameBytes = size_t(sampleBytes) * format.Channels,
            .SampleBytes = sampleBytes,
            .Right = format.Channels > 1 ? 1 : 0,
            .IsFloat = isFloat};
}

// Channels 0 and `Right` of each frame as 16-bit samples into `out`, `Count`
// samples a frame (2: left and right; 1: a mono file's one channel, which the
// conversion writes to both sides), with the common 16-bit form read without
// the per-sample switch.
template <int Count>
void ReadChannels(const uint8_t* src, size_t frames, const SampleLayout& layout, int16_t* out) {
    const size_t frameBytes = layout.FrameBytes;
    const int sampleBytes = layout.SampleBytes, right = layout.Right;
    const bool isFloat = layout.IsFloat;
    if (sampleBytes == 2) {
        const size_t r = size_t(right) * 2;
        for (size_t i = 0; i < frames; ++i, src += frameBytes) {
            out[Count * i] = int16_t(U16(src));
            if constexpr (Count == 2) out[2 * i + 1] = int16_t(U16(src + r));
        }
        return;
    }
    for (size_t i = 0; i < frames; ++i, src += frameBytes) {
        out[Count * i] = SampleAt(src, 0, sampleBytes, isFloat);
        if constexpr (Count == 2) out[2 * i + 1] = SampleAt(src, right, sampleBytes, isFloat);
    }
}

// A converted sample rounded half away from zero and held to 16 bits, without
// branches: the clamp happens first, and the ends still round to themselves.
inline int16_t RoundSample(float v) {
    const float c = std::min(std::max(v, -32768.0f), 32767.0f);
    return int16_t(int(c + std::copysign(0.5f, c)));
}

// Catmull-Rom between y1 and y2 at t: smooth, and exact at the source samples.
inline float CatmullRom(float y0, float y1, float y2, float y3, float t) {
    return y1 + 0.5f * t *
                    (y2 - y0 + t * (2 * y0 - 5 * y1 + 4 * y2 - y3 + t * (3 * (y1 - y2) + y3 - y0)));
}

// Output frame at source position `pos` (32.32 fixed point) from a stream of
// `Count` channels, with the four nearest source frames held at the ends.
template <int Count>
inline void ResampleEdgeFrame(const int16_t* in, size_t last, uint64_t pos, int16_t* out) {
    const size_t i = size_t(pos >> 32);
    const float t = float(uint32_t(pos)) * (1.0f / 4294967296.0f);
    const size_t i0 = i > 0 ? i - 1 : 0, i2 = i + 1 <= last ? i + 1 : last,
                 i3 = i + 2 <= last ? i + 2 : last;
    for (size_t c = 0; c < 2; ++c) {
        const size_t k = Count == 1 ? 0 : c;
        out[c] = RoundSample(CatmullRom(in[i0 * Count + k], in[i * Count + k], in[i2 * Count + k],
                                        in[i3 * Count + k], t));
    }
}

// Halfway between y1 and y2 the cubic is (9 (y1 + y2) - y0 - y3) / 16 exactly
// (every step of the float form above is exact there), rounded the same way.
inline int16_t HalfwaySample(int y0, int y1, int y2, int y3) {
    const int s = 9 * (y1 + y2) - y0 - y3;
    const int magnitude = ((s < 0 ? -s : s) + 8) >> 4;
    return int16_t(std::clamp(s < 0 ? -magnitude : magnitude, -32768, 32767));
}

// Exactly twice the rate: every source frame, then the point halfway to the next.
template <int Count> void DoubleRate(const int16_t* in, size_t frames, int16_t* out) {
    const size_t last = frames - 1;
    auto edge = [&](size_t i) {
        const size_t i0 = i > 0 ? i - 1 : 0, i2 = std::min(i + 1, last), i3 = std::min(i + 2, last);
        for (size_t c = 0; c < 2; ++c) {
            const size_t k = Count == 1 ? 0 : c;
            out[4 * i + c] = in[Count * i + k];
            out[4 * i + 2 + c] = HalfwaySample(in[Count * i0 + k], in[Count * i + k],
                                               in[Count * i2 + k], in[Count * i3 + k]);
        }
    };
    edge(0);
    const size_t interiorEnd = frames >= 3 ? frames - 2 : 1;
    for (size_t i = 1; i < interiorEnd; ++i) {
        const int16_t* y = in + Count * (i - 1);
        int16_t* o = out + 4 * i;
        if constexpr (Count == 1) {
            o[0] = o[1] = y[1];
            o[2] = o[3] = HalfwaySample(y[0], y[1], y[2], y[3]);
        } else {
            o[0] = y[2], o[1] = y[3];
            o[2] = HalfwaySample(y[0], y[2], y[4], y[6]);
            o[3] = HalfwaySample(y[1], y[3], y[5], y[7]);
        }
    }
    for (size_t i = std::max<size_t>(interiorEnd, 1); i < frames; ++i)
        edge(i);
}

size_t ResampledFrameCount(size_t frames, uint32_t fromRate) {
    if (fromRate == uint32_t(MixRate)) return frames;
    return size_t((uint64_t(frames) * MixRate + fromRate - 1) / fromRate);
}

// Converts `frames` frames of `Count` channels at `fromRate` (not the mix
// rate) to stereo at the mix rate, ResampledFrameCount frames into `out`.
template <int Count>
void ResampleInto(const int16_t* in, size_t frames, uint32_t fromRate, int16_t* out) {
    if (frames == 0) return;
    if (uint64_t(fromRate) * 2 == uint64_t(MixRate)) return DoubleRate<Count>(in, frames, out);
    const size_t outFrames = ResampledFrameCount(frames, fromRate);
    // Source position in 32.32 fixed point.
    const uint64_t step = (uint64_t(fromRate) << 32) / uint64_t(MixRate);
    const size_t last = frames - 1;
    // Frames whose four neighbours all lie inside the source need no holding:
    // from the first past source frame 0 to the last before frame last - 1.
    const size_t begin =
        std::min<size_t>(outFrames, size_t(((uint64_t(1) << 32) + step - 1) / step));
    const size_t end =
        last >= 2 ? std::clamp<size_t>(size_t(((uint64_t(last - 1) << 32) + step - 1) / step),
                                       begin, outFrames)
                  : begin;
    for (size_t o = 0; o < begin; ++o)
        ResampleEdgeFrame<Count>(in, last, o * step, out + 2 * o);
    for (size_t o = begin; o < end; ++o) {
        const uint64_t pos = o * step;
        const float t = float(uint32_t(pos)) * (1.0f / 4294967296.0f);
        const int16_t* y = in + Count * (size_t(pos >> 32) - 1);
        if constexpr (Count == 1) {
            out[2 * o] = out[2 * o + 1] = RoundSample(CatmullRom(y[0], y[1], y[2], y[3], t));
        } else {
            out[2 * o] = RoundSample(CatmullRom(y[0], y[2], y[4], y[6], t));
            out[2 * o + 1] = RoundSample(CatmullRom(y[1], y[3], y[5], y[7], t));
        }
    }
    for (size_t o = end; o < outFrames; ++o)
        ResampleEdgeFrame<Count>(in, last, o * step, out + 2 * o);
}

} // namespace

std::vector<int16_t> ResampleStereo(const std::vector<int16_t>& stereo, uint32_t fromRate) {
    const size_t frames = stereo.size() / 2;
    if (fromRate == uint32_t(MixRate) || frames == 0) return stereo;
    std::vector<int16_t> out(ResampledFrameCount(frames, fromRate) * 2);
    ResampleInto<2>(stereo.data(), frames, fromRate, out.data());
    return out;
}

std::shared_ptr<PcmBuffer> ResampledPcm(const int16_t* stereo, size_t frames, uint32_t fromRate) {
    auto pcm = std::make_shared<PcmBuffer>();
    pcm->FrameCount = ResampledFrameCount(frames, fromRate);
    pcm->Converted = std::make_unique_for_overwrite<int16_t[]>(pcm->FrameCount * 2);
    if (fromRate == uint32_t(MixRate))
        std::memcpy(pcm->Converted.get(), stereo, frames * 4);
    else
        ResampleInto<2>(stereo, frames, fromRate, pcm->Converted.get());
    return pcm;
}

std::shared_ptr<PcmBuffer> PcmBuffer::FromSamples(const std::vector<int16_t>& stereo) {
    auto pcm = std::make_shared<PcmBuffer>();
    pcm->Storage.resize(stereo.size() * 2);
    if (!stereo.empty()) std::memcpy(pcm->Storage.data(), stereo.data(), pcm->Storage.size());
    pcm->FrameCount = stereo.size() / 2;
    return pcm;
}

namespace {

// Sample rates the reader takes. Each sample is converted to 44.1 kHz at load,
// so a rate of a few hertz would multiply a small file into gigabytes.
constexpr uint32_t MinSampleRate = 1000, MaxSampleRate = 768000;
// Longest converted sample: 20 minutes, about 200 MB in the mix format.
constexpr uint64_t MaxConvertedFrames = uint64_t(MixRate) * 60 * 20;

// Reads the fmt chunk's body F (SIZE bytes, at least 16; 26 are looked at)
// into FORMAT, and says whether its samples are a kind the mixer takes: PCM of
// 8, 16, 24 or 32 bits, or 32-bit float (ISFLOAT), plainly or in the extensible
// form current editors write, at a rate the mixer can convert.
bool ReadFormatChunk(const uint8_t* f, uint64_t size, WaveFormat& format, bool& isFloat) {
    format.FormatTag = U16(f);
    format.Channels = U16(f + 2);
    format.SamplesPerSec = U32(f + 4);
    format.AvgBytesPerSec = U32(f + 8);
    format.BlockAlign = U16(f + 12);
    format.BitsPerSample = U16(f + 14);
    format.ExtraSize = size >= 18 ? U16(f + 16) : 0;
    // A longer chunk's extra bytes are only read for the extensible form.
    uint16_t kind = format.FormatTag;
    if (kind == WaveExtensible && size >= 26) kind = U16(f + 24);
    const int bits = format.BitsPerSample;
    isFloat = kind == WaveFloat && bits == 32;
    const bool isPcm = kind == WavePcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    return (isPcm || isFloat) && format.Channels != 0 && format.SamplesPerSec >= MinSampleRate &&
           format.SamplesPerSec <= MaxSampleRate;
}

// The RIFF form "WAVE", at the top level: where its chunks start and end.
bool FindWaveForm(const uint8_t* data, size_t size, size_t& formStart, size_t& formEnd) {
    for (uint64_t p = 0; p + 12 <= size;) {
        const uint64_t chunkSize = U32(data + p + 4);
        if (std::memcmp(data + p, "RIFF", 4) == 0 && std::memcmp(data + p + 8, "WAVE", 4) == 0) {
            formStart = size_t(p + 12);
            // A RIFF size too small for its own form type is ignored.
            formEnd = chunkSize < 4 ? size : size_t(std::min<uint64_t>(p + 8 + chunkSize, size));
            return true;
        }
        p += 8 + chunkSize + (chunkSize & 1);
    }
    return false;
}

// `frames` frames at `src` converted into `out` at the mix rate: read
// straight into it at that rate, or through one buffer of the source's
// channels (one for a mono file) resampled into it.
void ConvertSamples(const uint8_t* src, size_t frames, const SampleLayout& layout,
                    const WaveFormat& format, int16_t* out) {
    if (format.SamplesPerSec == uint32_t(MixRate)) {
        ReadChannels<2>(src, frames, layout, out);
    } else if (format.Channels == 1) {
        const std::unique_ptr<int16_t[]> mono(new int16_t[frames]);
        ReadChannels<1>(src, frames, layout, mono.get());
        ResampleInto<1>(mono.get(), frames, format.SamplesPerSec, out);
    } else {
        std::vector<int16_t> stereo(frames * 2);
        ReadChannels<2>(src, frames, layout, stereo.data());
        ResampleInto<2>(stereo.data(), frames, format.SamplesPerSec, out);
    }
}

std::shared_ptr<const PcmBuffer> DecodeWaveBytes(std::vector<uint8_t>& bytesOwned,
                                                 WaveFormat& format, std::string& problem) {
    const uint8_t* data = bytesOwned.data();
    const size_t size = bytesOwned.size();
    size_t formStart = 0, formEnd = 0;
    if (!FindWaveForm(data, size, formStart, formEnd)) {
        problem = Tr(NotWaveProblem);
        return nullptr;
    }
    const Chunk fmt = FindChunk(data, formStart, formEnd, "fmt ");
    if (!fmt.found) {
        problem = Tr("には、fmtチャンクが有りません");
        return nullptr;
    }
    if (fmt.body + fmt.size > formEnd || fmt.size < 16) {
        problem = Tr("のfmtチャンクが不正です");
        return nullptr;
    }
    bool isFloat = false;
    if (!ReadFormatChunk(data + fmt.body, fmt.size, format, isFloat)) {
        problem = Tr("のfmtチャンクが不正です");
        return nullptr;
    }
    const int bits = format.BitsPerSample;
    const Chunk audio =
        FindChunk(data, size_t(fmt.body + fmt.size + (fmt.size & 1)), formEnd, "data");
    if (!audio.found) {
        problem = Tr("には、dataチャンクが有りません");
        return nullptr;
    }
    // A file cut short keeps the whole frames it has.
    const size_t sampleBytes = bits / 8, frameBytes = sampleBytes * format.Channels;
    const size_t available =
        size_t(std::min<uint64_t>(audio.size, size - std::min(size, audio.body)));
    const size_t frames = available / frameBytes;
    // Checked before either way of keeping the samples, the file's own bytes included.
    if (uint64_t(frames) * uint64_t(MixRate) / format.SamplesPerSec > MaxConvertedFrames) {
        problem = Tr("のdataチャンクが長すぎます");
        return nullptr;
    }
    if (sampleBytes == 2 && format.Channels == 2 && format.SamplesPerSec == uint32_t(MixRate) &&
        audio.body % 2 == 0) {
        // Already the mix format: keep the file's bytes.
        auto pcm = std::make_shared<PcmBuffer>();
        pcm->Offset = audio.body;
        pcm->FrameCount = frames;
        pcm->Storage = std::move(bytesOwned);
        return pcm;
    }
    // Converted once, into the sample's own storage.
    auto pcm = std::make_shared<PcmBuffer>();
    pcm->FrameCount = ResampledFrameCount(frames, format.SamplesPerSec);
    pcm->Converted = std::make_unique_for_overwrite<int16_t[]>(pcm->FrameCount * 2);
    ConvertSamples(data + audio.body, frames, LayoutOf(format, isFloat), format,
                   pcm->Converted.get());
    return pcm;
}

} // namespace

std::shared_ptr<const PcmBuffer> DecodeWave(std::vector<uint8_t> bytes, WaveFormat& format,
                                            std::string& problem) {
    // Loading a sample never raises: memory running out is one more load failure.
    try {
        return DecodeWaveBytes(bytes, format, problem);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    problem = Tr("の読み込み中にメモリが不足しました");
    return nullptr;
}

namespace {

// A WAV file read in pieces: the RIFF header and the chunk list through a
// window of the file, then only the data chunk, a block at a time. Plain
// reads of a regular file; a read that comes up short (the file shrank) fails.
class WaveFileReader {
  public:
    explicit WaveFileReader(int fd, uint64_t size) : fd_(fd), size_(size) {}
    ~WaveFileReader() { ::close(fd_); }
    WaveFileReader(const WaveFileReader&) = delete;
    WaveFileReader& operator=(const WaveFileReader&) = delete;

    uint64_t Size() const { return size_; }
    // `n` bytes at `at` (inside the file) into `out`, through the window.
    bool Bytes(uint64_t at, size_t n, uint8_t* out) {
        if (at < windowAt_ || at + n > windowAt_ + window_.size()) {
            window_.resize(size_t(std::min<uint64_t>(WindowBytes, size_ - at)));
            if (!Read(at, window_.data(), window_.size())) return false;
            windowAt_ = at;
            if (n > window_.size()) return false;
        }
        std::memcpy(out, window_.data() + (at - windowAt_), n);
        return true;
    }
    bool Read(uint64_t at, uint8_t* out, size_t n) const {
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, out + done, n - done, off_t(at + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += size_t(got);
        }
        return true;
    }

  private:
    static constexpr size_t WindowBytes = 64 * 1024;
    int fd_;
    uint64_t size_;
    std::vector<uint8_t> window_;
    uint64_t windowAt_ = 0;
};

// FindChunk over the file.
bool FindFileChunk(WaveFileReader& file, uint64_t from, uint64_t end, const char* id,
                   Chunk& chunk) {
    for (uint64_t p = from; p + 8 <= end;) {
        uint8_t head[8];
        if (!file.Bytes(p, 8, head)) return false;
        const uint64_t size = U32(head + 4);
        if (std::memcmp(head, id, 4) == 0) {
            chunk = Chunk{size_t(p + 8), size, true};
            return true;
        }
        p += 8 + size + (size & 1);
    }
    chunk = Chunk{};
    return true;
}

constexpr const char* NotFoundProblem = ForCatalogue("が、見つかりません");

// DecodeWaveBytes for a file that starts with the RIFF form "WAVE": the same
// checks in the same order, made from the headers before any sample is read.
// The `frames` frames from `at` read a block of whole frames at a time into
// `into`, `count` samples a frame; false when the file could not be read.
bool ReadFramesInBlocks(WaveFileReader& file, uint64_t at, size_t frames,
                        const SampleLayout& layout, int count, int16_t* into) {
    const size_t frameBytes = layout.FrameBytes;
    const size_t blockFrames = std::max<size_t>(1, (size_t(1) << 20) / frameBytes);
    std::vector<uint8_t> block(std::min(frames, blockFrames) * frameBytes);
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min(blockFrames, frames - done);
        if (!file.Read(at + uint64_t(done) * frameBytes, block.data(), n * frameBytes))
            return false;
        int16_t* out = into + done * size_t(count);
        if (count == 2)
            ReadChannels<2>(block.data(), n, layout, out);
        else
            ReadChannels<1>(block.data(), n, layout, out);
        done += n;
    }
    return true;
}

std::shared_ptr<const PcmBuffer> ReadWaveInPieces(WaveFileReader& file, WaveFormat& format,
                                                  std::string& problem) {
    const uint64_t size = file.Size();
    uint8_t riff[12];
    if (!file.Bytes(0, 12, riff)) return problem = Tr(NotFoundProblem), nullptr;
    const uint64_t chunkSize = U32(riff + 4);
    const uint64_t formEnd = chunkSize < 4 ? size : std::min<uint64_t>(8 + chunkSize, size);
    Chunk fmt;
    if (!FindFileChunk(file, 12, formEnd, "fmt ", fmt))
        return problem = Tr(NotFoundProblem), nullptr;
    if (!fmt.found) return problem = Tr("には、fmtチャンクが有りません"), nullptr;
    if (fmt.body + fmt.size > formEnd || fmt.size < 16)
        return problem = Tr("のfmtチャンクが不正です"), nullptr;
    uint8_t f[26] = {};
    if (!file.Bytes(fmt.body, size_t(std::min<uint64_t>(fmt.size, sizeof f)), f))
        return problem = Tr(NotFoundProblem), nullptr;
    bool isFloat = false;
    if (!ReadFormatChunk(f, fmt.size, format, isFloat))
        return problem = Tr("のfmtチャンクが不正です"), nullptr;
    const int bits = format.BitsPerSample;
    Chunk audio;
    if (!FindFileChunk(file, fmt.body + fmt.size + (fmt.size & 1), formEnd, "data", audio))
        return problem = Tr(NotFoundProblem), nullptr;
    if (!audio.found) return problem = Tr("には、dataチャンクが有りません"), nullptr;
    const size_t sampleBytes = size_t(bits) / 8, frameBytes = sampleBytes * format.Channels;
    const uint64_t available =
        std::min<uint64_t>(audio.size, size - std::min<uint64_t>(size, audio.body));
    const size_t frames = size_t(available / frameBytes);
    // The length is known from the headers: a sound too long is refused unread.
    if (uint64_t(frames) * uint64_t(MixRate) / format.SamplesPerSec > MaxConvertedFrames)
        return problem = Tr("のdataチャンクが長すぎます"), nullptr;
    if (sampleBytes == 2 && format.Channels == 2 && format.SamplesPerSec == uint32_t(MixRate)) {
        // Already the mix format: the data chunk's bytes are the samples.
        auto pcm = std::make_shared<PcmBuffer>();
        pcm->Storage.resize(frames * 4);
        pcm->FrameCount = frames;
        if (!file.Read(audio.body, pcm->Storage.data(), pcm->Storage.size()))
            return problem = Tr(NotFoundProblem), nullptr;
        return pcm;
    }
    // Converted as DecodeWaveBytes converts, reading the data chunk a block of
    // whole frames at a time into the sample (or the buffer before resampling).
    auto pcm = std::make_shared<PcmBuffer>();
    pcm->FrameCount = ResampledFrameCount(frames, format.SamplesPerSec);
    pcm->Converted = std::make_unique_for_overwrite<int16_t[]>(pcm->FrameCount * 2);
    const bool direct = format.SamplesPerSec == uint32_t(MixRate);
    const int count = direct || format.Channels > 1 ? 2 : 1;
    std::unique_ptr<int16_t[]> source;
    if (!direct) source = std::make_unique_for_overwrite<int16_t[]>(frames * size_t(count));
    int16_t* into = direct ? pcm->Converted.get() : source.get();
    if (!ReadFramesInBlocks(file, audio.body, frames, LayoutOf(format, isFloat), count, into))
        return problem = Tr(NotFoundProblem), nullptr;
    if (direct) return pcm;
    if (count == 1)
        ResampleInto<1>(source.get(), frames, format.SamplesPerSec, pcm->Converted.get());
    else
        ResampleInto<2>(source.get(), frames, format.SamplesPerSec, pcm->Converted.get());
    return pcm;
}

} // namespace

std::shared_ptr<const PcmBuffer> ReadWave(const std::string& path, WaveFormat& format,
                                          std::string& problem) {
    // A file that starts as a WAV file is read in pieces: its headers first,
    // then only its samples. Anything else is read whole, as below.
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 12 &&
            uint64_t(st.st_size) <= MaxSoundFileBytes) {
            WaveFileReader file(fd, uint64_t(st.st_size));
            uint8_t riff[12];
            if (file.Bytes(0, 12, riff) && std::memcmp(riff, "RIFF", 4) == 0 &&
                std::memcmp(riff + 8, "WAVE", 4) == 0) {
                try {
                    return ReadWaveInPieces(file, format, problem);
                } catch (const std::bad_alloc&) {
                } catch (const std::length_error&) {
                }
                problem = Tr("の読み込み中にメモリが不足しました");
                return nullptr;
            }
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadWholeFile(path, MaxSoundFileBytes);
    } catch (const FileTooLargeError&) {
        problem = FormatText(Tr("は、ファイルが大きすぎます (%d MB まで)"),
                             static_cast<long long>(MaxSoundFileBytes >> 20));
        return nullptr;
    } catch (const std::exception&) {
        problem = Tr("が、見つかりません");
        return nullptr;
    }
    if (bytes.empty()) {
        problem = Tr("は、空のファイルです");
        return nullptr;
    }
    // Song packs re-encode keysounds; anything that is no RIFF file goes to the
    // compressed reader first. When the WAV reader does not know the file
    // either, the compressed reader's own reason is the one logged, unless
    // that reader did not know it at all.
    std::string compressedProblem;
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "RIFF", 4) != 0) {
        if (auto pcm = DecodeSoundFile(bytes, format, compressedProblem)) return pcm;
    }
    auto pcm = DecodeWave(std::move(bytes), format, problem);
    if (!pcm && problem == Tr(NotWaveProblem) && !compressedProblem.empty())
        problem = compressedProblem;
    return pcm;
}

} // namespace tappo
