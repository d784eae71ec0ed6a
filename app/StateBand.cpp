#include "app/StateBand.h"

#include "app/Settings.h"
#include "app/VolumeBand.h"

#include <algorithm>
#include <cstdio>

namespace tappo {

void StateBand::Show(std::string text, uint32_t nowMs) {
    text_ = std::move(text);
    shown_ = true;
    since_ = nowMs;
}

bool StateBand::Shown(uint32_t nowMs) const {
    return shown_ && nowMs - since_ < VolumeBandMs;
}

void StateBand::Draw(Display& video, uint32_t nowMs) const {
    if (!Shown(nowMs) || !video.CanDraw()) return;
    Surface& back = video.Back();
    const int w = video.Mode.Width, h = video.Mode.Height;
    SurfaceCanvas& canvas = back.Canvas();
    const int height = UseBandText(canvas, h);
    const int top = h - 2 * (height + 4);
    for (int y = std::max(0, top); y < std::min(h, top + height); ++y)
        for (int x = 0; x < w; ++x)
            back.SetPixel(x, y, 0x0841);
    canvas.WriteText(8, top + 2, text_);
}

std::string ScrollSpeedText(double factor) {
    char number[16];
    std::snprintf(number, sizeof number, "%.2f", factor);
    return std::string("SCROLL ") + number + "x";
}

std::string RateText(int percent) {
    return "RATE " + RateNumber(percent) + "x";
}

} // namespace tappo
