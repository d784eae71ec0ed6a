// The notice band: an error nobody saw in a box, drawn in a band over the
// middle of the picture until a key takes it away or NoticeMs pass. Also the
// centred line the player's own screens (loading, no charts) write.
#pragma once

#include "platform/Surface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

// How long an error drawn on the picture stays up, unless a key takes it away.
inline constexpr uint32_t NoticeMs = 4000;

class NoticeBand {
  public:
    // Puts `text` up at `nowMs`. A repeat of the text shown keeps it up;
    // another error is added under it.
    void Add(const std::string& text, uint32_t nowMs);
    // A key takes the band away.
    void Clear() { text_.clear(); }
    // Draws the band on `back` (width x height), once its time is not up.
    void Draw(Surface& back, int width, int height, uint32_t nowMs);
    // Takes the band away once its time is up, for a frame that draws nothing.
    void Expire(uint32_t nowMs);
    // The text the band shows now; empty when there is none.
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
    std::vector<std::string> lines_; // the text's lines as drawn
    uint32_t since_ = 0;             // tick it went up
};

// `text` in white across the middle of a screen of the given size, a little
// above its centre.
void WriteCentredText(Surface& back, int width, int height, const char* text);

} // namespace tappo
