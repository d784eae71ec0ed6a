// Sound: 32 channels that each play their own copy of a loaded sample, mixed
// with the MIDI music into one 44.1 kHz stereo stream. The stream goes to the
// SDL audio device, or is pulled by the caller (headless play, offline
// rendering, tests). Problems go to the log "ddsd.debug"; sound never throws.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tappo {

inline constexpr int MixRate = 44100;

// What a sound channel is doing: stopped covers a channel without a sample.
enum TChannelStatus : int { ChannelStopped = 0, ChannelPlaying = 1 };
inline constexpr int MixChannels = 2;

// The sound problem log: the first report of a run empties the file, every
// report is one numbered line.
class TProblemLog {
  public:
    explicit TProblemLog(std::string path) : path_(std::move(path)) {}
    void Report(const std::string& text);
    // A failed platform call: the text and the call's result code.
    void ReportFailedCall(const std::string& text, long code);
    int Count() const { return count_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int count_ = 0;
    std::mutex mutex_;
};

// The 20-byte format record a WAV file's "fmt " chunk is read into.
struct TWaveFormat {
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t ExtraSize = 0;
};

// Audio in the mix format (stereo 16-bit, 44.1 kHz), converted once at load.
// A file already in that format keeps its own bytes: the samples are read in
// place, with no copy.
struct TPcm {
    std::vector<uint8_t> Storage;
    size_t Offset = 0;     // byte offset of the first sample in Storage
    size_t FrameCount = 0;

    const int16_t* Data() const { return reinterpret_cast<const int16_t*>(Storage.data() + Offset); }
    size_t Frames() const { return FrameCount; }
    std::vector<int16_t> ToVector() const { return std::vector<int16_t>(Data(), Data() + FrameCount * 2); }
    static std::shared_ptr<TPcm> FromSamples(const std::vector<int16_t>& stereo);
};

// Reads a WAV file. On a problem returns null and sets `problem` to the log
// text's ending ("が、見つかりません", "は、WAVEファイルではありません", ...).
std::shared_ptr<const TPcm> ReadWave(const std::string& path, TWaveFormat& format,
                                     std::string& problem);
// The same over a file's bytes in memory (taken over when they can be played as they are).
std::shared_ptr<const TPcm> DecodeWave(std::vector<uint8_t> bytes, TWaveFormat& format,
                                       std::string& problem);
// Resampling to the mix rate (cubic interpolation), used by the reader.
std::vector<int16_t> ResampleStereo(const std::vector<int16_t>& stereo, uint32_t fromRate);

class TDDSD;

// One loaded sample; without a buffer when loading failed or sound is off.
class TDDSDWaveData {
  public:
    TWaveFormat Format;
    uint32_t DataLength = 0; // bytes of the file's data chunk
    bool HasBuffer() const { return pcm_ != nullptr; }
    const std::shared_ptr<const TPcm>& Pcm() const { return pcm_; }

  private:
    friend class TDDSD;
    std::shared_ptr<const TPcm> pcm_;
};

// Something else that renders into the mix, such as the MIDI synthesiser.
class IMixSource {
  public:
    virtual ~IMixSource() = default;
    // Adds `frames` stereo frames to `mix` (32-bit accumulators); the block
    // starts at mix frame `blockStart`.
    virtual void MixInto(int32_t* mix, int frames, int64_t blockStart) = 0;
};

// Where the mixed stream goes.
enum class TSoundOutput {
    None,   // no device: silent, channels never get a buffer
    Device, // the SDL audio device pulls the mix on its own thread
    Pull,   // the caller pulls the mix (headless, offline rendering, tests)
};

class TDDSD {
  public:
    static constexpr int DefaultChannelCount = 32;

    TDDSD(TSoundOutput output, std::string logPath, int bufferFrames = 512,
          int channelCount = DefaultChannelCount);
    ~TDDSD();
    TDDSD(const TDDSD&) = delete;
    TDDSD& operator=(const TDDSD&) = delete;

    int ChannelCount() const { return int(channels_.size()); }
    bool Initialized() const { return initialized_; }
    TSoundOutput Output() const { return output_; }
    TProblemLog& Log() { return log_; }

    // Never throws: a bad file gives a sample without a buffer and one log line.
    std::unique_ptr<TDDSDWaveData> LoadSample(const std::string& path);
    // A channel index out of range is logged and read as stopped.
    TChannelStatus ChannelStatus(int channel);
    // Gives the channel its own copy of the sample (stopping what it had). A
    // sample without a buffer leaves the channel empty: it plays nothing.
    void SetChannelSample(int channel, const TDDSDWaveData* sample);
    void PlayChannel(int channel);
    // Starts the channel exactly at mix frame `frame` (counted by MixPosition);
    // until then it counts as playing. A frame already mixed starts it at once.
    void PlayChannelAt(int channel, int64_t frame);
    void StopChannel(int channel);
    void StopAll();

    // Mixes `frames` frames of the channels and sources into `out` (stereo 16-bit).
    // Called by the device thread, or by the caller in pull mode.
    void Mix(int16_t* out, int frames);
    // Frames mixed so far.
    int64_t MixPosition() const { return mixPosition_; }
    void AddSource(IMixSource* source);
    void RemoveSource(IMixSource* source);

  private:
    struct TChannel {
        std::shared_ptr<const TPcm> pcm;
        size_t position = 0; // frames
        bool playing = false;
        int64_t startAt = -1; // mix frame of a scheduled start
    };
    bool ValidChannel(int channel);
    void OpenDevice(int bufferFrames);

    TSoundOutput output_;
    bool initialized_ = false;
    TProblemLog log_;
    std::mutex channelsLock_; // held briefly by the frame thread and the mixer
    std::vector<TChannel> channels_;
    std::mutex sourcesLock_;
    std::vector<IMixSource*> sources_;
    std::vector<int32_t> accumulator_;
    std::atomic<int64_t> mixPosition_{0};
    uint32_t device_ = 0;
};

} // namespace tappo
