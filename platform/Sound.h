// Sound: 32 channels that each play their own copy of a loaded sample, mixed
// with the MIDI music into one 44.1 kHz stereo stream. The stream goes to the
// SDL audio device, or is pulled by the caller (headless play, offline
// rendering, tests). Live, a mixing thread of its own keeps a queue
// (AudioRing) a little ahead of the device, and the device's callback only
// copies from it: the frames the device has taken are the sound clock. Problems go to the log
// "ddsd.debug"; sound never throws. The standard reading mixes on 256 channels, takes the oldest
// keysound's channel when all are busy, scales keysounds by the chart's "#VOLWAV" and sends the mix
// through the limiter instead of clipping it.
#pragma once

#include "formats/Wave.h"
#include "platform/AudioRing.h"
#include "platform/Limiter.h"
#include "platform/SoundMutex.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tappo {

// What a sound channel is doing: stopped covers a channel without a sample.
enum ChannelState : int { ChannelStopped = 0, ChannelPlaying = 1 };
inline constexpr int MixChannels = 2;

// The sound problem log: the first report of a run starts the file anew (the
// previous run's file is kept beside it as ".1"), every report is one numbered line. Anything but a
// regular file in the log's place (a link, a FIFO, a device) is left alone and said once on the
// console.
class ProblemLog {
  public:
    explicit ProblemLog(std::string path) : path_(std::move(path)) {}
    void Report(const std::string& text);
    // A failed platform call: the text and the call's result code.
    void ReportFailedCall(const std::string& text, long code);
    int Count() const { return count_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int count_ = 0;
    bool refused_ = false;
    std::mutex mutex_;
};

class Mixer;

// How much PulseAudio is asked to hold of the live stream (ms), and the
// asking: before the device opens, unless the environment already says.
inline constexpr int PulseAudioTargetMs = 45;
void AskPulseAudioForRoom(int bufferFrames);

// One loaded sample; without a buffer when loading failed or sound is off.
class Sample {
  public:
    WaveFormat Format;
    uint32_t DataLength = 0; // bytes of the file's data chunk
    bool HasBuffer() const { return pcm_ != nullptr; }
    const std::shared_ptr<const PcmBuffer>& Pcm() const { return pcm_; }

  private:
    friend class Mixer;
    std::shared_ptr<const PcmBuffer> pcm_;
};

// Something else that renders into the mix, such as the MIDI synthesiser.
class MixSource {
  public:
    virtual ~MixSource() = default;
    // Adds `frames` stereo frames to `mix` (32-bit accumulators); the block
    // starts at mix frame `blockStart`.
    virtual void MixInto(int32_t* mix, int frames, int64_t blockStart) = 0;
};

// Where the mixed stream goes.
enum class MixerOutput {
    None,   // no device: silent, channels never get a buffer
    Device, // the SDL audio device pulls the mix through the queue
    Pull,   // the caller pulls the mix (headless, offline rendering, tests)
    Queue,  // as Device, with the caller as the device (PullQueue): tests
};

// Sounds the standard reading's voices lost: cut short for a newer sound, or
// never started because every channel held a background sound.
struct VoiceLosses {
    int64_t Cut = 0;
    int64_t Dropped = 0;
};

class Mixer {
  public:
    static constexpr int DefaultChannelCount = 32;
    static constexpr int StandardChannelCount = 256;

    Mixer(MixerOutput output, std::string logPath, int bufferFrames = 512,
          int channelCount = DefaultChannelCount);
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    int ChannelCount() const { return int(channels_.size()); }
    bool Initialized() const { return initialized_; }
    MixerOutput Output() const { return output_; }
    ProblemLog& Log() { return log_; }

    // Never throws: a bad file gives a sample without a buffer and one log line.
    std::unique_ptr<Sample> LoadSample(const std::string& path);
    // LoadSample in two halves, for loading on several threads: the file read
    // and decoded (on any thread, touching nothing shared), then the sample
    // made and its problem logged (on the loading thread, in load order).
    struct DecodedSample {
        std::string path;
        std::shared_ptr<const PcmBuffer> pcm;
        WaveFormat format;
        std::string problem;
    };
    DecodedSample DecodeSample(const std::string& path) const;
    std::unique_ptr<Sample> InstallSample(DecodedSample decoded);
    // A channel index out of range is logged and read as stopped.
    ChannelState ChannelStatus(int channel);
    // Gives the channel its own copy of the sample (stopping what it had). A
    // sample without a buffer leaves the channel empty: it plays nothing.
    void SetChannelSample(int channel, const Sample* sample);
    void PlayChannel(int channel);
    // Starts the channel exactly at mix frame `frame` (counted by MixPosition);
    // until then it counts as playing. A frame already mixed starts it at once.
    void PlayChannelAt(int channel, int64_t frame);
    void StopChannel(int channel);
    void StopAll();
    // Whether any channel plays (or waits for its scheduled start).
    bool AnyChannelPlaying();

    // The standard reading's mixing (StandardChannelCount channels, the
    // limiter), or the exact reading's (DefaultChannelCount, clipping). Stops
    // every channel.
    void UseStandardMixing(bool standard);
    bool StandardMixing() const { return standardMixing_; }
    // The limiter alone, for comparing a mix with and without it.
    void SetLimiter(bool on);
    // Every channel's sound scaled to `percent` (a chart's "#VOLWAV"), before
    // the music is added and before the limiter; 100 leaves it as it is.
    void SetKeysoundVolume(int percent);
    // The master volume, 0-100, over keysounds and music alike, before the
    // limiter or the clip: the mix's amplitude goes with its square (50 is a
    // quarter, -12 dB; 0 is silence). 100 leaves the mix as it is.
    void SetMasterVolume(int percent);
    int MasterVolume() const { return masterVolume_; }
    // Starts `sample` at mix frame `frame` (-1: with the next block) on a
    // free channel; when every channel is busy it takes the channel of the
    // oldest sound that is not `background` (chart channel 01), and when all
    // hold background sounds the new one is dropped. Both are counted. The
    // voice plays the sample from `startFrame` for at most `frames` frames
    // (a bmson slice); a start at or past the sample's end plays nothing.
    void StartVoice(const Sample* sample, int64_t frame, bool background, uint32_t startFrame = 0,
                    uint32_t frames = UINT32_MAX);
    VoiceLosses Losses();
    // Writes the sounds lost since the last report, and the gaps the device
    // played since then, to the problem log (when there are any) and starts
    // counting again: at the end of a play or render.
    void ReportLostVoices();

    // Mixes `frames` frames of the channels and sources into `out` (stereo 16-bit).
    // Called by the device thread, or by the caller in pull mode.
    void Mix(int16_t* out, int frames);
    // Frames mixed so far.
    int64_t MixPosition() const { return mixPosition_; }
    void AddSource(MixSource* source);
    void RemoveSource(MixSource* source);

    // The live queue (Device and Queue output): whether there is one, the
    // frames the mixing thread keeps in it ahead of the device, and the sound
    // clock: the frames the device has taken (mix frames: the frame the device
    // takes next is the frame Mix made at that position). The device takes a
    // whole buffer at once; between two takes the clock moves on with the
    // time since the last one (at most a buffer), so it runs smoothly.
    bool HasSoundClock() const { return queue_ != nullptr; }
    int LeadFrames() const { return leadFrames_; }
    int DeviceBufferFrames() const { return bufferFrames_; }
    int64_t SoundClockFrame() const;
    // Frames mixed and waiting in the queue for the device.
    int QueuedFrames() const { return queue_ ? queue_->Fill() : 0; }
    // The device's callback: `frames` frames from the queue. Where the mixing
    // thread has not kept up, the callback mixes what is missing itself; only
    // when it cannot (the thread is mid-step) is the rest silence (a counted
    // gap). Queue output: the test's device.
    void PullQueue(int16_t* out, int frames);
    // Tests: the mixing thread stops mixing, as a thread the system does not
    // run for a while, until released.
    void HoldMixThread(bool hold) { holdMixing_ = hold; }
    // Device takes that found the queue short and mixed the rest themselves.
    int64_t DeviceMixes() const { return deviceMixes_.load(std::memory_order_relaxed); }
    // Gaps the device played since the mixer was made, and their frames.
    int64_t Underruns() const { return queue_ ? queue_->Underruns() : 0; }
    int64_t UnderrunFrames() const { return queue_ ? queue_->MissingFrames() : 0; }

  private:
    struct Channel {
        std::shared_ptr<const PcmBuffer> pcm;
        size_t position = 0; // frames
        bool playing = false;
        int64_t startAt = -1;    // mix frame of a scheduled start
        bool background = false; // a chart's channel-01 sound (StartVoice)
        uint64_t started = 0;    // order of the starts, for taking the oldest
        size_t end = SIZE_MAX;   // frame of the sample where the voice stops
    };
    bool ValidChannel(int channel);
    void OpenDevice();
    void StartMixThread();
    void StopMixThread();
    void RunMixThread();
    // One step of mixing into the queue toward `fill` frames queued (frames
    // the device went past are mixed and dropped first); false when there is
    // nothing to do. Called with mixing_ held.
    bool MixStep(int fill);

    MixerOutput output_;
    bool initialized_ = false;
    ProblemLog log_;
    SoundMutex channelsLock_; // held briefly by the frame thread and the mixer
    std::vector<Channel> channels_;
    SoundMutex sourcesLock_;
    std::vector<MixSource*> sources_;
    std::vector<int32_t> accumulator_;
    bool standardMixing_ = false;
    bool limiterOn_ = false;
    Limiter limiter_;
    bool resetLimiter_ = false;
    int keysoundVolume_ = 100;
    std::atomic<int> masterVolume_{100};
    uint64_t starts_ = 0;
    VoiceLosses losses_;
    std::atomic<int64_t> mixPosition_{0};
    uint32_t device_ = 0;
    int bufferFrames_;
    int leadFrames_ = 0;
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
