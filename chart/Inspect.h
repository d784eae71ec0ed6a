// The chart inspector: a compiled chart as stable text, one item a line, for
// chart authors checking what the player will make of their chart.
#pragma once

#include "chart/Compiler.h"
#include "chart/StandardConvert.h"

#include <string>

namespace tappo {

// Compiles `path` (no keysounds, music or images) and returns the listing.
// Throws the compile's error.
std::string InspectChart(const std::string& path, char decimalSeparator);
// The same in either reading; the standard reading lists its own view of the
// chart (warnings, tempo changes, stops, every object with its beat).
std::string InspectChart(const std::string& path, char decimalSeparator,
                         const ChartReading& reading);
// The listing of a chart already compiled.
std::string FormatInspection(const PlaySettings& state, const ChartHeader& header,
                             const ChartData& chart);

} // namespace tappo
