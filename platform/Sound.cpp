#include "platform/Sound.h"

#include "base/Report.h"
#include "base/Translate.h"

#include <SDL.h>
#include <algorithm>
#include <alsa/asoundlib.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tappo {

// ---- problem log ----

void ProblemLog::Report(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    // The previous run's log is kept as ".1" (a regular file only, as below).
    if (struct stat old{}; count_ == 1 && lstat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        std::rename(path_.c_str(), (path_ + ".1").c_str());
    char number[32];
    std::snprintf(number, sizeof number, "debug#%.5d ... ", count_);
    const std::string line = number + text + '\n';
    // The log is only ever a regular file of its own: a link in its place is
    // not followed (its target would be emptied) and a FIFO is not waited on
    // (start-up would hang until something reads it).
    const int fd = open(path_.c_str(),
                        O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    std::string refusal;
    struct stat st {};
    if (fd < 0)
        refusal = errno == ELOOP   ? "it is a symbolic link"
                  : errno == ENXIO ? "it is not a regular file"
                                   : std::strerror(errno);
    else if (fstat(fd, &st) != 0)
        refusal = std::strerror(errno); // NOLINT(bugprone-branch-clone): as ftruncate's below
    else if (!S_ISREG(st.st_mode))
        refusal = "it is not a regular file";
    else if (count_ == 1 && ftruncate(fd, 0) != 0)
        refusal = std::strerror(errno);
    for (size_t done = 0; refusal.empty() && done < line.size();) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n == 0 || errno != EINTR)
            refusal = n == 0 ? "nothing could be written" : std::strerror(errno);
    }
    if (fd >= 0) close(fd);
    if (!refusal.empty() && !refused_) {
        refused_ = true;
        ReportOnConsole("the sound problem log " + path_ + " is not written: " + refusal);
    }
}

void ProblemLog::ReportFailedCall(const std::string& text, long code) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "(Error Code(%lX))", static_cast<unsigned long>(code));
    Report(text + suffix);
}

// ---- channels and mixing ----

namespace {
void RaiseDeviceThreadPriority();

void AudioCallback(void* user, Uint8* stream, int length) {
    static thread_local bool raised = false;
    if (!std::exchange(raised, true)) RaiseDeviceThreadPriority();
    static_cast<Mixer*>(user)->PullQueue(reinterpret_cast<int16_t*>(stream), length / 4);
}

// The mixing thread asks to run before ordinary work: the real-time class
// where the system grants it, else a higher priority; without either it runs
// as it is (the lead in the queue is then all it has).
void RaiseMixThreadPriority() {
    sched_param param{};
    param.sched_priority = std::min(sched_get_priority_max(SCHED_FIFO), 10);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
    setpriority(PRIO_PROCESS, 0, -10); // this thread only, on Linux
}

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

// The mixing thread's steps: small, so a keysound started "at once" waits little.
constexpr int MixStepFrames = 256;

// ALSA prints its own complaints to stderr while SDL probes for a device; a
// machine without a sound card is no error for the player.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
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

Mixer::Mixer(MixerOutput output, std::string logPath, int bufferFrames, int channelCount)
    : output_(output), log_(std::move(logPath)), channels_(size_t(channelCount)),
      bufferFrames_(std::clamp(bufferFrames, 64, 8192)) {
    if (output_ == MixerOutput::Pull) initialized_ = true;
    if (output_ == MixerOutput::Queue) {
        initialized_ = true;
        StartMixThread();
    }
    if (output_ == MixerOutput::Device) OpenDevice();
}

Mixer::~Mixer() {
    if (device_) {
        SDL_CloseAudioDevice(device_); // waits for the callback to return
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    StopMixThread();
}

// The queue holds a device buffer and a half (at least 256 frames more):
// the device takes a whole buffer at once, and the mixing thread has the
// rest of the lead to wake up and refill it.
void Mixer::StartMixThread() {
    leadFrames_ = bufferFrames_ + std::max(bufferFrames_ / 2, 256);
    queue_ = std::make_unique<AudioRing>(leadFrames_ * 2 + MixStepFrames);
    mixBlock_.assign(size_t(MixStepFrames) * 2, 0);
    stopMixing_ = false;
    mixThread_ = std::thread([this] { RunMixThread(); });
    // The device starts with a full queue.
    for (int i = 0; i < 500 && queue_->Fill() < leadFrames_; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Mixer::StopMixThread() {
    if (!mixThread_.joinable()) return;
    stopMixing_ = true;
    mixThread_.join();
}

void Mixer::RunMixThread() {
    RaiseMixThreadPriority();
    while (!stopMixing_.load(std::memory_order_relaxed)) {
        bool mixed = false;
        if (!holdMixing_.load(std::memory_order_relaxed)) {
            const std::lock_guard<SoundMutex> lock(mixing_);
            mixed = MixStep(leadFrames_);
        }
        if (!mixed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool Mixer::MixStep(int fill) {
    // The device went past what was mixed and played silence there: those
    // frames are mixed and dropped, so every sound after the gap is still
    // heard at its own frame.
    if (const int64_t behind = queue_->Behind(); behind > 0) {
        for (int64_t left = behind; left > 0;) {
            const int n = int(std::min<int64_t>(left, MixStepFrames));
            Mix(mixBlock_.data(), n);
            left -= n;
        }
        queue_->Skip(behind);
        return true;
    }
    const int wanted = std::min(fill - queue_->Fill(), queue_->Space());
    if (wanted <= 0) return false;
    const int n = std::min(wanted, MixStepFrames);
    Mix(mixBlock_.data(), n);
    queue_->Write(mixBlock_.data(), n);
    return true;
}

namespace {
int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

void Mixer::PullQueue(int16_t* out, int frames) {
    if (!queue_ || frames <= 0) return;
    // A device that takes twice in quick succession (PulseAudio's output
    // refilling the server's buffer after a late wake-up) may find the queue
    // a step short. The mixing thread then gets a quarter of a device buffer
    // to catch up: the device still holds sound for that long, and frames
    // that come late cost nothing, while frames missing are a gap heard.
    const int wanted = std::min(frames, leadFrames_);
    if (queue_->Fill() < wanted) {
        const int64_t until = SteadyNs() + int64_t(bufferFrames_) * 250000000 / MixRate;
        while (queue_->Fill() < wanted && SteadyNs() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    // Still short: the mixing thread is not running (a busy or stalled
    // processor). Unless it is in the middle of a step, this thread mixes the
    // rest, which costs less than the silence.
    if (queue_->Fill() < wanted && mixing_.try_lock()) {
        while (queue_->Fill() < wanted && MixStep(wanted)) {
        }
        mixing_.unlock();
        deviceMixes_.fetch_add(1, std::memory_order_relaxed);
    }
    queue_->Read(out, frames);
    const uint32_t sequence = takeSequence_.load(std::memory_order_relaxed);
    takeSequence_.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    takeFrame_.store(queue_->ReadPosition(), std::memory_order_relaxed);
    takeNs_.store(SteadyNs(), std::memory_order_relaxed);
    takeSequence_.store(sequence + 2, std::memory_order_release);
}

int64_t Mixer::SoundClockFrame() const {
    if (!queue_) return MixPosition();
    int64_t frame = 0, ns = 0;
    for (;;) {
        const uint32_t before = takeSequence_.load(std::memory_order_acquire);
        frame = takeFrame_.load(std::memory_order_relaxed);
        ns = takeNs_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before == takeSequence_.load(std::memory_order_relaxed) && !(before & 1)) break;
    }
    if (ns == 0) return frame; // nothing taken yet
    const int64_t since = std::max<int64_t>(SteadyNs() - ns, 0) * MixRate / 1000000000;
    return frame + std::min<int64_t>(since, bufferFrames_);
}

void Mixer::OpenDevice() {
    SDL_AudioSpec want{}, have{};
    want.freq = MixRate;
    want.format = AUDIO_S16SYS;
    want.channels = MixChannels;
    want.samples = Uint16(bufferFrames_);
    want.callback = AudioCallback;
    want.userdata = this;
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
        output_ = MixerOutput::None; // silent, as without any device
        return;
    }
    initialized_ = true;
    // The device may have settled on another buffer; the lead follows it.
    if (have.samples > 0) bufferFrames_ = have.samples;
    StartMixThread();
    SDL_PauseAudioDevice(device_, 0);
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
    if (initialized_) decoded.pcm = ReadWave(path, decoded.format, decoded.problem);
    return decoded;
}

std::unique_ptr<Sample> Mixer::InstallSample(DecodedSample decoded) {
    auto sample = std::make_unique<Sample>();
    if (!initialized_) return sample;
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
    if (!initialized_ || !ValidChannel(channel)) return;
    std::lock_guard<SoundMutex> lock(channelsLock_);
    Channel& c = channels_[size_t(channel)];
    c = Channel{};
    if (sample) c.pcm = sample->pcm_; // shared audio, own position
}

void Mixer::PlayChannel(int channel) {
    PlayChannelAt(channel, -1);
}

void Mixer::PlayChannelAt(int channel, int64_t frame) {
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
    if (!initialized_ || !sample || !sample->pcm_ || startFrame >= sample->pcm_->Frames() ||
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
    const int64_t gaps = Underruns() - std::exchange(underrunsReported_, Underruns());
    const int64_t gapFrames =
        UnderrunFrames() - std::exchange(underrunFramesReported_, UnderrunFrames());
    if (gaps > 0) {
        char text[200];
        std::snprintf(text, sizeof text,
                      Tr("サウンドデバイスに音が間に合わず、%lld 回 (合計 %.1f ms) "
                         "無音になりました (バッファ %d フレーム)"),
                      static_cast<long long>(gaps), double(gapFrames) * 1000 / MixRate,
                      bufferFrames_);
        log_.Report(text);
    }
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

void Mixer::Mix(int16_t* out, int frames) {
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
