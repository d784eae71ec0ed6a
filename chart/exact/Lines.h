// A chart file as the reader sees it: lines split at CR LF, lone CR or lone
// LF, the text ending at the first NUL, every line cut to 255 bytes. A UTF-8
// byte-order mark at the start is not part of the first line.
#pragma once

#include "base/Errors.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace tappo::exact {

inline constexpr size_t MaxLineLength = 255;

// Views into `text`, which must outlive them.
std::vector<std::string_view> SplitLines(std::string_view text);

// Byte columns, 1-based as chart authors count them: `length` bytes from
// `column`, or fewer where the line ends first.
inline std::string_view Columns(std::string_view line, size_t column,
                                size_t length = std::string_view::npos) {
    if (column > line.size()) return {};
    return line.substr(column - 1, length);
}

// Whether the first `width` bytes of `line` equal `key`, ASCII letters compared
// without regard to case; a line shorter than `width` never matches.
bool StartsWithKey(std::string_view line, size_t width, std::string_view key);

// An error met on one line of a chart, with the line's number (from 1).
class LineError : public Error {
  public:
    LineError(size_t line, const std::string& text) : Error(text), Line(line) {}
    size_t Line;
};

// Runs `body` on each line in order; an error it throws becomes a LineError
// naming the line.
template <class F> void ForEachLine(const std::vector<std::string_view>& lines, F&& body) {
    for (size_t i = 0; i < lines.size(); ++i) {
        try {
            body(lines[i]);
        } catch (const LineError&) {
            throw;
        } catch (const std::exception& e) {
            throw LineError(i + 1, e.what());
        }
    }
}

} // namespace tappo::exact
