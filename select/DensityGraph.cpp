#include "select/DensityGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tappo {
namespace {

// 0x00BBGGRR as the surface's 5-6-5 pixel.
uint16_t PixelOf(uint32_t colour) {
    const uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

std::string TempoText(double bpm) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", std::round(bpm * 100) / 100);
    return text;
}

} // namespace

std::string GraphText(const ChartGraph& graph) {
    std::string text;
    if (graph.LengthMs > 0) {
        const int64_t seconds = (graph.LengthMs + 500) / 1000;
        char length[32];
        std::snprintf(length, sizeof length, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
        text = length;
    }
    if (graph.BpmMax > 0) {
        if (!text.empty()) text += ' ';
        text += TempoText(graph.BpmMin);
        if (TempoText(graph.BpmMax) != TempoText(graph.BpmMin))
            text += "-" + TempoText(graph.BpmMax);
    }
    return text;
}

void DrawDensityGraph(Surface& back, const ChartGraph& graph, const Rect& area, uint32_t colour) {
    const int width = area.Width(), height = area.Height();
    if (graph.Density.empty() || width <= 0 || height <= 1) return;
    const auto span = [&](int x) { return size_t(x) * graph.Density.size() / size_t(width); };
    const int peak = *std::max_element(graph.Density.begin(), graph.Density.end());
    const uint16_t bar = PixelOf(colour), base = PixelOf(0xFFFFFF);
    for (int x = 0; x < width; ++x) {
        const int px = area.Left + x;
        if (px < 0 || px >= back.Width()) continue;
        // A column stands for the densest of the spans it covers.
        int value = 0;
        for (size_t s = span(x); s < std::max(span(x + 1), span(x) + 1); ++s)
            value = std::max(value, int(graph.Density[s]));
        const int bars = peak > 0 ? (value * (height - 1) + peak - 1) / peak : 0;
        for (int y = 0; y < height; ++y) {
            const int py = area.Bottom - 1 - y;
            if (py < 0 || py >= back.Height()) continue;
            if (y == 0)
                back.SetPixel(px, py, base);
            else if (y <= bars)
                back.SetPixel(px, py, bar);
        }
    }
}

} // namespace tappo
