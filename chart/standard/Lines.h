// The first step of the standard reading: the chart's lines, read whole, through
// the #RANDOM/#IF control flow, into header values, slot tables and the raw
// channel objects (still as measure positions).
#pragma once

#include "chart/standard/Compiler.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tappo::standard {

// Object k of n on a channel line of measure `Measure`.
struct RawObject {
    uint32_t K = 0, N = 1;
    uint32_t Line = 0;
    uint16_t Measure = 0;
    uint16_t Channel = 0; // two base-36 digits: 36 * first + second
    uint16_t Slot = 0;    // base 36; for channel 03 the hexadecimal tempo
};

inline constexpr uint16_t ChannelCode(char a, char b) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    return uint16_t(digit(a) * 36 + digit(b));
}

// A chart saved as UTF-16 (little- or big-endian, with its byte-order mark)
// as UTF-8 text held in `converted`; any other chart as it is. A lone
// surrogate becomes U+FFFD and an odd last byte is dropped.
std::string_view ChartText(std::string_view bytes, std::string& converted);

// Fills chart.Header, Warnings, the slot tables and MeasureScale. With
// `headerOnly` the channel lines are passed over: no objects, no measure lengths.
std::vector<RawObject> ReadLines(std::string_view bytes, const Options& options, Chart& chart,
                                 bool headerOnly = false);

// Adds a warning, keeping at most MaxWarnings of them.
void AddWarning(Chart& chart, int line, std::string text);

} // namespace tappo::standard
