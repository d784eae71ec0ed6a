// The whole chart drawn as a score: measures stacked bottom to top in columns
// from left to right, the lanes of the chart's key layout (or four arrow
// lanes per player) in the colours the play screen gives them, measure
// numbers, tempo changes and stops at their place, long notes as bars and
// mines marked, under a header with the title, artist, level, notes and
// tempo range. Pure drawing on pictures in memory: text comes from the
// caller's font through a Lettering.
#pragma once

#include "chart/Score.h"
#include "formats/Picture.h"
#include "formats/Png.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tappo {

struct ScoreImagePlan;

// A text as the player's font inks it: a byte per pixel, non-zero where inked.
struct InkedText {
    int Width = 0;
    int Height = 0;
    const uint8_t* Bits = nullptr;
};
// `utf8` at `points` in the player's face; an empty InkedText draws nothing.
using Lettering = std::function<InkedText(int points, const std::string& utf8)>;

// How a chart image is laid out and how large one picture may grow: past
// MaxWidth or MaxPixels the columns go on into further pictures.
struct ChartImageLimits {
    int MeasuresPerColumn = 16;
    // 16000: within the widest picture common image tools open by default.
    int MaxWidth = 16000;
    long long MaxPixels = 32LL * 1024 * 1024;
};
inline constexpr int MaxMeasuresPerColumn = 64;

// The pictures of a score, drawn one at a time, so memory stays within one
// picture of at most Limits.MaxPixels pixels whatever the chart holds.
class ChartImagePages {
  public:
    ChartImagePages(const ChartScore& score, const ChartImageLimits& limits, Lettering lettering);
    ~ChartImagePages();
    ChartImagePages(const ChartImagePages&) = delete;
    ChartImagePages& operator=(const ChartImagePages&) = delete;

    int PageCount() const;
    // The size of page `page`'s picture, known before it is drawn.
    PictureSize PageSize(int page) const;
    IndexedImage DrawPage(int page) const;

    // Where measure `m` lies on its page: its page, the x of its lane block's
    // left edge and the rows of its bottom and its top (the top's row is
    // where the next measure's bottom is). For tests and the note placement.
    struct MeasurePlace {
        int Page = 0;
        int LanesX = 0;
        double Bottom = 0, Top = 0;
    };
    MeasurePlace PlaceOfMeasure(int m) const;
    // The x and width of lane `lane` within a column's lane block.
    int LaneX(int lane) const;
    int LaneWidth(int lane) const;

  private:
    std::unique_ptr<ScoreImagePlan> plan_;
};

// Draws the score into `out` (a PNG file), or into out-1.png, out-2.png ...
// (the number before the extension) when it needs more than one picture;
// each file is written under a temporary name and renamed, and a failure
// removes those already written. Returns the files written; throws Error.
std::vector<std::string> WriteChartImages(const ChartScore& score, const std::string& out,
                                          const ChartImageLimits& limits,
                                          const Lettering& lettering);

} // namespace tappo
