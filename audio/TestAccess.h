// What tests and benchmarks look at inside the sound engine and its live
// feed, beyond what the program uses. The program never includes this.
#pragma once

#include "audio/LiveFeed.h"
#include "audio/Mixer.h"

namespace tappo {

struct MixerTestAccess {
    // Whether there is output: false after Silence.
    static bool Audible(const Mixer& m) { return m.audible_; }
    static void StopAll(Mixer& m) { m.StopAll(); }
    // The limiter alone, for comparing a mix with and without it.
    static void SetLimiter(Mixer& m, bool on) { m.SetLimiter(on); }
    static VoiceLosses Losses(Mixer& m) { return m.Losses(); }
    // Frames mixed so far.
    static int64_t MixPosition(const Mixer& m) { return m.mixPosition_; }
};

struct LiveFeedTestAccess {
    // Frames mixed and waiting in the queue for the device.
    static int QueuedFrames(const LiveFeed& f) { return f.queue_->Fill(); }
    // The mixing thread stops mixing, as a thread the system does not run for
    // a while, until released.
    static void HoldMixThread(LiveFeed& f, bool hold) { f.holdMixing_ = hold; }
    // Device takes that found the queue short and mixed the rest themselves.
    static int64_t DeviceMixes(const LiveFeed& f) {
        return f.deviceMixes_.load(std::memory_order_relaxed);
    }
    // Gaps the device played since the feed was made, and their frames.
    static int64_t Underruns(const LiveFeed& f) { return f.queue_->Underruns(); }
    static int64_t UnderrunFrames(const LiveFeed& f) { return f.queue_->MissingFrames(); }
};

} // namespace tappo
