// --chart-image: the whole chart drawn as a score into PNG files.
#pragma once

#include "app/CommandLine.h"

namespace tappo {

// Draws the chart named on the command line into cl.ChartImage (or numbered
// files beside it); reports the files written, or the error. Returns the
// exit code: 0, or 1 when the chart does not compile or a file cannot be written.
int RunChartImage(const CommandLine& cl);

} // namespace tappo
