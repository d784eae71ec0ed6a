// `tappoplayer --add-table URL|FILE` and `--update-tables`: difficulty tables
// fetched into the song database from the command line, a line for each.
#pragma once

#include <string>
#include <vector>

namespace tappo {

struct TableCommand {
    std::string DatabasePath;        // empty: DefaultLibraryPath()
    std::string Add;                 // the table to add; empty: refresh them all
    std::vector<std::string> Listed; // the settings' tables, added by a refresh when new
};

// Prints "NAME: N entries, M in your library" for each table fetched, or its
// fault; returns 0 when every table was stored, else 1 (the others are kept).
int RunTableCommand(const TableCommand& command);

} // namespace tappo
