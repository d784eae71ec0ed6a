// A standard chart as a score (see chart/Score.h).
#pragma once

#include "chart/Score.h"
#include "chart/standard/Compiler.h"

#include <string_view>

namespace tappo::standard {

// The chart's notes at their own beats, in the lanes of its key layout (the
// layout the file `path` names), or on four arrow lanes per player; long
// notes paired as the play screen pairs them, mines in their key's lane.
ChartScore ScoreOf(const Chart& chart, std::string_view path, bool arrowLanes);

} // namespace tappo::standard
