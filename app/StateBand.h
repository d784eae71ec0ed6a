// A short text over the picture for a moment after a play setting changed
// (the scroll speed), a line above where the volume band shows.
#pragma once

#include "platform/Display.h"

#include <cstdint>
#include <string>

namespace tappo {

class StateBand {
  public:
    // Shows `text` from `nowMs` on, for as long as the volume band stays up.
    void Show(std::string text, uint32_t nowMs);
    bool Shown(uint32_t nowMs) const;
    const std::string& Text() const { return text_; }
    void Draw(Display& video, uint32_t nowMs) const;

  private:
    std::string text_;
    bool shown_ = false;
    uint32_t since_ = 0;
};

// The scroll speed's text, e.g. "SCROLL 1.75x".
std::string ScrollSpeedText(double factor);
// The playback rate's text, e.g. "RATE 0.75x".
std::string RateText(int percent);

} // namespace tappo
