#include "library/TableCommand.h"

#include "base/Report.h"
#include "base/Translate.h"
#include "library/LibraryDatabase.h"
#include "library/TableFetch.h"
#include "library/TableImport.h"
#include "library/TableReader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace tappo {
namespace {

// A URL as it is; a file path made absolute, so a refresh from another
// folder finds it.
std::string SourceKey(const std::string& source) {
    if (IsWebUrl(source) || source.find("://") != std::string::npos) return source;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(source, ec);
    return ec ? source : full.lexically_normal().string();
}

// Imports one table and prints its line; false when it failed.
bool ImportAndTell(LibraryDatabase& db, const std::string& source) {
    try {
        const ImportedTable table = ImportTable(db, source);
        const std::string counts =
            FormatText(Tr("%s entries, %s in your library"), std::to_string(table.Entries),
                       std::to_string(table.InLibrary));
        std::printf("%s: %s\n", table.Name.c_str(), counts.c_str());
        if (table.Skipped > 0)
            ReportOnConsole(source + ": " +
                            FormatText(Tr("entries left out: %d"), (long long)table.Skipped) +
                            (table.Warnings.empty() ? "" : " (" + table.Warnings[0] + ")"));
        return true;
    } catch (const TableError& e) {
        ReportOnConsole(e.what());
    } catch (const LibraryError& e) {
        ReportOnConsole(FormatText(Tr("the song database %s: %s"), db.Path(), e.what()));
    }
    return false;
}

} // namespace

int RunTableCommand(const TableCommand& command) {
    const std::string path =
        command.DatabasePath.empty() ? DefaultLibraryPath() : command.DatabasePath;
    if (path.empty()) {
        ReportOnConsole(
            Tr("no place for the song database: neither XDG_DATA_HOME nor HOME is set"));
        return 1;
    }
    try {
        LibraryDatabase db(path);
        if (db.InMemory()) {
            // A table fetched into memory would be lost at the end of the run.
            ReportOnConsole(db.Notice());
            return 1;
        }
        std::vector<std::string> sources;
        if (!command.Add.empty()) {
            sources.push_back(SourceKey(command.Add));
        } else {
            sources = StoredTableSources(db);
            for (const std::string& listed : command.Listed)
                if (std::find(sources.begin(), sources.end(), SourceKey(listed)) == sources.end())
                    sources.push_back(SourceKey(listed));
        }
        bool allStored = true;
        for (const std::string& source : sources)
            allStored = ImportAndTell(db, source) && allStored;
        return std::fflush(stdout) == 0 && allStored ? 0 : 1;
    } catch (const LibraryError& e) {
        ReportOnConsole(FormatText(Tr("the song database %s: %s"), path, e.what()));
        return 1;
    }
}

} // namespace tappo
