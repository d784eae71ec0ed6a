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
    : requested_(ratePercent), queue_(QueueFrames * 2), songBlock_(size_t(StepFrames) * 2),
      left_(StepFrames), right_(StepFrames) {
    anchor_.ratePercent = ratePercent;
    int64_t prefill = 0;
    size_t delay = 0;
    if (keepPitch) {
        stretcher_ = std::make_unique<Stretcher>(MixRate, 2,
                                                 Stretcher::OptionProcessRealTime |
                                                     Stretcher::OptionEngineFiner |
                                                     Stretcher::OptionWindowShort,
                                                 100.0 / ratePercent);
        stretcher_->setMaxProcessSize(StepFrames);
        prefill =
            (int64_t(StretcherHoldFrames + SafetyFrames) * 100 + ratePercent - 1) / ratePercent;
        delay = stretcher_->getStartDelay() - StretcherEarlyFrames;
    } else {
        // Linear interpolation needs the song frame after the one it is at.
        prefill = (int64_t(SafetyFrames + 2) * 100 + ratePercent - 1) / ratePercent + 1;
    }
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
    anchor_.lag = double(prefill) + double(delay);
}

RateStage::~RateStage() = default;

bool RateStage::Started() const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    return started_;
}

int64_t RateStage::SongFrameAt(int64_t outputFrame) const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    const Anchor& a = anchor_;
    return a.song +
           int64_t(std::floor((double(outputFrame - a.output) - a.lag) * a.ratePercent / 100.0));
}

int64_t RateStage::OutputFrameOf(int64_t songFrame) const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    const Anchor& a = anchor_;
    return a.output +
           int64_t(std::ceil(double(songFrame - a.song) * 100.0 / a.ratePercent + a.lag));
}

int64_t RateStage::LagSongFrames() const {
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    return int64_t(std::ceil(anchor_.lag * anchor_.ratePercent / 100.0)) + SafetyFrames;
}

// The frontier goes on from where it is; the song frame heard goes on from
// where it is too, at the new rate (the lag in output frames changes so).
void RateStage::ApplyRate(int ratePercent) {
    const Anchor& a = anchor_;
    const int64_t frontier = a.song + FloorDiv((outputPosition_ - a.output) * a.ratePercent, 100);
    const double heard =
        double(a.song) + (double(outputPosition_ - a.output) - a.lag) * a.ratePercent / 100.0;
    Anchor next{.output = outputPosition_,
                .song = frontier,
                .ratePercent = ratePercent,
                .lag = (double(frontier) - heard) * 100.0 / ratePercent};
    if (stretcher_) stretcher_->setTimeRatio(100.0 / ratePercent);
    const std::lock_guard<SoundMutex> lock(anchorLock_);
    anchor_ = next;
}

void RateStage::Pull(int16_t* out, int frames, int64_t outputFrame, int64_t songFrame,
                     const SongMix& mix) {
    if (frames <= 0) return;
    if (!started_) {
        const std::lock_guard<SoundMutex> lock(anchorLock_);
        anchor_.output = outputPosition_ = outputFrame;
        anchor_.song = songFed_ = songFrame;
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
    outputPosition_ = end;
}

void RateStage::Feed(const int16_t* song, int frames) {
    if (!stretcher_) {
        Resample(song, frames);
        return;
    }
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
    if (queueFill_ == QueueFrames) return; // never at the rates there are
    const size_t at = (queueRead_ + queueFill_) % QueueFrames;
    queue_[2 * at] = left;
    queue_[2 * at + 1] = right;
    ++queueFill_;
}

} // namespace tappo
