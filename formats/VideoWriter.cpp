#include "formats/VideoWriter.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace tappo {
const char* const VideoPresets[10] = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                                      "medium",    "slow",      "slower",   "veryslow", "placebo"};

bool IsVideoPreset(const std::string& name) {
    return std::find(std::begin(VideoPresets), std::end(VideoPresets), name) !=
           std::end(VideoPresets);
}

namespace {

// What each file type holds: H.264 with lossless FLAC (the sound exactly as
// mixed) in Matroska, H.264 with AAC in MP4 for the sites that take nothing
// else, VP9 with Opus (at 48 kHz, its rate) in WebM for the browsers.
struct VideoType {
    const char* Extension;
    const char* Muxer;
    const char* VideoCodec;
    const char* VideoOptions; // the encoder's speed, "key=value:..."
    const char* SoundCodec;
    int DefaultQuality;
    int SoundBitRate; // 0 for a lossless codec
};
constexpr VideoType VideoTypes[] = {
    {".mkv", "matroska", "libx264", "preset=veryfast", "flac", 18, 0},
    {".mp4", "mp4", "libx264", "preset=veryfast", "aac", 18, 192000},
    {".webm", "webm", "libvpx-vp9", "deadline=realtime:cpu-used=8:row-mt=1", "libopus", 31, 160000},
};

// The encoder's options for `preset`: x264 takes the name; VP9 the
// cpu-used of the same place from fastest (8) to slowest (0), in its
// real-time mode where that is fast (5 and up).
std::string VideoOptionsFor(const VideoType& type, const std::string& preset) {
    if (preset.empty()) return type.VideoOptions;
    if (std::string_view(type.VideoCodec) != "libvpx-vp9") return "preset=" + preset;
    int place = 0;
    while (place < 9 && preset != VideoPresets[place])
        ++place;
    const int cpuUsed = std::max(0, 8 - place);
    return std::string(cpuUsed >= 5 ? "deadline=realtime" : "deadline=good") +
           ":cpu-used=" + std::to_string(cpuUsed) + ":row-mt=1";
}

const VideoType* VideoTypeOfName(const std::string& path) {
    for (const VideoType& type : VideoTypes) {
        const std::string ext = type.Extension;
        if (path.size() > ext.size() &&
            AsciiLower(std::string_view(path).substr(path.size() - ext.size())) == ext)
            return &type;
    }
    return nullptr;
}

std::string FfmpegText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Sound formats the writer converts the mix into, the first an encoder takes.
constexpr AVSampleFormat SoundFormats[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P,
                                           AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT};

AVSampleFormat SoundFormatFor(const AVCodec* codec) {
    for (AVSampleFormat wanted : SoundFormats)
        for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == wanted) return wanted;
    return AV_SAMPLE_FMT_NONE;
}

// The mix's rate where the encoder takes it, else the highest it takes.
int EncoderRate(const AVCodec* codec, int rate) {
    if (!codec->supported_samplerates) return rate;
    int best = 0;
    for (const int* r = codec->supported_samplerates; *r; ++r) {
        if (*r == rate) return rate;
        best = std::max(best, *r);
    }
    return best;
}

// Each source pixel copied into a `scale` x `scale` block.
void ScaleUp(const uint16_t* src, int pitch, int width, int height, int scale, uint16_t* dst) {
    const int outWidth = width * scale;
    for (int y = 0; y < height; ++y) {
        uint16_t* row = dst + size_t(y) * scale * outWidth;
        const uint16_t* in = src + size_t(y) * pitch;
        for (int x = 0; x < width; ++x)
            std::fill_n(row + size_t(x) * scale, scale, in[x]);
        for (int r = 1; r < scale; ++r)
            std::copy_n(row, outWidth, row + size_t(r) * outWidth);
    }
}

} // namespace

std::string VideoTypeOf(const std::string& path) {
    const VideoType* type = VideoTypeOfName(path);
    return type ? type->Extension : "";
}

struct VideoFileWriter::Codecs {
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* sound = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    SwsContext* colours = nullptr;
    SwrContext* resampler = nullptr; // the mix to an encoder of another rate
    AVFrame* picture = nullptr;
    AVFrame* soundFrame = nullptr;
    AVPacket* packet = nullptr;
    bool fileOpen = false;
    int width = 0, height = 0, scale = 1;
    std::vector<uint16_t> scaled;      // an odd scale: the picture scaled up
    std::vector<uint8_t> sourcePlanes; // an even scale: Y, U, V at the source size
    std::vector<int16_t> pending;      // interleaved stereo not yet encoded
    int soundFrameSize = 0;
    int64_t soundFrames = 0;     // given to the encoder
    int64_t picturesEncoded = 0; // given to the encoder

    ~Codecs() {
        avcodec_free_context(&video);
        avcodec_free_context(&sound);
        sws_freeContext(colours);
        swr_free(&resampler);
        av_frame_free(&picture);
        av_frame_free(&soundFrame);
        av_packet_free(&packet);
        if (format && fileOpen) avio_closep(&format->pb);
        avformat_free_context(format);
    }

    [[noreturn]] void Fail(int code) const {
        throw Error(FormatText(Tr("ファイル %s に書き込めません"), path) + " (" + FfmpegText(code) +
                    ")");
    }
    void Check(int code) const {
        if (code < 0) Fail(code);
    }

    const AVCodec* Encoder(const char* name) const {
        const AVCodec* codec = avcodec_find_encoder_by_name(name);
        if (!codec)
            throw Error(path + ": " +
                        FormatText(Tr("the installed FFmpeg libraries have no %s encoder"), name));
        return codec;
    }

    AVStream* AddStream(AVCodecContext* context) {
        AVStream* stream = avformat_new_stream(format, nullptr);
        if (!stream) Fail(AVERROR(ENOMEM));
        Check(avcodec_parameters_from_context(stream->codecpar, context));
        stream->time_base = context->time_base;
        return stream;
    }

    void OpenVideo(const VideoType& type, const VideoSettings& settings);
    void OpenSound(const VideoType& type, const VideoSettings& settings);
    void ConvertPicture(const uint16_t* pixels, int pitch);
    void TakeSound(const int16_t* stereo, size_t frames);
    void Drain(AVCodecContext* context, AVStream* stream);
    void Encode(AVCodecContext* context, AVStream* stream, AVFrame* frame) {
        Check(avcodec_send_frame(context, frame));
        Drain(context, stream);
    }
    void EncodeSound(size_t frames);
};

void VideoFileWriter::Codecs::OpenVideo(const VideoType& type, const VideoSettings& settings) {
    const AVCodec* codec = Encoder(type.VideoCodec);
    video = avcodec_alloc_context3(codec);
    if (!video) Fail(AVERROR(ENOMEM));
    video->width = width * scale;
    video->height = height * scale;
    video->time_base = {1, settings.FramesPerSecond};
    video->framerate = {settings.FramesPerSecond, 1};
    video->pix_fmt = AV_PIX_FMT_YUV420P;
    // A picture this size is taken for HD: BT.709 colours, said in the file.
    video->colorspace = AVCOL_SPC_BT709;
    video->color_primaries = AVCOL_PRI_BT709;
    video->color_trc = AVCOL_TRC_BT709;
    video->color_range = AVCOL_RANGE_MPEG;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_parse_string(&options, VideoOptionsFor(type, settings.Preset).c_str(), "=", ":", 0);
    av_dict_set_int(&options, "crf", settings.Quality >= 0 ? settings.Quality : type.DefaultQuality,
                    0);
    const int opened = avcodec_open2(video, codec, &options);
    av_dict_free(&options);
    Check(opened);
    videoStream = AddStream(video);
    videoStream->avg_frame_rate = video->framerate;

    picture = av_frame_alloc();
    if (!picture) Fail(AVERROR(ENOMEM));
    picture->format = video->pix_fmt;
    picture->width = video->width;
    picture->height = video->height;
    Check(av_frame_get_buffer(picture, 0));
    // At an even scale every 2 x 2 block of the picture lies inside one
    // source pixel, so the colours are converted at the source size and the
    // planes scaled up after; an odd scale converts the scaled-up picture.
    const bool even = scale % 2 == 0;
    const int fromWidth = even ? width : video->width, fromHeight = even ? height : video->height;
    colours = sws_getContext(fromWidth, fromHeight, AV_PIX_FMT_RGB565, fromWidth, fromHeight,
                             even ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P, SWS_POINT, nullptr,
                             nullptr, nullptr);
    if (!colours) Fail(AVERROR(EINVAL));
    sws_setColorspaceDetails(colours, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    if (even)
        sourcePlanes.resize(size_t(width) * height * 3);
    else
        scaled.resize(size_t(video->width) * video->height);
}

namespace {

// Each sample of a `width` x `height` plane copied into a `scale` x `scale` block.
void ScalePlane(const uint8_t* src, int width, int height, int scale, uint8_t* dst, int linesize) {
    for (int y = 0; y < height; ++y) {
        uint8_t* row = dst + ptrdiff_t(y) * scale * linesize;
        const uint8_t* in = src + ptrdiff_t(y) * width;
        for (int x = 0; x < width; ++x)
            std::fill_n(row + ptrdiff_t(x) * scale, scale, in[x]);
        for (int r = 1; r < scale; ++r)
            std::copy_n(row, ptrdiff_t(width) * scale, row + ptrdiff_t(r) * linesize);
    }
}

} // namespace

void VideoFileWriter::Codecs::ConvertPicture(const uint16_t* pixels, int pitch) {
    const uint8_t* from[1] = {reinterpret_cast<const uint8_t*>(pixels)};
    int fromStride[1] = {pitch * 2};
    if (scale % 2 != 0) {
        ScaleUp(pixels, pitch, width, height, scale, scaled.data());
        from[0] = reinterpret_cast<const uint8_t*>(scaled.data());
        fromStride[0] = video->width * 2;
        sws_scale(colours, from, fromStride, 0, video->height, picture->data, picture->linesize);
        return;
    }
    const size_t plane = size_t(width) * height;
    uint8_t* to[3] = {sourcePlanes.data(), sourcePlanes.data() + plane,
                      sourcePlanes.data() + plane * 2};
    const int toStride[3] = {width, width, width};
    sws_scale(colours, from, fromStride, 0, height, to, toStride);
    ScalePlane(to[0], width, height, scale, picture->data[0], picture->linesize[0]);
    ScalePlane(to[1], width, height, scale / 2, picture->data[1], picture->linesize[1]);
    ScalePlane(to[2], width, height, scale / 2, picture->data[2], picture->linesize[2]);
}

void VideoFileWriter::Codecs::OpenSound(const VideoType& type, const VideoSettings& settings) {
    const AVCodec* codec = Encoder(type.SoundCodec);
    sound = avcodec_alloc_context3(codec);
    if (!sound) Fail(AVERROR(ENOMEM));
    sound->sample_fmt = SoundFormatFor(codec);
    if (sound->sample_fmt == AV_SAMPLE_FMT_NONE) Fail(AVERROR(EINVAL));
    sound->sample_rate = EncoderRate(codec, settings.SoundRate);
    av_channel_layout_default(&sound->ch_layout, 2);
    sound->time_base = {1, sound->sample_rate};
    if (type.SoundBitRate) sound->bit_rate = type.SoundBitRate;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) sound->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(sound, codec, nullptr));
    soundStream = AddStream(sound);
    soundFrameSize = sound->frame_size > 0 ? sound->frame_size : 4096;

    soundFrame = av_frame_alloc();
    if (!soundFrame) Fail(AVERROR(ENOMEM));
    soundFrame->format = sound->sample_fmt;
    soundFrame->nb_samples = soundFrameSize;
    soundFrame->sample_rate = sound->sample_rate;
    Check(av_channel_layout_copy(&soundFrame->ch_layout, &sound->ch_layout));
    Check(av_frame_get_buffer(soundFrame, 0));
    if (sound->sample_rate != settings.SoundRate) {
        Check(swr_alloc_set_opts2(&resampler, &sound->ch_layout, AV_SAMPLE_FMT_S16,
                                  sound->sample_rate, &sound->ch_layout, AV_SAMPLE_FMT_S16,
                                  settings.SoundRate, 0, nullptr));
        Check(swr_init(resampler));
    }
}

// The mix, at the encoder's rate, onto the pending sound; no input flushes
// the resampler.
void VideoFileWriter::Codecs::TakeSound(const int16_t* stereo, size_t frames) {
    if (!resampler) {
        pending.insert(pending.end(), stereo, stereo + frames * 2);
        return;
    }
    const int room = swr_get_out_samples(resampler, int(frames));
    Check(room);
    const size_t had = pending.size();
    pending.resize(had + size_t(room) * 2);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pending.data() + had)};
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(stereo)};
    const int made = swr_convert(resampler, out, room, stereo ? in : nullptr, int(frames));
    Check(made);
    pending.resize(had + size_t(made) * 2);
}

// Every packet the encoder has ready, into the file in time order.
void VideoFileWriter::Codecs::Drain(AVCodecContext* context, AVStream* stream) {
    for (;;) {
        const int got = avcodec_receive_packet(context, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
        Check(got);
        av_packet_rescale_ts(packet, context->time_base, stream->time_base);
        packet->stream_index = stream->index;
        Check(av_interleaved_write_frame(format, packet));
    }
}

// The first `frames` pending stereo frames, converted into the encoder's
// sample format and encoded as one frame.
void VideoFileWriter::Codecs::EncodeSound(size_t frames) {
    Check(av_frame_make_writable(soundFrame));
    soundFrame->nb_samples = int(frames);
    const int16_t* in = pending.data();
    switch (sound->sample_fmt) {
    case AV_SAMPLE_FMT_S16:
        std::copy_n(in, frames * 2, reinterpret_cast<int16_t*>(soundFrame->data[0]));
        break;
    case AV_SAMPLE_FMT_S16P:
        for (size_t i = 0; i < frames; ++i)
            for (int ch = 0; ch < 2; ++ch)
                reinterpret_cast<int16_t*>(soundFrame->data[ch])[i] = in[i * 2 + ch];
        break;
    case AV_SAMPLE_FMT_FLTP:
        for (size_t i = 0; i < frames; ++i)
            for (int ch = 0; ch < 2; ++ch)
                reinterpret_cast<float*>(soundFrame->data[ch])[i] = float(in[i * 2 + ch]) / 32768.f;
        break;
    default: // AV_SAMPLE_FMT_FLT
        for (size_t i = 0; i < frames * 2; ++i)
            reinterpret_cast<float*>(soundFrame->data[0])[i] = float(in[i]) / 32768.f;
        break;
    }
    soundFrame->pts = soundFrames;
    soundFrames += int64_t(frames);
    pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(frames * 2));
    Encode(sound, soundStream, soundFrame);
}

// The queue between the caller, which draws, and the encoding thread: items
// in the order written, at most MaxPictures pictures among them; picture
// buffers are used again once encoded.
struct VideoFileWriter::Pipeline {
    static constexpr size_t MaxPictures = 4;
    struct Item {
        std::vector<uint16_t> Pixels; // a picture, rows `width` apart; empty for sound
        std::vector<int16_t> Sound;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Item> items;
    std::vector<std::vector<uint16_t>> spare;
    size_t pictures = 0;
    bool closing = false, dropping = false;
    std::exception_ptr failure;
    std::thread worker;

    // Waits for the next item; false once the queue is closed and empty.
    bool Take(Item& item) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return !items.empty() || closing; });
        if (items.empty() || dropping) return false;
        item = std::move(items.front());
        items.pop_front();
        return true;
    }
    void Done(Item& item) {
        const std::lock_guard<std::mutex> hold(lock);
        if (!item.Pixels.empty()) {
            --pictures;
            spare.push_back(std::move(item.Pixels));
        }
        changed.notify_all();
    }
    void Put(Item item) {
        std::unique_lock<std::mutex> hold(lock);
        if (failure) std::rethrow_exception(failure);
        pictures += item.Pixels.empty() ? 0 : 1;
        items.push_back(std::move(item));
        changed.notify_all();
    }
    // A buffer for the next picture, once the queue has room for one.
    std::vector<uint16_t> Room() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return pictures < MaxPictures || failure; });
        if (failure) std::rethrow_exception(failure);
        if (spare.empty()) return {};
        std::vector<uint16_t> buffer = std::move(spare.back());
        spare.pop_back();
        return buffer;
    }
};

VideoFileWriter::VideoFileWriter(std::string path, int width, int height,
                                 const VideoSettings& settings)
    : path_(std::move(path)), codecs_(std::make_unique<Codecs>()) {
    const VideoType* type = VideoTypeOfName(path_);
    if (!type) throw Error(path_ + ": " + Tr(TextUnknownVideoType));
    // The temporary name keeps the extension's place free for the muxer's
    // choice, which is made here by name anyway.
    temp_ = path_ + ".tmp" + std::to_string(::getpid());
    // The encoders' own notes (x264's statistics) are not the user's business;
    // failures come back as errors.
    av_log_set_level(AV_LOG_QUIET);
    Codecs& c = *codecs_;
    c.path = path_;
    c.width = width;
    c.height = height;
    c.scale = std::max(1, settings.Scale);
    c.packet = av_packet_alloc();
    if (!c.packet) c.Fail(AVERROR(ENOMEM));
    c.Check(avformat_alloc_output_context2(&c.format, nullptr, type->Muxer, temp_.c_str()));
    c.OpenVideo(*type, settings);
    c.OpenSound(*type, settings);
    if (avio_open(&c.format->pb, temp_.c_str(), AVIO_FLAG_WRITE) < 0)
        throw Error(FormatText(Tr("ファイル %s を作成できません"), path_));
    c.fileOpen = true;
    AVDictionary* options = nullptr;
    // An MP4 file that plays while it downloads: its index goes first.
    if (std::string(type->Muxer) == "mp4") av_dict_set(&options, "movflags", "+faststart", 0);
    const int written = avformat_write_header(c.format, &options);
    av_dict_free(&options);
    if (written < 0) {
        codecs_.reset();
        std::remove(temp_.c_str());
        throw Error(FormatText(Tr("ファイル %s に書き込めません"), path_));
    }
    pipeline_ = std::make_unique<Pipeline>();
    pipeline_->worker = std::thread(EncodeQueued, std::ref(c), std::ref(*pipeline_));
}

VideoFileWriter::~VideoFileWriter() {
    StopPipeline(true);
    if (!codecs_) return;
    const bool made = codecs_->fileOpen;
    codecs_.reset();
    if (made) std::remove(temp_.c_str());
}

void VideoFileWriter::StopPipeline(bool drop) {
    if (!pipeline_) return;
    {
        const std::lock_guard<std::mutex> hold(pipeline_->lock);
        pipeline_->closing = true;
        pipeline_->dropping = drop;
        pipeline_->changed.notify_all();
    }
    if (pipeline_->worker.joinable()) pipeline_->worker.join();
    const std::exception_ptr failure = pipeline_->failure;
    pipeline_.reset();
    if (failure && !drop) std::rethrow_exception(failure);
}

// Each picture scaled, converted and encoded,
// each sound taken and encoded in whole encoder frames, in order.
void VideoFileWriter::EncodeQueued(Codecs& c, Pipeline& queue) {
    Pipeline::Item item;
    try {
        while (queue.Take(item)) {
            if (!item.Pixels.empty()) {
                c.Check(av_frame_make_writable(c.picture));
                c.ConvertPicture(item.Pixels.data(), c.width);
                c.picture->pts = c.picturesEncoded++;
                c.Encode(c.video, c.videoStream, c.picture);
            } else {
                c.TakeSound(item.Sound.data(), item.Sound.size() / 2);
                while (c.pending.size() >= size_t(c.soundFrameSize) * 2)
                    c.EncodeSound(size_t(c.soundFrameSize));
            }
            queue.Done(item);
        }
    } catch (...) {
        const std::lock_guard<std::mutex> hold(queue.lock);
        queue.failure = std::current_exception();
        queue.changed.notify_all();
    }
}

void VideoFileWriter::WritePicture(const uint16_t* pixels, int pitch) {
    Codecs& c = *codecs_;
    std::vector<uint16_t> copy = pipeline_->Room();
    copy.resize(size_t(c.width) * size_t(c.height));
    for (int y = 0; y < c.height; ++y)
        std::copy_n(pixels + size_t(y) * size_t(pitch), c.width, copy.data() + size_t(y) * c.width);
    pipeline_->Put({std::move(copy), {}});
    ++pictures_;
}

void VideoFileWriter::WriteSound(const int16_t* stereo, size_t frames) {
    if (frames == 0) return;
    pipeline_->Put({{}, std::vector<int16_t>(stereo, stereo + frames * 2)});
    soundFrames_ += int64_t(frames);
}

void VideoFileWriter::Finish() {
    if (!codecs_) return;
    try {
        StopPipeline(false);
        Codecs& c = *codecs_;
        if (c.resampler) c.TakeSound(nullptr, 0);
        while (c.pending.size() >= size_t(c.soundFrameSize) * 2)
            c.EncodeSound(size_t(c.soundFrameSize));
        if (!c.pending.empty()) c.EncodeSound(c.pending.size() / 2);
        c.Encode(c.video, c.videoStream, nullptr);
        c.Encode(c.sound, c.soundStream, nullptr);
        c.Check(av_write_trailer(c.format));
        c.fileOpen = false;
        c.Check(avio_closep(&c.format->pb));
    } catch (...) {
        codecs_.reset();
        std::remove(temp_.c_str());
        throw;
    }
    codecs_.reset();
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        std::remove(temp_.c_str());
        throw Error(FormatText(Tr("ファイル %s に書き込めません"), path_));
    }
}

} // namespace tappo
