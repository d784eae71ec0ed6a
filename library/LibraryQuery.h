// Reading the song database's charts back for the select screen.
#pragma once

#include "library/LibraryDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

// A chart's row as the select screen sorts, filters and searches by it.
struct ChartRow {
    std::string Path; // the folder's path and the file name, as the walk found them
    std::string Title, Subtitle, Artist, Subartist, Genre, KeyLayout; // UTF-8
    int32_t Level = 0;
    double BpmMain = 0;
    int64_t LengthMs = 0, Notes = 0;
};

// The rows of the charts read in the reading asked for (the standard one or
// the exact one) that read without an error. Throws LibraryError.
std::vector<ChartRow> ReadChartRows(LibraryDatabase& db, bool standard);

} // namespace tappo
