#include "app/VolumeBand.h"
#include "base/Errors.h"

#include <algorithm>

namespace tappo {

int UseBandText(SurfaceCanvas& canvas, int screenHeight) {
    canvas.Font.Size = screenHeight / 40 + 4;
    canvas.Font.Color = 0xFFFFFF;
    canvas.TextBackground = std::nullopt;
    return canvas.Font.Size + 6;
}

void VolumeBand::Change(int steps, uint32_t nowMs) {
    mixer_.SetMasterVolume(std::clamp(Level() + steps * VolumeStep, 0, 100));
    shown_ = true;
    since_ = nowMs;
}

std::string VolumeBand::Text() const {
    return FormatText(Tr("VOLUME %s"), std::to_string(Level()));
}

void VolumeBand::Draw(Display& video, uint32_t nowMs) {
    if (!Shown(nowMs) || !video.CanDraw()) return;
    Surface& back = video.Back();
    const int w = video.Mode.Width, h = video.Mode.Height;
    SurfaceCanvas& canvas = back.Canvas();
    const int height = UseBandText(canvas, h);
    // A dark band a line high near the bottom, with a bar of the level in it.
    const int top = h - height - 4;
    const int barWidth = w / 4, barX = w - barWidth - 8;
    const int filled = (barWidth - 2) * Level() / 100;
    for (int y = std::max(0, top); y < std::min(h, top + height); ++y)
        for (int x = 0; x < w; ++x) {
            const bool bar =
                y >= top + 3 && y < top + height - 3 && x >= barX && x < barX + barWidth;
            const bool lit = bar && x > barX && x - barX - 1 < filled;
            back.SetPixel(x, y, lit ? 0xFFFF : bar ? 0x4208 : 0x0841);
        }
    canvas.WriteText(8, top + 2, Text());
}

} // namespace tappo
