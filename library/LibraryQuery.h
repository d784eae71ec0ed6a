// Reading the song database's charts back for the select screen.
#pragma once

#include "library/ChartDigest.h"
#include "library/LibraryDatabase.h"

#include <cstdint>
#include <optional>
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
    int64_t AddedAt = 0, LastPlayed = 0, TimesPlayed = 0; // Unix seconds, from chart_stats
};

// The rows of the charts read in the reading asked for (the standard one or
// the exact one) that read without an error. Throws LibraryError.
std::vector<ChartRow> ReadChartRows(LibraryDatabase& db, bool standard);

// What the density graph of one chart is drawn from.
struct ChartGraphRow {
    std::string Density; // ChartSummary's density bytes
    double BpmMin = 0, BpmMax = 0;
    int64_t LengthMs = 0;
};
// The graph of the chart `fileName` in `folder` (absolute, with its trailing
// "/"), read in the reading asked for without an error; none without such a
// row. Throws LibraryError.
std::optional<ChartGraphRow> ReadChartGraph(LibraryDatabase& db, const std::string& folder,
                                            const std::string& fileName, bool standard);

// Counts a play of the chart with these digests at `now` (Unix seconds):
// its last play and times played, by SHA-256, so they outlive a rescan and a
// move; a chart no scan has seen yet gets its statistics row now. Throws
// LibraryError.
void RecordPlay(LibraryDatabase& db, const ChartDigest& digest, int64_t now);

} // namespace tappo
