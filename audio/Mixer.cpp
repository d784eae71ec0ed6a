#include "audio/Mixer.h"

#include "audio/LiveFeed.h"
#include "base/Translate.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tappo {

Mixer::Mixer(ProblemLog& log, int channelCount) : log_(log), channels_(size_t(channelCount)) {}

void Mixer::Silence() {
    audible_ = false;
}

bool Mixer::ValidChannel(int channel) {
    if (channel >= 0 && channel < ChannelCount()) return true;
    char text[160];
    std::snprintf(text, sizeof text,
                  Tr("チャンネル番号%dは無効です、%d～%dの範囲で指定してください"), channel, 0,
                  ChannelCount() - 1);
    log_.Report(text);
    return false;
}

std::unique_ptr<Sample> Mixer::LoadSample(const std::string& path) {
    return InstallSample(DecodeSample(path));
}

Mixer::DecodedSample Mixer::DecodeSample(const std::string& path) const {
    DecodedSample decoded;
    decoded.path = path;
    if (audible_) decoded.pcm = ReadWave(path, decoded.format, decoded.problem);
    return decoded;
}

std::unique_ptr<Sample> Mixer::InstallSample(DecodedSample decoded) {
    auto sample = std::make_unique<Sample>();
    if (!audible_) return sample;
    sample->Format = decoded.format;
    sample->pcm_ = std::move(decoded.pcm);
    if (!sample->pcm_)
        log_.Report(decoded.path + decoded.problem);
    else
        sample->DataLength = uint32_t(sample->pcm_->Frames() * 4);
    return sample;
}

ChannelState Mixer::ChannelStatus(int channel) {
    if (!ValidChannel(channel)) return ChannelStopped;
    std::lock_guard<SoundMutex> lock(channelsLock_);
    const Channel& c = channels_[size_t(channel)];
    return c.pcm && c.playing ? ChannelPlaying : ChannelStopped;
}

void Mixer::SetChannelSample(int channel, const Sample* sample) {
    if (!audible_ || !ValidChannel(channel)) return;
    std::lock_guard<SoundMutex> lock(channelsLock_);
    Channel& c = channels_[size_t(channel)];
    c = Channel{};
    if (sample) c.pcm = sample->pcm_; // shared audio, own position
}

void Mixer::PlayChannel(int channel, int64_t frame) {
    if (!ValidChannel(channel)) return;
    std::lock_guard<SoundMutex> lock(channelsLock_);
    Channel& c = channels_[size_t(channel)];
    if (!c.pcm) return;
    c.position = 0;
    c.playing = true;
    c.startAt = frame;
}

void Mixer::StopChannel(int channel) {
    if (!ValidChannel(channel)) return;
    std::lock_guard<SoundMutex> lock(channelsLock_);
    channels_[size_t(channel)].playing = false;
    channels_[size_t(channel)].startAt = -1;
}

void Mixer::StopAll() {
    std::lock_guard<SoundMutex> lock(channelsLock_);
    for (Channel& c : channels_)
        c.playing = false, c.startAt = -1;
}

bool Mixer::AnyChannelPlaying() {
    std::lock_guard<SoundMutex> lock(channelsLock_);
    for (const Channel& c : channels_)
        if (c.pcm && c.playing) return true;
    return false;
}

void Mixer::UseStandardMixing(bool standard) {
    std::lock_guard<SoundMutex> lock(channelsLock_);
    standardMixing_ = limiterOn_ = standard;
    channels_.assign(size_t(standard ? StandardChannelCount : DefaultChannelCount), Channel{});
    resetLimiter_ = true;
}

void Mixer::SetLimiter(bool on) {
    std::lock_guard<SoundMutex> lock(channelsLock_);
    limiterOn_ = on;
    resetLimiter_ = true;
}

void Mixer::SetKeysoundVolume(int percent) {
    std::lock_guard<SoundMutex> lock(channelsLock_);
    keysoundVolume_ = std::max(percent, 0);
}

void Mixer::SetMasterVolume(int percent) {
    masterVolume_ = std::clamp(percent, 0, 100);
}

void Mixer::StartVoice(const Sample* sample, int64_t frame, bool background, uint32_t startFrame,
                       uint32_t frames) {
    if (!audible_ || !sample || !sample->pcm_ || startFrame >= sample->pcm_->Frames() ||
        frames == 0)
        return;
    std::lock_guard<SoundMutex> lock(channelsLock_);
    Channel* chosen = nullptr;
    for (Channel& c : channels_) {
        if (!c.pcm || !c.playing) {
            chosen = &c;
            break;
        }
        if (!c.background && (!chosen || c.started < chosen->started)) chosen = &c;
    }
    if (!chosen) {
        ++losses_.Dropped;
        return;
    }
    if (chosen->pcm && chosen->playing) ++losses_.Cut;
    *chosen = Channel{sample->pcm_,
                      startFrame,
                      true,
                      frame,
                      background,
                      ++starts_,
                      frames == UINT32_MAX ? SIZE_MAX : size_t(startFrame) + frames};
}

VoiceLosses Mixer::Losses() {
    std::lock_guard<SoundMutex> lock(channelsLock_);
    return losses_;
}

void Mixer::ReportLostVoices() {
    VoiceLosses lost;
    {
        std::lock_guard<SoundMutex> lock(channelsLock_);
        lost = std::exchange(losses_, VoiceLosses{});
    }
    if (feed_) feed_->ReportGaps(log_);
    if (lost.Cut == 0 && lost.Dropped == 0) return;
    char text[200];
    std::snprintf(text, sizeof text,
                  Tr("チャンネルが足りず、%lld 個の音を途中で止め、%lld "
                     "個の音を鳴らせませんでした (%d チャンネル)"),
                  static_cast<long long>(lost.Cut), static_cast<long long>(lost.Dropped),
                  ChannelCount());
    log_.Report(text);
}

void Mixer::AddSource(MixSource* source) {
    std::lock_guard<SoundMutex> lock(sourcesLock_);
    sources_.push_back(source);
}

void Mixer::RemoveSource(MixSource* source) {
    std::lock_guard<SoundMutex> lock(sourcesLock_);
    sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void Mixer::SetPlaybackRate(int percent, bool keepPitch) {
    percent = std::clamp(percent, MinRatePercent, MaxRatePercent);
    ratePercent_ = percent;
    const std::lock_guard<SoundMutex> lock(rateLock_);
    if (rateStage_) {
        rateStage_->RequestRate(percent);
    } else if (percent != 100) {
        rateStage_ = std::make_unique<RateStage>(percent, keepPitch);
        rateStageInPath_ = rateStage_.get();
    }
}

int64_t Mixer::SongFrameOfOutput(int64_t outputFrame) const {
    const std::lock_guard<SoundMutex> lock(rateLock_);
    const int64_t song = outputFrame + (mixPosition_ - outputPosition_);
    if (!rateStage_) return song;
    // A stage about to begin does so where the mix stands now.
    return rateStage_->Started()
               ? rateStage_->SongFrameAt(outputFrame)
               : rateStage_->SongFrameBeforeStart(outputFrame, outputPosition_, mixPosition_);
}

int64_t Mixer::OutputFrameOfSong(int64_t songFrame) const {
    const std::lock_guard<SoundMutex> lock(rateLock_);
    if (rateStage_ && rateStage_->Started()) return rateStage_->OutputFrameOf(songFrame);
    return songFrame - (mixPosition_ - outputPosition_);
}

int64_t Mixer::RateLagSongFrames() const {
    const std::lock_guard<SoundMutex> lock(rateLock_);
    return rateStage_ ? rateStage_->LagSongFrames() : 0;
}

void Mixer::Mix(int16_t* out, int frames) {
    if (frames <= 0) return;
    const int64_t outputFrame = outputPosition_;
    if (RateStage* stage = rateStageInPath_.load()) {
        stage->Pull(out, frames, outputFrame, mixPosition_,
                    [this](int16_t* song, int n) { MixSong(song, n); });
    } else {
        MixSong(out, frames);
    }
    outputPosition_ = outputFrame + frames;
}

// The channels and sources mixed at the song's own pace.
void Mixer::MixSong(int16_t* out, int frames) {
    if (frames <= 0) return;
    accumulator_.assign(size_t(frames) * 2, 0);
    int32_t* acc = accumulator_.data();
    const int64_t blockStart = mixPosition_;
    bool limit = false;
    {
        std::lock_guard<SoundMutex> lock(channelsLock_);
        limit = limiterOn_;
        // The limiter is the mixing thread's own; a change resets it here.
        if (std::exchange(resetLimiter_, false)) limiter_.Reset();
        for (Channel& c : channels_) {
            if (!c.playing || !c.pcm) continue;
            // A scheduled start inside this block begins at its own frame.
            size_t offset = 0;
            if (c.startAt > blockStart) {
                if (c.startAt >= blockStart + frames) continue;
                offset = size_t(c.startAt - blockStart);
            }
            c.startAt = -1;
            const size_t total = std::min(c.pcm->Frames(), c.end);
            const size_t n =
                std::min<size_t>(size_t(frames) - offset, total - std::min(total, c.position));
            const int16_t* src = c.pcm->Data() + c.position * 2;
            int32_t* dst = acc + offset * 2;
            for (size_t i = 0; i < n * 2; ++i)
                dst[i] += src[i];
            c.position += n;
            if (c.position >= total) c.playing = false;
        }
        if (keysoundVolume_ != 100)
            for (size_t i = 0; i < size_t(frames) * 2; ++i)
                acc[i] = int32_t(int64_t(acc[i]) * keysoundVolume_ / 100);
    }
    {
        std::lock_guard<SoundMutex> lock(sourcesLock_);
        for (MixSource* source : sources_)
            source->MixInto(acc, frames, blockStart);
    }
    if (const int64_t v = masterVolume_; v != 100)
        for (size_t i = 0; i < size_t(frames) * 2; ++i)
            acc[i] = int32_t(acc[i] * v * v / 10000);
    if (limit)
        limiter_.Process(acc, out, frames);
    else
        for (size_t i = 0; i < size_t(frames) * 2; ++i)
            out[i] = int16_t(std::clamp<int32_t>(acc[i], -32768, 32767));
    mixPosition_ = blockStart + frames;
}

} // namespace tappo
