// `tappoplayer --scan`: the song folders scanned into the song database from
// the command line, with a one-line summary.
#pragma once

#include "chart/Reading.h"

#include <string>
#include <vector>

namespace tappo {

struct ScanCommand {
    std::vector<std::string> Songs; // the song folders
    ChartReading Reading;
    char DecimalSeparator = '.';
    std::string DatabasePath; // empty: DefaultLibraryPath()
    bool ReadAll = false;
};

// Scans, prints "N charts, A added, C changed, R removed, E unreadable in S s"
// and returns the exit code: 0 when the database file holds the result, 1
// when it could not be used (the run then says why).
int RunScanCommand(const ScanCommand& command);

} // namespace tappo
