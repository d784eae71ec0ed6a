#include "app/NoticeBand.h"

#include <algorithm>

namespace tappo {
namespace {

// `text` in lines no wider than `width`: broken at its line ends, then at the
// last space that fits, or between two characters where no space does.
std::vector<std::string> WrapText(SurfaceCanvas& canvas, const std::string& text, int width) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string rest = text.substr(start, end - start);
        while (canvas.TextWidth(rest) > width) {
            // The longest run of whole characters that fits, found by halving.
            size_t lo = 1, hi = rest.size();
            while (lo < hi) {
                const size_t mid = (lo + hi + 1) / 2;
                if (canvas.TextWidth(rest.substr(0, mid)) <= width)
                    lo = mid;
                else
                    hi = mid - 1;
            }
            while (lo > 1 && (uint8_t(rest[lo]) & 0xC0) == 0x80)
                --lo;
            while (lo < rest.size() && (uint8_t(rest[lo]) & 0xC0) == 0x80)
                ++lo; // a first character wider than the line goes whole
            const size_t space = rest.rfind(' ', lo);
            const size_t cut = space != std::string::npos && space > lo / 2 ? space : lo;
            lines.push_back(rest.substr(0, cut));
            rest.erase(0, cut + (cut == space ? 1 : 0));
        }
        lines.push_back(rest);
        start = end + 1;
    }
    return lines;
}

} // namespace

void NoticeBand::Add(const std::string& text, uint32_t nowMs) {
    if (text_.empty())
        text_ = text;
    else if (text_.size() < text.size() ||
             text_.compare(text_.size() - text.size(), text.size(), text) != 0)
        text_ += "\n" + text;
    lines_.clear();
    since_ = nowMs;
}

void NoticeBand::Expire(uint32_t nowMs) {
    if (!text_.empty() && nowMs - since_ >= NoticeMs) text_.clear();
}

// Dark red across the middle of the picture, the text in white.
void NoticeBand::Draw(Surface& back, int width, int height, uint32_t nowMs) {
    Expire(nowMs);
    if (text_.empty()) return;
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Size = height / 40 + 4;
    canvas.Font.Color = 0xFFFFFF;
    canvas.TextBackground = std::nullopt;
    if (lines_.empty()) lines_ = WrapText(canvas, text_, width - 8);
    const int lineHeight = canvas.Font.Size * 4 / 3 + 2;
    const int shown = std::min(int(lines_.size()), (height - 8) / lineHeight);
    const int top = (height - shown * lineHeight) / 2 - 4;
    const int bottom = top + shown * lineHeight + 8;
    for (int y = std::max(0, top); y < std::min(height, bottom); ++y)
        for (int x = 0; x < width; ++x)
            back.SetPixel(x, y, y == top || y == bottom - 1 ? 0xF800 : 0x4000);
    for (int i = 0; i < shown; ++i)
        canvas.WriteText(4, top + 4 + i * lineHeight, lines_[size_t(i)]);
}

void WriteCentredText(Surface& back, int width, int height, const char* text) {
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Size = width / 32;
    canvas.Font.Color = 0xFFFFFF;
    canvas.TextBackground = std::nullopt;
    canvas.WriteText((width - canvas.TextWidth(text)) / 2, height / 2 - 40, text);
}

} // namespace tappo
