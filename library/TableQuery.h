// Reading the difficulty tables back for the select screen: each table's
// levels in order, each with its entries matched to the library's charts.
#pragma once

#include "library/LibraryDatabase.h"

#include <string>
#include <vector>

namespace tappo {

// One entry of a level: the library's chart (its path, as the scan found it)
// or, where the library lacks it, only what the table says of it.
struct TableEntryRow {
    std::string ChartPath; // empty: not in the library
    std::string Title, Artist, Url;
};

struct TableLevelRows {
    std::string TableName, Symbol, Level;
    std::vector<TableEntryRow> Entries; // in the table's order
};

// Every table's levels, the tables in the order they were added, the levels
// in the table's level order (levels it does not name after, as they first
// appear). An entry is matched by SHA-256, else MD5, to a chart of the
// reading asked for that reads. Throws LibraryError.
std::vector<TableLevelRows> ReadTableLevels(LibraryDatabase& db, bool standard);

} // namespace tappo
