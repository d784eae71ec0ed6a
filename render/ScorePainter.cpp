#include "render/ScorePainter.h"

#include <algorithm>

namespace tappo {
namespace {

// The colours the asset maker gives the key sprites' notes and the arrows.
constexpr uint32_t WhiteKey = Rgb(236, 238, 246), BlueKey = Rgb(70, 150, 255),
                   ScratchKey = Rgb(255, 60, 70), YellowButton = Rgb(255, 214, 60),
                   GreenButton = Rgb(80, 220, 110), RedButton = Rgb(255, 110, 150);
constexpr uint32_t ArrowColours[4] = {Rgb(240, 70, 170), Rgb(70, 160, 255), Rgb(90, 225, 110),
                                      Rgb(255, 160, 50)};
constexpr int KeyWidth = 10, ScratchWidth = 16, ButtonWidth = 12, ArrowWidth = 12;

} // namespace

std::vector<ScoreLane> ScoreLanePlaces(const ChartScore& score, int sideGap) {
    std::vector<ScoreLane> out;
    int x = 0;
    auto lane = [&](int width, uint32_t colour, bool light) {
        out.push_back({x, width, colour, light});
        x += width;
    };
    if (score.ArrowLanes) {
        for (int player = 0; player < score.Players; ++player, x += sideGap)
            for (uint32_t colour : ArrowColours)
                lane(ArrowWidth, colour, false);
        return out;
    }
    auto keys = [&](int count) {
        for (int k = 0; k < count; ++k)
            lane(KeyWidth, k % 2 ? BlueKey : WhiteKey, k % 2 == 0);
    };
    switch (score.Layout) {
    case KeyLayout::Keys5:
    case KeyLayout::Keys7:
        lane(ScratchWidth, ScratchKey, false);
        keys(score.Layout == KeyLayout::Keys5 ? 5 : 7);
        break;
    case KeyLayout::Keys10:
    case KeyLayout::Keys14: {
        const int count = score.Layout == KeyLayout::Keys10 ? 5 : 7;
        lane(ScratchWidth, ScratchKey, false);
        keys(count);
        x += sideGap;
        keys(count);
        lane(ScratchWidth, ScratchKey, false);
        break;
    }
    case KeyLayout::Buttons9: {
        static constexpr uint32_t Buttons[9] = {WhiteKey,    YellowButton, GreenButton,
                                                BlueKey,     RedButton,    BlueKey,
                                                GreenButton, YellowButton, WhiteKey};
        for (uint32_t colour : Buttons)
            lane(ButtonWidth, colour, colour == WhiteKey);
        break;
    }
    }
    return out;
}

uint8_t ScorePainter::IndexOf(uint32_t colour) {
    std::vector<uint32_t>& palette = picture_.Palette;
    const auto at = std::find(palette.begin(), palette.end(), colour);
    if (at != palette.end()) return uint8_t(at - palette.begin());
    if (palette.size() == 256) return 0; // never: the chart image has fewer colours
    palette.push_back(colour);
    return uint8_t(palette.size() - 1);
}

void ScorePainter::Fill(int x, int y, int width, int height, uint32_t colour) {
    const int left = std::max(x, 0), right = std::min(x + width, picture_.Width);
    const int top = std::max(y, 0), bottom = std::min(y + height, picture_.Height);
    const uint8_t index = IndexOf(colour);
    for (int row = top; row < bottom; ++row) {
        uint8_t* line = &picture_.Index[size_t(row) * size_t(picture_.Width)];
        std::fill(line + left, line + std::max(left, right), index);
    }
}

int ScorePainter::Text(int x, int y, int points, const std::string& utf8, uint32_t colour) {
    if (!letters_ || utf8.empty()) return 0;
    const InkedText ink = letters_(points, utf8);
    if (!ink.Bits) return 0;
    const int left = std::max(x, 0), right = std::min(x + ink.Width, picture_.Width);
    const int top = std::max(y, 0), bottom = std::min(y + ink.Height, picture_.Height);
    const uint8_t index = IndexOf(colour);
    for (int row = top; row < bottom; ++row)
        for (int col = left; col < right; ++col)
            if (ink.Bits[size_t(row - y) * size_t(ink.Width) + size_t(col - x)])
                picture_.Index[size_t(row) * size_t(picture_.Width) + size_t(col)] = index;
    return ink.Width;
}

int ScorePainter::TextWidth(int points, const std::string& utf8) {
    if (!letters_ || utf8.empty()) return 0;
    return letters_(points, utf8).Width;
}

} // namespace tappo
