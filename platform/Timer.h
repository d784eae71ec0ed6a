// Time for the game: the tick count behind every song clock, and the frame
// timer that runs one frame per pass of the idle loop and counts frames per second.
#pragma once

#include <cstdint>

namespace tappo {

class TickSource {
  public:
    virtual ~TickSource() = default;
    // Milliseconds since some start, wrapping like a 32-bit tick count.
    virtual uint32_t NowMs() = 0;
};

// A clock that moves only when told: headless runs, tests and offline
// rendering advance it by a fixed step per frame, so every run is the same.
class VirtualClock : public TickSource {
  public:
    explicit VirtualClock(uint32_t start = 1000) : now_(start) {}
    uint32_t NowMs() override { return now_; }
    void Advance(uint32_t ms) { now_ += ms; }
    void Set(uint32_t ms) { now_ = ms; }

  private:
    uint32_t now_;
};

class FrameTimer {
  public:
    explicit FrameTimer(TickSource& clock) : clock_(clock) {}

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // The program's window came to the front or went to the background: no
    // frames run in the background.
    void SetInFront(bool inFront);
    bool Running() const { return running_; }
    int FrameRate() const { return frameRate_; }
    // One pass of the idle loop: counts a frame and returns true when one is
    // due (at every pass while the timer runs and the clock has not gone
    // back); the caller then runs it.
    [[nodiscard]] bool FrameDue();

  private:
    void Restart(); // counting starts again from now

    TickSource& clock_;
    bool enabled_ = false, running_ = false, inFront_ = true;
    uint32_t lastTick_ = 0, lastRateUpdate_ = 0;
    int frames_ = 0, frameRate_ = 0;
};

// frames * 1000 / elapsedMs to the nearest integer, halves to even.
int RoundFrameRate(long long frames, long long elapsedMs);

} // namespace tappo
