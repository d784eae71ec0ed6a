#include "audio/Limiter.h"

#include "formats/Wave.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tappo {
namespace {

int16_t SoftClip(double v) {
    const double a = std::abs(v);
    if (a <= Limiter::Knee) return int16_t(std::lround(v));
    const double room = Limiter::Ceiling - Limiter::Knee;
    const double bent = Limiter::Knee + room * std::tanh((a - Limiter::Knee) / room);
    const long s = std::lround(std::min(bent, Limiter::Ceiling - 1));
    return int16_t(v < 0 ? -s : s);
}

} // namespace

Limiter::Limiter()
    : attack_(1 - std::exp(-1000.0 / (AttackMs * MixRate))),
      release_(std::pow(10.0, ReleaseDbPerSecond / 20 / MixRate)),
      holdFrames_(int(HoldMs * MixRate / 1000)) {}

void Limiter::Reset() {
    gain_ = 1;
    holdLeft_ = 0;
}

void Limiter::Process(const int32_t* mix, int16_t* out, int frames) {
    // The usual block: no gain reduction and nothing over the knee.
    if (gain_ == 1) {
        int32_t peak = 0;
        for (int i = 0; i < frames * 2; ++i)
            peak = std::max(peak, std::abs(mix[i]));
        if (peak <= Knee) {
            for (int i = 0; i < frames * 2; ++i)
                out[i] = int16_t(mix[i]);
            return;
        }
    }
    for (int i = 0; i < frames; ++i) {
        const int32_t l = mix[i * 2], r = mix[i * 2 + 1];
        const double peak = std::max(std::abs(double(l)), std::abs(double(r)));
        const double wanted = peak > TargetPeak ? TargetPeak / peak : 1;
        if (wanted < gain_) {
            gain_ += (wanted - gain_) * attack_;
            holdLeft_ = holdFrames_;
        } else if (holdLeft_ > 0) {
            --holdLeft_;
        } else if (gain_ < 1) {
            gain_ = std::min(1.0, gain_ * release_);
        }
        if (gain_ == 1 && peak <= Knee) {
            out[i * 2] = int16_t(l);
            out[i * 2 + 1] = int16_t(r);
        } else {
            out[i * 2] = SoftClip(l * gain_);
            out[i * 2 + 1] = SoftClip(r * gain_);
        }
    }
}

} // namespace tappo
