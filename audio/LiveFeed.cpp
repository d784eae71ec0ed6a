#include "audio/LiveFeed.h"

#include "base/Translate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <utility>

namespace tappo {

namespace {

// The mixing thread asks to run before ordinary work: the real-time class
// where the system grants it, else a higher priority; without either it runs
// as it is (the lead in the queue is then all it has).
void RaiseMixThreadPriority() {
    sched_param param{};
    param.sched_priority = std::min(sched_get_priority_max(SCHED_FIFO), 10);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
    setpriority(PRIO_PROCESS, 0, -10); // this thread only, on Linux
}

// The mixing thread's steps: small, so a keysound started "at once" waits little.
constexpr int MixStepFrames = 256;

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// The queue holds a device buffer and a half (at least 256 frames more):
// the device takes a whole buffer at once, and the mixing thread has the
// rest of the lead to wake up and refill it.
LiveFeed::LiveFeed(Mixer& mixer, int bufferFrames)
    : mixer_(mixer), bufferFrames_(bufferFrames),
      leadFrames_(bufferFrames + std::max(bufferFrames / 2, 256)),
      queue_(std::make_unique<AudioRing>(leadFrames_ * 2 + MixStepFrames)),
      mixBlock_(size_t(MixStepFrames) * 2, 0) {
    mixer_.feed_ = this;
    mixThread_ = std::thread([this] { RunMixThread(); });
    // The device starts with a full queue.
    for (int i = 0; i < 500 && queue_->Fill() < leadFrames_; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LiveFeed::~LiveFeed() {
    stopMixing_ = true;
    mixThread_.join();
    mixer_.feed_ = nullptr;
}

void LiveFeed::RunMixThread() {
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

bool LiveFeed::MixStep(int fill) {
    // The device went past what was mixed and played silence there: those
    // frames are mixed and dropped, so every sound after the gap is still
    // heard at its own frame.
    if (const int64_t behind = queue_->Behind(); behind > 0) {
        for (int64_t left = behind; left > 0;) {
            const int n = int(std::min<int64_t>(left, MixStepFrames));
            mixer_.Mix(mixBlock_.data(), n);
            left -= n;
        }
        queue_->Skip(behind);
        return true;
    }
    const int wanted = std::min(fill - queue_->Fill(), queue_->Space());
    if (wanted <= 0) return false;
    const int n = std::min(wanted, MixStepFrames);
    mixer_.Mix(mixBlock_.data(), n);
    queue_->Write(mixBlock_.data(), n);
    return true;
}

void LiveFeed::Take(int16_t* out, int frames) {
    if (frames <= 0) return;
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

int64_t LiveFeed::SoundClockFrame() const {
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

void LiveFeed::ReportGaps(ProblemLog& log) {
    const int64_t underruns = queue_->Underruns(), missing = queue_->MissingFrames();
    const int64_t gaps = underruns - std::exchange(underrunsReported_, underruns);
    const int64_t gapFrames = missing - std::exchange(underrunFramesReported_, missing);
    if (gaps <= 0) return;
    char text[200];
    std::snprintf(text, sizeof text,
                  Tr("サウンドデバイスに音が間に合わず、%lld 回 (合計 %.1f ms) "
                     "無音になりました (バッファ %d フレーム)"),
                  static_cast<long long>(gaps), double(gapFrames) * 1000 / MixRate, bufferFrames_);
    log.Report(text);
}

} // namespace tappo
