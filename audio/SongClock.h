// The live song clock. The picture moves with the system clock, frame by
// frame, which keeps the arrows smooth; the sound moves with the sound
// device's own sample clock, which runs a little fast or slow against it and
// stops when the device stalls. Every frame the song clock is steered toward
// the song time the sound clock gives, by running the picture at most
// MaxRateChange faster or slower: the arrows never jump, and the two clocks
// stay within a few milliseconds over any song. Only a difference no steering
// should take seconds to close (ResyncMs) sets the song clock at once.
#pragma once

namespace tappo {

class SongClock {
  public:
    static constexpr double MaxRateChange = 0.005;    // 0.5 %: 5 ms a second at most
    static constexpr double RateChangePerMs = 0.0005; // 10 ms behind: 0.5 % faster
    static constexpr double ResyncMs = 250;

    // Song time `songTime` at system time `now` (both in ms).
    void Start(double songTime, double now);
    // The song time at `now`, steered toward `soundTime`, the song time the
    // sound clock gives at `now`.
    double Advance(double now, double soundTime);
    double SongTime() const { return songTime_; }

  private:
    double songTime_ = 0;
    double last_ = 0;
};

} // namespace tappo
