// The SDL sound device around the sound engine: it opens the device (the
// dummy driver where there is no sound card), and its callback takes the mix
// from a LiveFeed. Where no device opens at all, the mixer is silenced.
#pragma once

#include "audio/LiveFeed.h"
#include "audio/Mixer.h"

#include <cstdint>
#include <memory>

namespace tappo {

// How much PulseAudio is asked to hold of the live stream (ms), and the
// asking: before the device opens, unless the environment already says.
inline constexpr int PulseAudioTargetMs = 45;
void AskPulseAudioForRoom(int bufferFrames);

// Where the mixed stream goes.
enum class MixerOutput {
    None,   // no device: silent, channels never get a buffer
    Device, // the SDL audio device pulls the mix through the live feed
    Pull,   // the caller pulls the mix (headless, offline rendering, tests)
    Queue,  // as Device, with the caller as the device (LiveFeed::Take): tests
};

class AudioDevice {
  public:
    // Opens `output` for `mixer`, which outlives the device; the device asks
    // for `bufferFrames` frames at a time.
    AudioDevice(Mixer& mixer, MixerOutput output, int bufferFrames = 512);
    ~AudioDevice();
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    // The live feed and its sound clock (Device and Queue output); null otherwise.
    LiveFeed* Feed() { return feed_.get(); }

  private:
    void Open(Mixer& mixer);

    int bufferFrames_;
    uint32_t device_ = 0;
    std::unique_ptr<LiveFeed> feed_;
};

} // namespace tappo
