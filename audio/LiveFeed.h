// The live feed between the mixer and a sound device: a mixing thread of its
// own keeps a queue (AudioRing) a little ahead of the device, and the
// device's callback only copies from it. The frames the device has taken are
// the sound clock. Whatever drives the device (the SDL shell, or a test that
// plays the device) calls Take.
#pragma once

#include "audio/AudioRing.h"
#include "audio/Mixer.h"
#include "audio/SoundMutex.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace tappo {

struct LiveFeedTestAccess;

class LiveFeed {
  public:
    // Feeds `mixer` to a device that takes `bufferFrames` frames at once; the
    // mixing thread starts at once and the queue is full when this returns.
    LiveFeed(Mixer& mixer, int bufferFrames);
    ~LiveFeed();
    LiveFeed(const LiveFeed&) = delete;
    LiveFeed& operator=(const LiveFeed&) = delete;

    // The device's take: `frames` frames from the queue. Where the mixing
    // thread has not kept up, the caller mixes what is missing itself; only
    // when it cannot (the thread is mid-step) is the rest silence (a counted
    // gap).
    void Take(int16_t* out, int frames);
    // The frames the mixing thread keeps in the queue ahead of the device.
    int LeadFrames() const { return leadFrames_; }
    // The sound clock: the frames the device has taken (mix frames: the frame
    // the device takes next is the frame Mix made at that position). The
    // device takes a whole buffer at once; between two takes the clock moves
    // on with the time since the last one (at most a buffer), so it runs
    // smoothly.
    int64_t SoundClockFrame() const;
    // The song frame heard at the sound clock: the same frame until a
    // playback rate other than 1 is asked for (Mixer::SongFrameOfOutput).
    int64_t SoundClockSongFrame() const { return mixer_.SongFrameOfOutput(SoundClockFrame()); }

  private:
    friend class Mixer; // reports the gaps with the lost voices
    friend struct LiveFeedTestAccess;

    void RunMixThread();
    // One step of mixing into the queue toward `fill` frames queued (frames
    // the device went past are mixed and dropped first); false when there is
    // nothing to do. Called with mixing_ held.
    bool MixStep(int fill);
    // Writes the gaps the device played since the last report to `log`.
    void ReportGaps(ProblemLog& log);

    Mixer& mixer_;
    int bufferFrames_;
    int leadFrames_;
    std::unique_ptr<AudioRing> queue_;
    std::thread mixThread_;
    std::atomic<bool> stopMixing_{false}, holdMixing_{false};
    // Held by whoever writes the queue: the mixing thread for each step, the
    // device's callback when it mixes for a thread that fell behind.
    SoundMutex mixing_;
    std::vector<int16_t> mixBlock_; // a step's frames, under mixing_
    std::atomic<int64_t> deviceMixes_{0};
    int64_t underrunsReported_ = 0, underrunFramesReported_ = 0;
    // The device's last take: its end frame and steady-clock time, written by
    // the callback alone and read whole (the sequence is odd while it writes).
    std::atomic<uint32_t> takeSequence_{0};
    std::atomic<int64_t> takeFrame_{0}, takeNs_{0};
};

} // namespace tappo
