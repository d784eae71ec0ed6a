#include "chart/exact/Lines.h"

#include "base/AsciiCase.h"

#include <cstring>

namespace tappo::exact {

std::vector<std::string_view> SplitLines(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    // Editors that save UTF-8 put a byte-order mark first; it would hide the
    // first line's header key.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 24 + 1);
    size_t start = 0;
    const char* p = text.data();
    const size_t n = text.size();
    while (start < n) {
        size_t end = start;
        while (end < n && p[end] != '\r' && p[end] != '\n')
            ++end;
        std::string_view line = text.substr(start, end - start);
        lines.push_back(line.substr(0, MaxLineLength));
        if (end < n && p[end] == '\r' && end + 1 < n && p[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

bool StartsWithKey(std::string_view line, size_t width, std::string_view key) {
    if (line.size() < width || key.size() != width) return false;
    for (size_t i = 0; i < width; ++i) {
        if (AsciiUpper(line[i]) != AsciiUpper(key[i])) return false;
    }
    return true;
}

} // namespace tappo::exact
