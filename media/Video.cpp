#include "media/Video.h"

#include "base/Errors.h"
#include "base/Translate.h"
#include "formats/VideoFile.h"
#include "platform/Surface.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tappo {
namespace {

// Videos that keep the decoder they were opened with until they are first
// shown, at most: each holds its file open and the codec's memory while it
// waits, so of a chart naming hundreds of videos the rest open theirs again.
constexpr int MaxOpenedAhead = 4;
std::atomic<int> openedAhead{0};

} // namespace

BgaVideo::BgaVideo(std::string path, Surface& surface, std::unique_ptr<VideoFileProbe> probed)
    : path_(std::move(path)), surface_(surface), width_(surface.Width()),
      height_(surface.Height()) {
    std::unique_ptr<VideoDecoder> decoder =
        VideoDecoder::OpenFile(path_, width_, height_, std::move(probed));
    if (!decoder->Next() || !decoder->Convert(surface_.Bits())) {
        const std::string why = decoder->Problem();
        throw Error(FormatText(Tr("動画 %s: %s"), path_,
                               why.empty() ? std::string(Tr("フレームがありません")) : why));
    }
    shownTime_ = 0;
    shownNext_ = decoder->NextTime();
    if (openedAhead.fetch_add(1) < MaxOpenedAhead)
        opened_ = std::move(decoder);
    else
        openedAhead.fetch_sub(1);
}

BgaVideo::BgaVideo(const BgaVideo& opened, Surface& surface, int)
    : path_(opened.path_), surface_(surface), width_(surface.Width()), height_(surface.Height()) {
    if (width_ != opened.width_ || height_ != opened.height_ || !surface_.HasPixels() ||
        !opened.surface_.HasPixels())
        throw Error(FormatText(Tr("動画 %s を開けません"), path_));
    std::memcpy(surface_.Bits(), opened.surface_.Bits(),
                size_t(width_) * size_t(height_) * sizeof(uint16_t));
    shownTime_ = 0;
    shownNext_ = opened.shownNext_;
}

std::unique_ptr<BgaVideo> BgaVideo::SameFile(const BgaVideo& opened, Surface& surface) {
    return std::unique_ptr<BgaVideo>(new BgaVideo(opened, surface, 0));
}

BgaVideo::~BgaVideo() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (opened_) openedAhead.fetch_sub(1);
}

void BgaVideo::Restart() {
    ++generation_;
    for (Frame& f : frames_)
        spare_.push_back(std::move(f.pixels));
    frames_.clear();
    ended_ = false;
    target_ = 0;
    shownTime_ = -1;
}

void BgaVideo::NoteProblem(const std::string& text) {
    if (problem_.empty()) problem_ = text;
}

void BgaVideo::Start(int64_t startTime) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        start_ = startTime;
        left_ = false;
        Restart();
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_all();
}

void BgaVideo::Leave() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (left_) return;
        left_ = true;
        Restart();
        ended_ = true; // nothing to decode until it starts again
    }
    wake_.notify_all();
}

void BgaVideo::Show(int64_t songTime, bool exact) {
    const int64_t t = std::max<int64_t>(songTime - start_, 0);
    if (!thread_.joinable() || left_) Start(start_); // shown without its event, or after Leave
    std::unique_lock<std::mutex> lock(mutex_);
    // A step back before the frame shown decodes again from the start.
    if (shownTime_ > t) Restart();
    target_ = t;
    exact_ = exact;
    wake_.notify_all();
    for (;;) {
        // Of the frames at or before t only the last can be shown.
        while (frames_.size() >= 2 && frames_[1].time <= t) {
            spare_.push_back(std::move(frames_.front().pixels));
            frames_.pop_front();
        }
        // Known when the frame due is ready and the one after it is later
        // than t, or when the next frame ready is later than t.
        bool reached = shownTime_ >= 0 && shownNext_ > t;
        if (!frames_.empty()) reached = frames_.front().time > t || frames_.front().nextTime > t;
        if (!exact || reached || ended_) break;
        wake_.notify_all(); // there may be room now
        ready_.wait(lock);
    }
    if (!frames_.empty() && frames_.front().time <= t) {
        Frame& due = frames_.front();
        if (surface_.HasPixels() && surface_.Width() == width_ && surface_.Height() == height_)
            std::memcpy(surface_.Bits(), due.pixels.data(), due.pixels.size() * sizeof(uint16_t));
        shownTime_ = due.time;
        shownNext_ = due.nextTime;
        spare_.push_back(std::move(due.pixels));
        frames_.pop_front();
        wake_.notify_all();
    }
}

std::string BgaVideo::TakeProblem() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (problem_.empty() || problemTaken_) return {};
    problemTaken_ = true;
    return problem_;
}

// A decoder that has not gone past the first frame starts the video again as
// it is (one started twice in a frame, on both channels); any other closes, or
// goes back to the start by opening the file again.
void BgaVideo::TakeDecoder(std::unique_lock<std::mutex>& lock,
                           std::unique_ptr<VideoDecoder>& decoder, bool& onFirst,
                           uint64_t generation) {
    if (left_ || !decoder || decoder->Frames() > 1) {
        lock.unlock();
        decoder.reset();
        lock.lock();
    }
    if (left_ || generation != generation_) return; // closed until it starts again
    if (!decoder && opened_) {
        decoder = std::move(opened_);
        openedAhead.fetch_sub(1);
    }
    if (decoder) {
        onFirst = decoder->Frames() == 1;
        return;
    }
    lock.unlock();
    std::string failure;
    try {
        decoder = VideoDecoder::OpenFile(path_, width_, height_);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    lock.lock();
    if (!decoder && generation == generation_) {
        NoteProblem(failure);
        ended_ = true;
        ready_.notify_all();
    }
}

void BgaVideo::DecodeFrame(std::unique_lock<std::mutex>& lock, VideoDecoder& decoder, bool& onFirst,
                           uint64_t generation) {
    const int64_t target = target_;
    // Live play: a decoder well behind the song decodes only the frames
    // others depend on, and far behind only the key frames, to catch up.
    const int64_t behind = target - decoder.Time();
    decoder.SkipFrames(exact_ || behind < 150 ? VideoDecoder::SkipNone
                       : behind < 1000        ? VideoDecoder::SkipUnreferenced
                                              : VideoDecoder::SkipAllButKeyFrames);
    std::vector<uint16_t> pixels;
    if (!spare_.empty()) pixels = std::move(spare_.back()), spare_.pop_back();
    lock.unlock();
    bool more = onFirst || decoder.Next();
    onFirst = false;
    // A frame the song has already passed is never shown: not converted.
    bool converted = false;
    if (more && decoder.NextTime() > target) {
        pixels.resize(size_t(width_) * size_t(height_));
        converted = decoder.Convert(pixels.data());
        if (!converted) more = false;
    }
    lock.lock();
    if (!decoder.Problem().empty())
        NoteProblem(FormatText(Tr("動画 %s: %s"), path_, decoder.Problem()));
    if (generation != generation_) return;
    if (converted)
        frames_.push_back(Frame{decoder.Time(), decoder.NextTime(), std::move(pixels)});
    else if (!pixels.empty())
        spare_.push_back(std::move(pixels));
    if (!more) ended_ = true;
    ready_.notify_all();
}

void BgaVideo::Run() {
    std::unique_ptr<VideoDecoder> decoder;
    bool onFirst = false; // the decoder's current frame is the first, still to be queued
    uint64_t generation = ~uint64_t(0);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] {
            return stop_ || generation != generation_ || (!ended_ && frames_.size() < FramesAhead);
        });
        if (stop_) return;
        if (generation != generation_) {
            generation = generation_;
            TakeDecoder(lock, decoder, onFirst, generation);
        } else if (decoder) { // none: failed, waits for a restart or the end
            DecodeFrame(lock, *decoder, onFirst, generation);
        }
    }
}

} // namespace tappo
