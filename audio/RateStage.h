// The playback rate between the mixer and whatever takes its output: the song
// is mixed at its own pace (song frames: the keysounds' and the music's
// clock), and this stage makes `rate` song frames into each output frame,
// time-stretched so the pitch stays (Rubber Band's real-time stretcher) or
// resampled so the pitch moves with the speed.
//
// The song frames it takes are never ahead of the song time of the output it
// was asked for (the frontier), so a keysound scheduled for the song time of
// the frames being mixed is never mixed too early, headless as live. The
// stretcher needs song frames ahead of the output it makes: the sound lags
// the frontier. The stage's queue starts with that much silence, so the
// output never runs short, and it follows the song position of every frame
// it gives, so it says where each output frame is in the song.
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
    // Before the first Pull: the song frame heard at `outputFrame` when the
    // stage begins at output frame `outputNow` and song frame `songNow`.
    int64_t SongFrameBeforeStart(int64_t outputFrame, int64_t outputNow, int64_t songNow) const;
    int64_t OutputFrameOf(int64_t songFrame) const;
    // Song frames between the last song frame taken from the mix and the
    // song frame heard.
    int64_t LagSongFrames() const;
    // Output frames the queue could not give (zero when the lag holds).
    int64_t ShortFrames() const { return short_; }

  private:
    // Where the rate began: output frame and song frame of the frontier.
    struct Anchor {
        int64_t output = 0, song = 0;
        int ratePercent = 100;
    };
    // The song position of an output frame taken from the queue, kept for
    // the last blocks pulled.
    struct Heard {
        int64_t output = 0;
        double song = 0;
        int ratePercent = 0; // 0: no block yet
    };
    void ApplyRate(int ratePercent);
    void Feed(const int16_t* song, int frames);
    void Stretch(const int16_t* song, int frames);
    // The stretcher anew at the rate, fed the song again from the song
    // position of the next frame queued, so the sound goes on from there.
    void RestartStretcher();
    void Resample(const int16_t* song, int frames);
    void TakeStretched();
    void Push(float left, float right);
    // Heard at `outputFrame` by the entry before it (under anchorLock_).
    double HeardAt(int64_t outputFrame) const;

    std::atomic<int> requested_;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    Anchor anchor_; // the mixing thread's
    mutable SoundMutex anchorLock_;
    // Under anchorLock_: whether Pull began, the song frames between the
    // frontier and the sound, and where the last blocks pulled were heard.
    bool started_ = false;
    int64_t lagSong_ = 0;
    std::vector<Heard> heard_;
    size_t heardNext_ = 0;
    int64_t outputPosition_ = 0;
    int64_t songFed_ = 0;
    std::atomic<int64_t> short_{0};
    // Output made and not yet pulled: interleaved stereo floats, a ring, and
    // each frame's song position (song frames after the first one taken,
    // negative for the silence before it). A frame made from the stretcher
    // or the resampler lies the rate further into the song than the one
    // before it.
    std::vector<float> queue_;
    std::vector<double> queueSong_;
    double nextSong_ = 0;
    // The stretcher's first output frames that lie before the song fed it,
    // still to be dropped, and the song frames fed last (a ring).
    int64_t dropOutput_ = 0;
    std::vector<int16_t> history_;
    int64_t songStart_ = 0;
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
