// The master limiter of the standard reading's mix: keeps a sum of many
// keysounds that goes over full scale from being clipped, and leaves a quiet
// mix exactly as it is.
//
// Two stages, both without delay, so every sound stays on its own sample:
//  - a gain that follows the peaks: when a stereo frame would go over
//    TargetPeak the gain drops toward what keeps it there (1 ms), holds for
//    HoldMs, then comes back to 1 at ReleaseDbPerSecond;
//  - a smooth soft clip for what passes the gain: samples up to Knee pass
//    unchanged, louder ones bend (tanh) toward Ceiling, which they never reach.
// While the gain is 1 every sample up to Knee (-6 dBFS) comes out as it went
// in, bit for bit; no output sample reaches full scale. The stages use only
// their own state and the samples, so a render is the same every time.
#pragma once

#include <cstdint>

namespace tappo {

class Limiter {
  public:
    static constexpr int32_t Knee = 16384;      // -6 dBFS
    static constexpr double Ceiling = 32112;    // -0.18 dBFS, never reached
    static constexpr double TargetPeak = 26000; // -2 dBFS: where the gain holds peaks
    static constexpr double AttackMs = 1;
    static constexpr double HoldMs = 20;
    static constexpr double ReleaseDbPerSecond = 40;

    Limiter();
    // `frames` stereo frames of the sum in `mix` to 16-bit samples in `out`.
    void Process(const int32_t* mix, int16_t* out, int frames);
    // 1 when no gain reduction is in progress.
    double Gain() const { return gain_; }
    void Reset();

  private:
    double gain_ = 1;
    int holdLeft_ = 0;
    double attack_, release_;
    int holdFrames_;
};

} // namespace tappo
