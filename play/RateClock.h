// The play screen's clock at the playback rate: it moves `percent` / 100
// milliseconds for each millisecond of the clock under it, so the song time
// read from it (start tick, pause, seek, the mix frames of a headless run)
// goes on at the rate. A change of rate goes on from the time it shows, so
// the song never jumps. At 100 % it shows the clock under it, tick for tick.
#pragma once

#include "platform/Timer.h"

#include <cstdint>

namespace tappo {

class RateClock : public TickSource {
  public:
    RateClock(TickSource& under, int percent) : under_(under), percent_(percent) {
        base_ = baseUnder_ = under_.NowMs();
    }
    uint32_t NowMs() override {
        const uint32_t since = under_.NowMs() - baseUnder_;
        return base_ + uint32_t(int64_t(since) * percent_ / 100);
    }
    void SetPercent(int percent) {
        base_ = NowMs();
        baseUnder_ = under_.NowMs();
        percent_ = percent;
    }
    int Percent() const { return percent_; }

  private:
    TickSource& under_;
    int percent_;
    uint32_t base_ = 0, baseUnder_ = 0;
};

} // namespace tappo
