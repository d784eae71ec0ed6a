#include "formats/VideoFile.h"

#include "base/Errors.h"
#include "base/Translate.h"
#include "formats/Png.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace tappo {
namespace {

// The containers a background video comes in. A file FFmpeg takes for
// anything else (a playlist, a picture, a sound) is not a video here, and
// no demuxer may open another file or address on its own.
constexpr const char* VideoFormats =
    "mpeg,mpegvideo,mpegts,m4v,h264,hevc,avi,asf,mov,mp4,matroska,webm,ogg,flv,ivf,rm,nut,"
    "yuv4mpegpipe";
constexpr size_t ProbeBytes = size_t(1) << 20;

bool IsVideoFormat(const AVInputFormat* format) {
    if (!format) return false;
    return av_match_list(format->name, VideoFormats, ',') > 0;
}

void QuietLibraries() {
    static std::once_flag once;
    // Damaged streams are reported by the player, once, not line by line.
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// The container whose content the bytes are, when it is one of ours.
const AVInputFormat* ProbeVideo(const uint8_t* data, size_t size) {
    QuietLibraries();
    std::vector<uint8_t> padded;
    const AVInputFormat* best = nullptr;
    // Growing windows, as FFmpeg itself probes: most files say what they are
    // in their first kilobytes.
    for (size_t window = 2048;; window *= 2) {
        const size_t n = std::min({window, size, ProbeBytes});
        padded.assign(data, data + n);
        padded.resize(n + AVPROBE_PADDING_SIZE, 0);
        AVProbeData probe{};
        probe.filename = "";
        probe.buf = padded.data();
        probe.buf_size = int(n);
        int score = 0;
        best = av_probe_input_format3(&probe, 1, &score);
        if (score > AVPROBE_SCORE_RETRY) return IsVideoFormat(best) ? best : nullptr;
        if (n == size || n == ProbeBytes) break;
    }
    return nullptr;
}

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Opening a video reads its header and analyses its first packets: FFmpeg's
// own bound on the packets analysed (5 MB), and ours on every byte the
// opening reads, which also counts what a demuxer skips looking for its next
// packet (a long run of zeros after the stream). Past that bound the file
// ends where the opening stopped. A disk slower than any local one meets the
// time bound instead, and the file does not open.
// Once open, a stream whose demuxer reads as much again without giving a
// packet (more than any frame the player accepts takes) ends there too.
constexpr int64_t AnalysedPacketBytes = 5'000'000;
constexpr int64_t OpenReadBytes = int64_t(64) << 20;
constexpr int64_t BytesBetweenPackets = OpenReadBytes;
constexpr int64_t OpenMs = 10'000;

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Where the demuxer's bytes come from: a file descriptor or memory, of a size
// fixed at open, so a file that grows (or never ends) reads as it was.
struct ByteSource {
    const uint8_t* memory = nullptr;
    int fd = -1;
    int64_t size = 0, position = 0;
    // While the video opens: the bytes it may still read, and when it must
    // have opened (steady ms). Negative: no bound.
    int64_t openBytesLeft = -1, openDeadline = -1;
    int64_t sincePacket = 0; // bytes read since the demuxer last gave a packet

    ~ByteSource() {
        if (fd >= 0) ::close(fd);
    }

    void StartOpening() {
        openBytesLeft = OpenReadBytes;
        openDeadline = SteadyMs() + OpenMs;
    }
    void Opened() {
        openBytesLeft = openDeadline = -1;
        sincePacket = 0;
    }
    bool PastDeadline() const { return openDeadline >= 0 && SteadyMs() > openDeadline; }
    static int Interrupted(void* opaque) {
        return static_cast<const ByteSource*>(opaque)->PastDeadline() ? 1 : 0;
    }

    // Whether nothing but a hole is left of the file from `position` on: a
    // sparse file's tail reads as zeros, which hold no packet of any
    // container, so the stream ends where its data ends.
    bool OnlyHoleLeft() const {
        if (fd < 0) return false;
        errno = 0;
        return ::lseek(fd, position, SEEK_DATA) < 0 && errno == ENXIO;
    }

    static int Read(void* opaque, uint8_t* out, int want) {
        auto* s = static_cast<ByteSource*>(opaque);
        if (s->PastDeadline()) return AVERROR_EXIT;
        const int64_t left = s->size - s->position;
        if (left <= 0 || want <= 0 || s->openBytesLeft == 0) return AVERROR_EOF;
        int n = int(std::min<int64_t>(want, left));
        if (s->openBytesLeft < 0 && s->sincePacket >= BytesBetweenPackets) {
            s->size = s->position;
            return AVERROR_EOF;
        }
        s->sincePacket += n;
        if (s->openBytesLeft > 0) {
            n = int(std::min<int64_t>(n, s->openBytesLeft));
            s->openBytesLeft -= n;
            // The file ends where the opening stopped reading it.
            if (s->openBytesLeft == 0) s->size = s->position + n;
        }
        if (s->memory) {
            std::memcpy(out, s->memory + s->position, size_t(n));
            s->position += n;
            return n;
        }
        if (s->OnlyHoleLeft()) {
            s->size = s->position;
            return AVERROR_EOF;
        }
        const ssize_t got = ::pread(s->fd, out, size_t(n), s->position);
        if (got < 0) return AVERROR(EIO);
        if (got == 0) return AVERROR_EOF;
        s->position += got;
        return int(got);
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* s = static_cast<ByteSource*>(opaque);
        whence &= ~AVSEEK_FORCE;
        if (whence == AVSEEK_SIZE) return s->size;
        int64_t to = offset;
        if (whence == SEEK_CUR) to = s->position + offset;
        if (whence == SEEK_END) to = s->size + offset;
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
        if (to < 0 || to > s->size) return -1;
        s->position = to;
        return to;
    }
};

int RefuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

} // namespace

struct VideoDecoder::Parts {
    ByteSource source;
    std::string name;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr; // the current frame
    AVFrame* ahead = nullptr; // the one after it
    AVRational timeBase{0, 1};
    int stream = -1;

    ~Parts() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_frame_free(&ahead);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format); // a custom reader is left to us
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

bool LooksLikeVideo(const uint8_t* data, size_t size) {
    return size > 0 && ProbeVideo(data, size) != nullptr;
}

std::unique_ptr<VideoFileProbe> VideoFileProbe::Open(const std::string& path) {
    std::unique_ptr<VideoFileProbe> probe(new VideoFileProbe());
    probe->fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const int fd = probe->fd_;
    if (fd < 0) return nullptr;
    struct stat st {};
    std::vector<uint8_t> head;
    // A picture's first bytes make it a picture, whatever FFmpeg would say;
    // only a file that starts like none is read further for the probe, so
    // the pictures of a chart cost one small read each.
    const auto startsLikePicture = [&] {
        const size_t n = head.size();
        const uint8_t* h = head.data();
        return IsPng(h, n) || (n >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) ||
               (n >= 2 && h[0] == 'B' && h[1] == 'M');
    };
    const auto readHead = [&](int64_t bytes) {
        head.resize(size_t(std::min<int64_t>(st.st_size, bytes)));
        const ssize_t got = head.empty() ? 0 : ::pread(fd, head.data(), head.size(), 0);
        head.resize(got > 0 ? size_t(got) : 0);
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    readHead(16);
    if (startsLikePicture()) return nullptr;
    readHead(int64_t(ProbeBytes));
    probe->container_ = head.empty() ? nullptr : ProbeVideo(head.data(), head.size());
    if (!probe->container_) return nullptr;
    probe->size_ = st.st_size;
    return probe;
}

VideoFileProbe::~VideoFileProbe() {
    if (fd_ >= 0) ::close(fd_);
}

VideoDecoder::VideoDecoder() : parts_(std::make_unique<Parts>()) {}
VideoDecoder::~VideoDecoder() = default;

std::unique_ptr<VideoDecoder> VideoDecoder::OpenFile(const std::string& path, int width, int height,
                                                     std::unique_ptr<VideoFileProbe> probed) {
    std::unique_ptr<VideoDecoder> v(new VideoDecoder());
    ByteSource& s = v->parts_->source;
    if (probed) {
        s.fd = std::exchange(probed->fd_, -1);
        s.size = probed->size_;
        v->Open(path, width, height, probed->container_);
        return v;
    }
    s.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (s.fd < 0 || ::fstat(s.fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw Error(FormatText(Tr("動画 %s を開けません"), path));
    s.size = st.st_size;
    v->Open(path, width, height);
    return v;
}

std::unique_ptr<VideoDecoder> VideoDecoder::OpenMemory(const uint8_t* data, size_t size,
                                                       const std::string& name, int width,
                                                       int height) {
    std::unique_ptr<VideoDecoder> v(new VideoDecoder());
    v->parts_->source.memory = data;
    v->parts_->source.size = int64_t(size);
    v->Open(name, width, height);
    return v;
}

void VideoDecoder::Open(const std::string& name, int width, int height,
                        const AVInputFormat* container) {
    Parts& p = *parts_;
    p.name = name;
    width_ = width, height_ = height;
    const auto fail = [&](const std::string& why) {
        throw Error(FormatText(Tr("動画 %s: %s"), name, why));
    };
    // What the content says, from the first megabyte.
    if (!container) {
        std::vector<uint8_t> head(size_t(std::min<int64_t>(p.source.size, int64_t(ProbeBytes))));
        const int got =
            head.empty() ? 0 : ByteSource::Read(&p.source, head.data(), int(head.size()));
        p.source.position = 0;
        container = got > 0 ? ProbeVideo(head.data(), size_t(got)) : nullptr;
    }
    if (!container) fail(Tr("動画ファイルではありません"));

    constexpr int IoBufferBytes = 32 << 10;
    auto* buffer = static_cast<uint8_t*>(av_malloc(IoBufferBytes));
    if (!buffer) fail(Tr("メモリが足りません"));
    p.io = avio_alloc_context(buffer, IoBufferBytes, 0, &p.source, &ByteSource::Read, nullptr,
                              &ByteSource::Seek);
    if (!p.io) {
        av_free(buffer);
        fail(Tr("メモリが足りません"));
    }
    p.format = avformat_alloc_context();
    if (!p.format) fail(Tr("メモリが足りません"));
    p.format->pb = p.io;
    p.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    p.format->io_open = RefuseOtherFiles;
    p.format->format_whitelist = av_strdup(VideoFormats);
    p.format->protocol_whitelist = av_strdup("none");
    p.format->probesize = AnalysedPacketBytes;
    p.format->interrupt_callback = AVIOInterruptCB{&ByteSource::Interrupted, &p.source};
    p.source.StartOpening();
    int r = avformat_open_input(&p.format, "", container, nullptr);
    if (r < 0) {
        // avformat_open_input frees the context on failure.
        fail(FormatText(Tr("読めません (%s)"), ErrorText(r)));
    }
    r = avformat_find_stream_info(p.format, nullptr);
    if (r < 0) fail(FormatText(Tr("読めません (%s)"), ErrorText(r)));
    p.source.Opened();
    const AVCodec* decoder = nullptr;
    p.stream = av_find_best_stream(p.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (p.stream < 0 || !decoder ||
        (p.format->streams[p.stream]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        fail(p.stream == AVERROR_DECODER_NOT_FOUND ? Tr("映像の形式に対応していません")
                                                   : Tr("映像がありません"));
    for (unsigned i = 0; i < p.format->nb_streams; ++i)
        if (int(i) != p.stream) p.format->streams[i]->discard = AVDISCARD_ALL;
    const AVStream* stream = p.format->streams[p.stream];
    const AVCodecParameters* params = stream->codecpar;
    if (params->width <= 0 || params->height <= 0) fail(Tr("映像の大きさがありません"));
    if (params->width > MaxVideoSide || params->height > MaxVideoSide)
        fail(FormatText(Tr("映像が大きすぎます (%d x %d、一辺は最大 %d)"), params->width,
                        params->height, MaxVideoSide));
    p.codec = avcodec_alloc_context3(decoder);
    if (!p.codec) fail(Tr("メモリが足りません"));
    r = avcodec_parameters_to_context(p.codec, params);
    if (r < 0) fail(FormatText(Tr("読めません (%s)"), ErrorText(r)));
    // One thread: the player's decoding thread is the one, and the results
    // are the same on every machine.
    p.codec->thread_count = 1;
    p.codec->max_pixels = int64_t(MaxVideoSide) * MaxVideoSide;
    r = avcodec_open2(p.codec, decoder, nullptr);
    if (r < 0) fail(FormatText(Tr("映像を復号できません (%s)"), ErrorText(r)));
    p.packet = av_packet_alloc();
    p.frame = av_frame_alloc();
    p.ahead = av_frame_alloc();
    if (!p.packet || !p.frame || !p.ahead) fail(Tr("メモリが足りません"));
    p.timeBase = stream->time_base;
    const AVRational rate =
        stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        const double fps = av_q2d(rate);
        if (fps >= 1 && fps <= 1000) frameMs_ = 1000 / fps;
    }
}

void VideoDecoder::NoteProblem(const std::string& text) {
    if (problem_.empty()) problem_ = text;
}

bool VideoDecoder::Next() {
    if (!started_) {
        started_ = true;
        Decode();
    }
    if (nextTime_ == NoFrame) return false;
    std::swap(parts_->frame, parts_->ahead);
    time_ = nextTime_;
    ++frames_;
    if (frames_ >= MaxVideoFrames) ended_ = true;
    Decode();
    return true;
}

bool VideoDecoder::Decode() {
    Parts& p = *parts_;
    nextTime_ = NoFrame;
    if (ended_) return false;
    for (;;) {
        int r = avcodec_receive_frame(p.codec, p.ahead);
        if (r == 0) {
            const AVFrame* f = p.ahead;
            if (f->width <= 0 || f->height <= 0 || f->width > MaxVideoSide ||
                f->height > MaxVideoSide) {
                NoteProblem(Tr("映像が大きすぎます"));
                break;
            }
            if (f->decode_error_flags || (f->flags & AV_FRAME_FLAG_CORRUPT))
                NoteProblem(Tr("壊れたフレームがあります"));
            const int64_t ts = f->best_effort_timestamp;
            const bool timed = ts != AV_NOPTS_VALUE && p.timeBase.num > 0 && p.timeBase.den > 0;
            if (time_ < 0) origin_ = timed ? ts : 0;
            double ms = time_ < 0 ? 0 : double(time_) + frameMs_;
            if (timed) ms = (double(ts) - double(origin_)) * p.timeBase.num / p.timeBase.den * 1000;
            // Later than the frame before, and within what a song can reach.
            if (!std::isfinite(ms)) ms = double(time_ + 1);
            nextTime_ = int64_t(std::clamp(std::floor(ms), double(time_ + 1), 1e12));
            return true;
        }
        if (r == AVERROR_EOF) break;
        if (r != AVERROR(EAGAIN)) {
            NoteProblem(FormatText(Tr("復号できません (%s)"), ErrorText(r)));
            break;
        }
        if (flushed_) break;
        r = packets_ < MaxVideoPackets ? av_read_frame(p.format, p.packet) : AVERROR_EOF;
        ++packets_;
        p.source.sincePacket = 0;
        if (r < 0) {
            if (r != AVERROR_EOF) NoteProblem(FormatText(Tr("読めません (%s)"), ErrorText(r)));
            avcodec_send_packet(p.codec, nullptr); // the frames the decoder still holds
            flushed_ = true;
            continue;
        }
        if (p.packet->stream_index == p.stream) {
            if (p.packet->flags & AV_PKT_FLAG_CORRUPT) NoteProblem(Tr("壊れたパケットがあります"));
            r = avcodec_send_packet(p.codec, p.packet);
            if (r < 0 && r != AVERROR(EAGAIN))
                NoteProblem(FormatText(Tr("壊れたパケットがあります (%s)"), ErrorText(r)));
        }
        av_packet_unref(p.packet);
    }
    ended_ = true;
    return false;
}

void VideoDecoder::SkipFrames(Skipping skipping) {
    parts_->codec->skip_frame = skipping == SkipNone           ? AVDISCARD_DEFAULT
                                : skipping == SkipUnreferenced ? AVDISCARD_NONREF
                                                               : AVDISCARD_NONKEY;
}

bool VideoDecoder::Convert(uint16_t* out) {
    Parts& p = *parts_;
    const AVFrame* f = p.frame;
    if (frames_ == 0 || f->width <= 0 || f->height <= 0 || f->format < 0) return false;
    p.scaler = sws_getCachedContext(p.scaler, f->width, f->height, AVPixelFormat(f->format), width_,
                                    height_, AV_PIX_FMT_RGB565, SWS_FAST_BILINEAR, nullptr, nullptr,
                                    nullptr);
    if (!p.scaler) {
        NoteProblem(Tr("映像を変換できません"));
        return false;
    }
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(out), nullptr, nullptr, nullptr};
    const int pitches[4] = {width_ * 2, 0, 0, 0};
    return sws_scale(p.scaler, f->data, f->linesize, 0, f->height, planes, pitches) > 0;
}

} // namespace tappo
