// What the chart image draws with: filled rectangles and the player's text on
// a picture in memory, every draw clipped to the picture; and the lanes of a
// score with their widths and the colours of the play screen's notes.
#pragma once

#include "chart/Score.h"
#include "formats/Png.h"
#include "render/ChartImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

inline constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r << 16 | g << 8 | b;
}

// One lane of a column: its x from the lane block's left edge, its width, the
// colour of its notes and whether it is the lighter kind of lane (white keys).
struct ScoreLane {
    int X = 0, Width = 0;
    uint32_t Colour = 0;
    bool Light = false;
};

// The lanes of `score` from left to right, its two sides `sideGap` apart: a
// key layout's scratch and keys (scratch outside each side, keys white and
// blue in turn, the nine buttons in their colours), or four arrow lanes per
// player in the arrows' colours.
std::vector<ScoreLane> ScoreLanePlaces(const ChartScore& score, int sideGap);

// Draws on a paletted picture: each colour takes a palette entry on its first
// use (the chart image uses a few dozen).
class ScorePainter {
  public:
    ScorePainter(IndexedImage& picture, const Lettering& letters)
        : picture_(picture), letters_(letters) {}

    void Fill(int x, int y, int width, int height, uint32_t colour);
    // `utf8` with its top left at (x, y); returns its width (0 without a font).
    int Text(int x, int y, int points, const std::string& utf8, uint32_t colour);
    // The width `utf8` takes.
    int TextWidth(int points, const std::string& utf8);

  private:
    uint8_t IndexOf(uint32_t colour);

    IndexedImage& picture_;
    const Lettering& letters_;
};

} // namespace tappo
