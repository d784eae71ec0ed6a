#include "platform/Timer.h"

#include <algorithm>

namespace tappo {

int RoundFrameRate(long long frames, long long elapsed) {
    const long long num = frames * 1000;
    long long q = num / elapsed, r = num % elapsed;
    if (2 * r > elapsed || (2 * r == elapsed && (q & 1))) ++q;
    return int(q);
}

void FrameTimer::Restart() {
    lastTick_ = lastRateUpdate_ = clock_.NowMs();
    frames_ = 0;
    running_ = true;
}

void FrameTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    running_ = false;
    if (enabled && inFront_) Restart();
}

void FrameTimer::SetInFront(bool inFront) {
    if (inFront == inFront_) return;
    inFront_ = inFront;
    if (!enabled_) return;
    if (inFront)
        Restart();
    else
        running_ = false;
}

bool FrameTimer::FrameDue() {
    if (!running_) return false;
    const uint32_t now = clock_.NowMs();
    const int32_t sinceTick = int32_t(now - lastTick_);
    // A clock set back runs no frame until it passes the last frame's tick.
    if (sinceTick < 0) return false;
    lastTick_ = now;
    ++frames_;
    const int32_t elapsed = std::max<int32_t>(int32_t(now - lastRateUpdate_), 1);
    if (elapsed >= 1000) {
        frameRate_ = RoundFrameRate(frames_, elapsed);
        frames_ = 0;
        lastRateUpdate_ = now;
    }
    return true;
}

} // namespace tappo
