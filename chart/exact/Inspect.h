// The chart inspector: a compiled chart as stable text, one item a line, for
// chart authors checking what the player will make of their chart.
#pragma once

#include "chart/CompiledChart.h"

#include <string>

namespace tappo::exact {

// Compiles `path` (no keysounds, music or images) and returns the listing.
// Throws the compile's error.
std::string Inspect(const std::string& path, char decimalSeparator);
// The listing of a chart already compiled.
std::string FormatInspection(const PlaySettings& state, const ChartHeader& header,
                             const ChartData& chart);

} // namespace tappo::exact
