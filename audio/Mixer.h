// The sound engine: channels that each play their own copy of a loaded
// sample, voices the standard reading starts on whatever channel is free, and
// other sources (the MIDI music), mixed into one 44.1 kHz stereo stream. It
// knows no device: the caller pulls the mix (headless play, offline
// rendering, tests), or a LiveFeed keeps a queue of it for one. Problems go to
// the problem log it is given; sound never throws. The standard reading mixes
// on 256 channels, takes the oldest keysound's channel when all are busy,
// scales keysounds by the chart's "#VOLWAV" and sends the mix through the
// limiter instead of clipping it.
#pragma once

#include "audio/Limiter.h"
#include "audio/RateStage.h"
#include "audio/SoundMutex.h"
#include "files/ProblemLog.h"
#include "formats/Wave.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tappo {

// What a sound channel is doing: stopped covers a channel without a sample.
enum ChannelState : int { ChannelStopped = 0, ChannelPlaying = 1 };
inline constexpr int MixChannels = 2;

class Mixer;
class LiveFeed;
struct MixerTestAccess;

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

// Sounds the standard reading's voices lost: cut short for a newer sound, or
// never started because every channel held a background sound.
struct VoiceLosses {
    int64_t Cut = 0;
    int64_t Dropped = 0;
};

class Mixer {
    static constexpr int DefaultChannelCount = 32;
    static constexpr int StandardChannelCount = 256;

  public:
    // Reports to `log`, which outlives the mixer.
    explicit Mixer(ProblemLog& log, int channelCount = DefaultChannelCount);
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // No output at all (no device could be opened): samples load without a
    // buffer and channels play nothing, as sound that is off.
    void Silence();
    int ChannelCount() const { return int(channels_.size()); }

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
    // Starts the channel exactly at mix frame `frame` (-1: with the next
    // block); until then it counts as playing. A frame already mixed starts it
    // at once.
    void PlayChannel(int channel, int64_t frame = -1);
    void StopChannel(int channel);
    // Whether any channel plays (or waits for its scheduled start).
    bool AnyChannelPlaying();

    // The standard reading's mixing (StandardChannelCount channels, the
    // limiter), or the exact reading's (DefaultChannelCount, clipping). Stops
    // every channel.
    void UseStandardMixing(bool standard);
    bool StandardMixing() const { return standardMixing_; }
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
    // Writes the sounds lost since the last report, and the gaps the live
    // feed's device played since then, to the problem log (when there are
    // any) and starts counting again: at the end of a play or render.
    void ReportLostVoices();

    // Mixes `frames` frames of the channels and sources into `out` (stereo
    // 16-bit). Called by the caller in pull mode, or by the live feed. Mix
    // frames (the keysounds' and the music's) are song frames: at a playback
    // rate other than 1 they pass through the rate stage, and the output
    // frames Mix gives are no longer the same count.
    void Mix(int16_t* out, int frames);

    // The playback rate, in percent (50-200): the song goes on at that rate
    // from the next block. The first rate other than 100 puts the rate stage
    // in the path for good; until then the mix is exactly as without it.
    // `keepPitch`: time-stretched (the pitch kept) or resampled (the pitch
    // moves with the speed); the first rate stage made keeps its way.
    void SetPlaybackRate(int percent, bool keepPitch);
    int PlaybackRatePercent() const { return ratePercent_; }
    // The song frame heard at output frame `outputFrame` (the same frame
    // without a rate stage), and the output frame where song frame
    // `songFrame` is heard at the rate now.
    int64_t SongFrameOfOutput(int64_t outputFrame) const;
    int64_t OutputFrameOfSong(int64_t songFrame) const;
    // Song frames mixed so far.
    int64_t SongFramesMixed() const { return mixPosition_; }
    // Song frames between the last mixed and the one heard: the rate stage's
    // lag (0 without one).
    int64_t RateLagSongFrames() const;
    void AddSource(MixSource* source);
    void RemoveSource(MixSource* source);

  private:
    friend class LiveFeed; // tells the mixer it feeds a device
    friend struct MixerTestAccess;

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
    void StopAll();
    // The limiter alone, for comparing a mix with and without it.
    void SetLimiter(bool on);
    VoiceLosses Losses();
    void MixSong(int16_t* out, int frames);

    ProblemLog& log_;
    bool audible_ = true;
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
    LiveFeed* feed_ = nullptr; // set while a live feed pulls this mixer
    // Output frames mixed so far (mixPosition_ counts song frames); the rate
    // stage once a rate other than 1 was asked for, made on the frame thread
    // under rateLock_ and pulled by the mixing thread.
    std::atomic<int64_t> outputPosition_{0};
    std::atomic<int> ratePercent_{100};
    mutable SoundMutex rateLock_;
    std::unique_ptr<RateStage> rateStage_;
    std::atomic<RateStage*> rateStageInPath_{nullptr};
};

} // namespace tappo
