#include "platform/AudioDevice.h"

#include <SDL.h>
#include <algorithm>
#include <alsa/asoundlib.h>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <utility>

namespace tappo {

namespace {

// SDL's device thread, which calls the callback and (with PulseAudio) feeds
// the server, gets the real-time class too, just below the mixing thread,
// where the system grants it: SDL asks for no more than a high priority, and
// a busy machine keeps such a thread waiting longer than the server holds
// sound. Where it is not granted the thread keeps what SDL gave it.
void RaiseDeviceThreadPriority() {
    sched_param param{};
    param.sched_priority = std::min(sched_get_priority_max(SCHED_FIFO), 9);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

// ALSA prints its own complaints to stderr while SDL probes for a device; a
// machine without a sound card is no error for the player.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

void AudioCallback(void* user, Uint8* stream, int length) {
    static thread_local bool raised = false;
    if (!std::exchange(raised, true)) RaiseDeviceThreadPriority();
    // The device starts once the feed is made, and stops before it goes.
    (*static_cast<std::unique_ptr<LiveFeed>*>(user))
        ->Take(reinterpret_cast<int16_t*>(stream), length / 4);
}

} // namespace

// SDL's PulseAudio output asks the server to hold one device buffer and no
// more (11.6 ms at 512 frames), and refills it, in the steps the server asks
// for, from the thread that calls our callback: that thread or the server
// waking some milliseconds late is a gap heard, however much our own queue
// holds. libpulse takes the server's target from PULSE_LATENCY_MSEC when the
// stream connects, so unless the user has set it the player asks for
// PulseAudioTargetMs (a device buffer, when that is longer). Other drivers
// do not read it.
void AskPulseAudioForRoom(int bufferFrames) {
    const int bufferMs = (bufferFrames * 1000 + MixRate - 1) / MixRate;
    if (bufferMs >= PulseAudioTargetMs) return; // SDL's own target is as long
    setenv("PULSE_LATENCY_MSEC", std::to_string(PulseAudioTargetMs).c_str(), 0);
}

AudioDevice::AudioDevice(Mixer& mixer, MixerOutput output, int bufferFrames)
    : bufferFrames_(std::clamp(bufferFrames, 64, 8192)) {
    if (output == MixerOutput::None) mixer.Silence();
    if (output == MixerOutput::Queue) feed_ = std::make_unique<LiveFeed>(mixer, bufferFrames_);
    if (output == MixerOutput::Device) Open(mixer);
}

AudioDevice::~AudioDevice() {
    if (device_) {
        SDL_CloseAudioDevice(device_); // waits for the callback to return
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void AudioDevice::Open(Mixer& mixer) {
    SDL_AudioSpec want{}, have{};
    want.freq = MixRate;
    want.format = AUDIO_S16SYS;
    want.channels = MixChannels;
    want.samples = Uint16(bufferFrames_);
    want.callback = AudioCallback;
    want.userdata = &feed_;
    snd_lib_error_set_handler(QuietAlsa);
    AskPulseAudioForRoom(bufferFrames_);
    // Without a sound card the dummy driver still pulls the mix in real time,
    // so channels finish and music ends just as they would be heard.
    for (const char* driver : {static_cast<const char*>(nullptr), "dummy"}) {
        if (driver) SDL_setenv("SDL_AUDIODRIVER", driver, 1);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) continue;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_) break;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (!device_) {
        mixer.Silence(); // as without any device
        return;
    }
    // The device may have settled on another buffer; the lead follows it.
    if (have.samples > 0) bufferFrames_ = have.samples;
    feed_ = std::make_unique<LiveFeed>(mixer, bufferFrames_);
    SDL_PauseAudioDevice(device_, 0);
}

} // namespace tappo
