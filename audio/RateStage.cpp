#include "audio/RateStage.h"

#include "formats/Wave.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace tappo {

namespace {

using Stretcher = RubberBand::RubberBandStretcher;

// Song frames taken from the mix at once: the stretcher is told it never gets
// more, so it never allocates while it plays.
constexpr int StepFrames = 1024;
// The frontier stays this many song frames behind the output's song time, so
// a song clock in whole milliseconds has scheduled every sound it takes.
constexpr int SafetyFrames = 64;
// Song frames the stretcher may hold back beyond its start pad before its
// output comes: the queue starts with this much output (at the rate) of
// silence. Measured: at most about 1,700 at 0.5x with 1,024-frame steps.
constexpr int StretcherHoldFrames = 2560;
constexpr size_t QueueFrames = size_t(1) << 15;
// The blocks pulled last whose song positions are kept: the device is at
// most the live feed's lead behind the newest.
constexpr size_t HeardEntries = 64;
// Song frames kept for a change of rate: more than the stretcher holds and
// its start pad.
constexpr int64_t HistoryFrames = 16384;
// The stretcher's sound comes this many output frames before its start delay
// says, at every rate (measured with clicks: 115-135 frames at 0.5x to 2x).
constexpr int StretcherEarlyFrames = 128;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int16_t ToSample(float v) {
    return int16_t(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L));
}

} // namespace

RateStage::RateStage(int ratePercent, bool keepPitch)
    : requested_(ratePercent), heard_(HeardEntries), queue_(QueueFrames * 2),
      queueSong_(QueueFrames), history_(size_t(HistoryFrames) * 2),
      songBlock_(size_t(StepFrames) * 2), left_(StepFrames), right_(StepFrames) {
    anchor_.ratePercent = ratePercent;
    const double rate = ratePercent / 100.0;
    int64_t prefill = 0;
    int64_t delay = 0;
    if (keepPitch) {
        stretcher_ = std::make_unique<Stretcher>(MixRate, 2,
                                                 Stretcher::OptionProcessRealTime |
                                                     Stretcher::OptionEngineFiner |
                                                     Stretcher::OptionWindowShort,
                                                 1 / rate);
        stretcher_->setMaxProcessSize(StepFrames);
        prefill =
            (int64_t(StretcherHoldFrames + SafetyFrames) * 100 + ratePercent - 1) / ratePercent;
        delay = int64_t(stretcher_->getStartDelay()) - StretcherEarlyFrames;
    } else {
        // Linear interpolation needs the song frame after the one it is at.
        prefill = (int64_t(SafetyFrames + 2) * 100 + ratePercent - 1) / ratePercent + 1;
    }
    // The queue's silence and the stretcher's padded start lie before the song.
    nextSong_ = -double(prefill + delay) * rate;
    for (int64_t i = 0; i < prefill; ++i)
        Push(0, 0);
    if (stretcher_) {
        std::fill(left_.begin(), left_.end(), 0.0f);
        std::fill(right_.begin(), right_.end(), 0.0f);
        float* planes[2] = {left_.data(), right_.data()};
        for (size_t pad = stretcher_->getPreferredStartPad(); pad > 0;) {
            const size_t n = std::min<size_t>(pad, StepFrames);
            stretcher_->process(planes, n, false);
            pad -= n;
            TakeStretched();
        }
    }
    lagSong_ = int64_t(std::ceil(double(prefill + delay) * rate)) + SafetyFrames;
}

RateStage::~RateStage() = default;

bool RateStage::Started() const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    return started_;
}

double RateStage::HeardAt(int64_t outputFrame) const {
    // The newest entry at or before the frame, else the oldest there is.
    const Heard* best = nullptr;
    const Heard* oldest = nullptr;
    for (const Heard& h : heard_) {
        if (h.ratePercent == 0) continue;
        if (!oldest || h.output < oldest->output) oldest = &h;
        if (h.output <= outputFrame && (!best || h.output > best->output)) best = &h;
    }
    if (!best) best = oldest;
    if (!best) return double(outputFrame);
    return best->song + double(outputFrame - best->output) * best->ratePercent / 100.0;
}

int64_t RateStage::SongFrameAt(int64_t outputFrame) const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    return int64_t(std::floor(HeardAt(outputFrame)));
}

int64_t RateStage::SongFrameBeforeStart(int64_t outputFrame, int64_t outputNow,
                                        int64_t songNow) const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    const double rate = requested_.load(std::memory_order_relaxed) / 100.0;
    return songNow - (lagSong_ - SafetyFrames) +
           int64_t(std::floor(double(outputFrame - outputNow) * rate));
}

int64_t RateStage::OutputFrameOf(int64_t songFrame) const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    const Heard& last = heard_[(heardNext_ + HeardEntries - 1) % HeardEntries];
    return last.output +
           int64_t(std::ceil((double(songFrame) - last.song) * 100.0 / last.ratePercent));
}

int64_t RateStage::LagSongFrames() const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    return lagSong_;
}

// The frontier goes on from where it is, at the new rate.
void RateStage::ApplyRate(int ratePercent) {
    const Anchor& a = anchor_;
    anchor_ = Anchor{.output = outputPosition_,
                     .song = a.song + FloorDiv((outputPosition_ - a.output) * a.ratePercent, 100),
                     .ratePercent = ratePercent};
    if (stretcher_) RestartStretcher();
}

// A stretcher told a new ratio as it runs puts its sound a little earlier or
// later than the song positions counted frame by frame (30 ms after ten steps
// down), so it starts again: the song from the next frame queued on, after
// the song before it as its start pad.
void RateStage::RestartStretcher() {
    stretcher_->reset();
    stretcher_->setTimeRatio(100.0 / anchor_.ratePercent);
    const int64_t fed = songFed_ - songStart_;
    const int64_t resume = std::min<int64_t>(int64_t(std::ceil(nextSong_)), fed);
    const int64_t pad = int64_t(stretcher_->getPreferredStartPad());
    dropOutput_ = int64_t(stretcher_->getStartDelay()) - StretcherEarlyFrames;
    nextSong_ = double(resume);
    for (int64_t at = resume - pad; at < fed;) {
        const int n = int(std::min<int64_t>(fed - at, StepFrames));
        for (int i = 0; i < n; ++i) {
            const int64_t frame = at + i;
            const bool kept = frame >= 0 && frame >= fed - HistoryFrames;
            const size_t ring = size_t(frame % HistoryFrames) * 2;
            songBlock_[size_t(2 * i)] = kept ? history_[ring] : int16_t(0);
            songBlock_[size_t(2 * i + 1)] = kept ? history_[ring + 1] : int16_t(0);
        }
        Stretch(songBlock_.data(), n);
        at += n;
    }
}

void RateStage::Pull(int16_t* out, int frames, int64_t outputFrame, int64_t songFrame,
                     const SongMix& mix) {
    if (frames <= 0) return;
    if (!started_) {
        anchor_.output = outputPosition_ = outputFrame;
        anchor_.song = songFed_ = songStart_ = songFrame;
        const std::lock_guard<SoundMutex> lock(anchorLock_);
        started_ = true;
    }
    if (const int wanted = requested_.load(std::memory_order_relaxed);
        wanted != anchor_.ratePercent)
        ApplyRate(wanted);
    const int64_t end = outputPosition_ + frames;
    const int64_t frontier =
        anchor_.song + FloorDiv((end - anchor_.output) * anchor_.ratePercent, 100) - SafetyFrames;
    while (songFed_ < frontier) {
        const int n = int(std::min<int64_t>(frontier - songFed_, StepFrames));
        mix(songBlock_.data(), n);
        Feed(songBlock_.data(), n);
        songFed_ += n;
    }
    const double firstHeard =
        double(songStart_) + (queueFill_ ? queueSong_[queueRead_] : nextSong_);
    int missing = 0;
    for (int i = 0; i < frames; ++i) {
        if (queueFill_ == 0) {
            out[2 * i] = out[2 * i + 1] = 0;
            ++missing;
            continue;
        }
        out[2 * i] = ToSample(queue_[2 * queueRead_]);
        out[2 * i + 1] = ToSample(queue_[2 * queueRead_ + 1]);
        queueRead_ = (queueRead_ + 1) % QueueFrames;
        --queueFill_;
    }
    if (missing) short_.fetch_add(missing, std::memory_order_relaxed);
    const double nextHeard = double(songStart_) + (queueFill_ ? queueSong_[queueRead_] : nextSong_);
    {
        const std::lock_guard<SoundMutex> lock(anchorLock_);
        heard_[heardNext_] = Heard{outputPosition_, firstHeard, anchor_.ratePercent};
        heardNext_ = (heardNext_ + 1) % HeardEntries;
        lagSong_ = songFed_ - int64_t(std::floor(nextHeard)) + SafetyFrames;
    }
    outputPosition_ = end;
}

void RateStage::Feed(const int16_t* song, int frames) {
    if (!stretcher_) {
        Resample(song, frames);
        return;
    }
    const int64_t fed = songFed_ - songStart_;
    for (int i = 0; i < frames; ++i) {
        const size_t ring = size_t((fed + i) % HistoryFrames) * 2;
        history_[ring] = song[2 * i];
        history_[ring + 1] = song[2 * i + 1];
    }
    Stretch(song, frames);
}

void RateStage::Stretch(const int16_t* song, int frames) {
    for (int i = 0; i < frames; ++i) {
        left_[size_t(i)] = float(song[2 * i]) / 32768.0f;
        right_[size_t(i)] = float(song[2 * i + 1]) / 32768.0f;
    }
    float* planes[2] = {left_.data(), right_.data()};
    stretcher_->process(planes, size_t(frames), false);
    TakeStretched();
}

void RateStage::TakeStretched() {
    float* planes[2] = {left_.data(), right_.data()};
    for (int available = stretcher_->available(); available > 0;
         available = stretcher_->available()) {
        const size_t n =
            stretcher_->retrieve(planes, std::min<size_t>(size_t(available), StepFrames));
        if (n == 0) break;
        for (size_t i = 0; i < n; ++i)
            if (dropOutput_ > 0)
                --dropOutput_;
            else
                Push(left_[i], right_[i]);
    }
}

// Output frame k of the rate lies at song position k * rate: between two song
// frames, weighed by the distance. `resamplePosition_` counts from the song
// frame before the block (1: the block's first frame).
void RateStage::Resample(const int16_t* song, int frames) {
    const double step = anchor_.ratePercent / 100.0;
    auto left = [&](int64_t i) { return i < 0 ? lastLeft_ : float(song[2 * i]) / 32768.0f; };
    auto right = [&](int64_t i) { return i < 0 ? lastRight_ : float(song[2 * i + 1]) / 32768.0f; };
    double& x = resamplePosition_;
    while (int64_t(x) <= frames - 1) {
        const int64_t at = int64_t(x) - 1; // -1: the frame before the block
        const float f = float(x - std::floor(x));
        Push(left(at) + (left(at + 1) - left(at)) * f, right(at) + (right(at + 1) - right(at)) * f);
        x += step;
    }
    x -= frames;
    lastLeft_ = left(frames - 1);
    lastRight_ = right(frames - 1);
}

void RateStage::Push(float left, float right) {
    const double song = nextSong_;
    nextSong_ += anchor_.ratePercent / 100.0;
    if (queueFill_ == QueueFrames) return; // never at the rates there are
    const size_t at = (queueRead_ + queueFill_) % QueueFrames;
    queue_[2 * at] = left;
    queue_[2 * at + 1] = right;
    queueSong_[at] = song;
    ++queueFill_;
}

} // namespace tappo
