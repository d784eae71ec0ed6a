#include "audio/SongClock.h"

#include <algorithm>
#include <cmath>

namespace tappo {

void SongClock::Start(double songTime, double now) {
    songTime_ = songTime;
    last_ = now;
}

double SongClock::Advance(double now, double soundTime) {
    const double elapsed = std::max(now - last_, 0.0);
    last_ = now;
    const double behind = soundTime - (songTime_ + elapsed);
    if (std::abs(behind) > ResyncMs) return songTime_ = soundTime;
    const double change = std::clamp(behind * RateChangePerMs, -MaxRateChange, MaxRateChange);
    return songTime_ += elapsed * (1 + change);
}

} // namespace tappo
