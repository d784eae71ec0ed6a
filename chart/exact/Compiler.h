// The chart compiler: turns a BMS chart into measure timing tables, twelve
// sorted event lists, the song's end time, the scroll speed and the lane
// positions. This is the one place that defines the exact reading of BMS.
#pragma once

#include "chart/CompiledChart.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tappo::exact {

// Compiles chart text (Shift-JIS bytes); `path` names the chart file, whose
// folder is the song folder. Keysounds, music and images are loaded by the
// caller. Throws CompileError.
CompiledChart Compile(std::string_view text, const std::string& path, char decimalSeparator,
                      const ChartCarryOver& before = {});
// The same from the file; a file that cannot be read is a CompileError too.
CompiledChart CompileFile(const std::string& path, char decimalSeparator,
                          const ChartCarryOver& before = {});

// Song time of object k of n in measure m, and the step tick 20 ms before it
// (never below 0), computed in extended precision and truncated.
int64_t EventTime(int k, int n, int m, const ChartData& chart);
int64_t StepTime(int k, int n, int m, const ChartData& chart);
std::string FormatEventTime(int k, int n, int m, const ChartData& chart);
std::string FormatStepTime(int k, int n, int m, const ChartData& chart);

} // namespace tappo::exact
