// The incremental scan of the song folders into the song database: every
// chart file is looked at (its size and modification time), only new and
// changed ones are read, and the rows of charts gone are dropped once a song
// folder has been walked whole. Statistics (date added, plays) are never
// dropped.
#pragma once

#include "chart/Reading.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryQuery.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tappo {

// What one committed batch of a watched scan changed: the rows written
// (without their statistics: AddedAt is the scan's time for a chart new to the
// database, else 0) and the charts whose rows are gone (or now hold an error),
// by path as stored; and the charts looked at so far.
struct ScanBatch {
    std::vector<ChartRow> Written;
    std::vector<std::string> Removed;
    int64_t Done = 0;
};

// A scan on another thread: Stop ends it at the next file (a batch read
// part-way is not written, nothing is dropped); while Pause is set it waits
// before each file; BatchWritten is called on the scanning thread after each
// commit.
struct ScanWatch {
    std::atomic<bool> Stop{false}, Pause{false};
    std::function<void(ScanBatch)> BatchWritten;
};

struct ScanOptions {
    std::vector<std::string> Roots; // the song folders searched
    ChartReading Reading;           // the reading charts are read in
    char DecimalSeparator = '.';
    bool ReadAll = false; // read every chart again, changed or not
    ScanWatch* Watch = nullptr;
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
