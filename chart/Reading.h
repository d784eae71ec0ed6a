// The choice between the two readings of a chart, and the compile and the
// --inspect listing in the reading chosen.
#pragma once

#include "chart/CompiledChart.h"
#include "chart/standard/Compiler.h"

#include <string>

namespace tappo {

// How charts are read: the exact reading, or the standard one with its
// #RANDOM choice.
struct ChartReading {
    bool Standard = false;
    standard::Options Options;
    // Live play: each compile draws its #RANDOM values from a fresh seed
    // (Options then only gives the decimal separator).
    bool DrawAtRandom = false;
    // The standard reading's notes on the four arrow lanes per player
    // (`--lanes arrows`) instead of each key in its own lane.
    bool ArrowLanes = false;
};

// `reading` with the standard reading's reals read with `decimalSeparator`
// first (the locale's), "." after it.
ChartReading WithSeparator(ChartReading reading, char decimalSeparator);

// Either reading of the file, as a compiled chart. Throws CompileError.
CompiledChart CompileChartFileAs(const ChartReading& reading, const std::string& path,
                                 char decimalSeparator, const ChartCarryOver& before = {});

// The --inspect listing of `path` in either reading; the standard reading lists
// its own view of the chart (warnings, tempo changes, stops, every object with
// its beat). Throws the compile's error.
std::string InspectChart(const std::string& path, char decimalSeparator,
                         const ChartReading& reading);

} // namespace tappo
