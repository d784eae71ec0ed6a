// The playback rate between the mixer and whatever takes its output: the song
// is mixed at its own pace (song frames: the keysounds' and the music's
// clock), and this stage makes `rate` song frames into each output frame,
// time-stretched so the pitch stays (Rubber Band's real-time stretcher) or
// resampled so the pitch moves with the speed.
//
// The song frames it takes are never ahead of the song time of the output it
// was asked for (the frontier), so a keysound scheduled for the song time of
// the frames being mixed is never mixed too early, headless as live. The
// stretcher needs song frames ahead of the output it makes: that is a fixed
// lag, in output frames, between the frontier and the song frame heard; the
// stage holds that much output in its queue from the start, so the output
// never runs short, and says where each output frame is in the song.
#pragma once

#include "audio/SoundMutex.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace tappo {

// Playback rates: 0.5x to 2.0x in steps of 5 %, kept as whole percents.
inline constexpr int MinRatePercent = 50;
inline constexpr int MaxRatePercent = 200;
inline constexpr int RateStepPercent = 5;

class RateStage {
  public:
    // Mixes `frames` song frames into `out` (stereo 16-bit).
    using SongMix = std::function<void(int16_t* out, int frames)>;

    // Made on any thread; it begins where the first Pull finds the output
    // and the song.
    RateStage(int ratePercent, bool keepPitch);
    ~RateStage();
    RateStage(const RateStage&) = delete;
    RateStage& operator=(const RateStage&) = delete;

    // Asked from any thread; the next Pull plays on at that rate (the sound
    // already made plays out).
    void RequestRate(int ratePercent) { requested_ = ratePercent; }
    bool KeepsPitch() const { return stretcher_ != nullptr; }
    // The next `frames` output frames, which begin at output frame
    // `outputFrame` and song frame `songFrame` the first time, taking song
    // frames from `mix`. The mixing thread's alone.
    void Pull(int16_t* out, int frames, int64_t outputFrame, int64_t songFrame, const SongMix& mix);

    // Any thread. The song frame heard at output frame `outputFrame`, and
    // the output frame where song frame `songFrame` is heard at the rate now;
    // both empty before the first Pull.
    bool Started() const;
    int64_t SongFrameAt(int64_t outputFrame) const;
    int64_t OutputFrameOf(int64_t songFrame) const;
    // Song frames between the last song frame taken from the mix and the
    // song frame heard.
    int64_t LagSongFrames() const;
    // Output frames the queue could not give (zero when the lag holds).
    int64_t ShortFrames() const { return short_; }

  private:
    // Where a rate began, for the song frame of an output frame: output and
    // song frame, the rate, and the lag of the output in output frames.
    struct Anchor {
        int64_t output = 0, song = 0;
        int ratePercent = 100;
        double lag = 0;
    };
    void ApplyRate(int ratePercent);
    void Feed(const int16_t* song, int frames);
    void Resample(const int16_t* song, int frames);
    void TakeStretched();
    void Push(float left, float right);

    std::atomic<int> requested_;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    mutable SoundMutex anchorLock_;
    Anchor anchor_;
    bool started_ = false;
    int64_t outputPosition_ = 0;
    int64_t songFed_ = 0;
    std::atomic<int64_t> short_{0};
    // Output made and not yet pulled: interleaved stereo floats, a ring.
    std::vector<float> queue_;
    size_t queueRead_ = 0, queueFill_ = 0;
    // Working room: the song frames of one step, the stretcher's planes.
    std::vector<int16_t> songBlock_;
    std::vector<float> left_, right_;
    // Resampling: the last song frame before the block and the position of
    // the next output frame, in song frames after it.
    float lastLeft_ = 0, lastRight_ = 0;
    double resamplePosition_ = 1;
};

} // namespace tappo
