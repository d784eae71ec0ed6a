// An exact-reading chart as a score (see chart/Score.h).
#pragma once

#include "chart/Score.h"

#include <string>

namespace tappo::exact {

// Compiles the file at `path` and makes its score: four arrow lanes per
// player, each measure as many beats as its length at its own tempo (the
// chart's channel 02 times four), the tempo changes at the measures' starts.
// Throws the compile's CompileError.
ChartScore ScoreOfFile(const std::string& path, char decimalSeparator);

} // namespace tappo::exact
