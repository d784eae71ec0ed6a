// A difficulty table brought into the song database: its page (or header)
// fetched and read, then its rows replaced in one transaction, so that a
// fetch or read that fails leaves the table as it was.
#pragma once

#include "library/LibraryDatabase.h"
#include "library/TableFetch.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tappo {

// Brings the document at a URL or path (FetchTableDocument, or a stand-in).
using TableFetcher = std::function<FetchedDocument(const std::string& source)>;

struct ImportedTable {
    std::string Name;
    size_t Entries = 0;   // kept
    size_t InLibrary = 0; // of them, charts the database holds (by SHA-256 or MD5)
    size_t Skipped = 0;   // left out for a value of the wrong kind
    std::vector<std::string> Warnings;
};

// Fetches the table at `source` (its HTML page, or its header JSON itself)
// with its data, and stores it under `source`, replacing what was stored
// there. Throws TableError (naming the URL) or LibraryError; either leaves
// the database as it was.
ImportedTable ImportTable(LibraryDatabase& db, const std::string& source,
                          const TableFetcher& fetch = FetchTableDocument);

// The sources of the tables stored, in the order they were first added.
std::vector<std::string> StoredTableSources(LibraryDatabase& db);

} // namespace tappo
