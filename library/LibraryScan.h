// The incremental scan of the song folders into the song database: every
// chart file is looked at (its size and modification time), only new and
// changed ones are read, and the rows of charts gone are dropped once a song
// folder has been walked whole. Statistics (date added, plays) are never
// dropped.
#pragma once

#include "chart/Reading.h"
#include "library/LibraryDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

struct ScanOptions {
    std::vector<std::string> Roots; // the song folders searched
    ChartReading Reading;           // the reading charts are read in
    char DecimalSeparator = '.';
    bool ReadAll = false; // read every chart again, changed or not
};

struct ScanCounts {
    int64_t Charts = 0;     // chart files found
    int64_t Added = 0;      // read for the first time
    int64_t Changed = 0;    // read again
    int64_t Removed = 0;    // rows dropped: the file is gone
    int64_t Unreadable = 0; // of the charts found, those whose row holds an error
    // Song folders that are not there (their rows are kept), one line each.
    std::vector<std::string> Notices;
};

// Scans `options.Roots` into `db`. Throws LibraryError when the database
// fails; a chart that cannot be read only stores its error.
ScanCounts ScanLibrary(LibraryDatabase& db, const ScanOptions& options);

} // namespace tappo
