#include "app/LibraryAccess.h"

#include "base/Report.h"
#include "base/Translate.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryQuery.h"
#include "library/TableQuery.h"

#include <filesystem>
#include <memory>

namespace tappo {

namespace {

// The difficulty tables' levels as the select screen's folders; a database
// that cannot be read is reported and lists none.
std::vector<TableFolder> TableFoldersOf(LibraryDatabase& db, const std::string& file,
                                        bool standard) {
    std::vector<TableFolder> folders;
    try {
        for (TableLevelRows& level : ReadTableLevels(db, standard)) {
            TableFolder folder{level.Symbol + level.Level + "  " + level.TableName, {}};
            for (TableEntryRow& entry : level.Entries)
                folder.Items.push_back(TableItem{std::move(entry.ChartPath), std::move(entry.Title),
                                                 std::move(entry.Artist), std::move(entry.Url)});
            folders.push_back(std::move(folder));
        }
    } catch (const LibraryError& e) {
        ReportOnConsole(FormatText(Tr("the song database %s: %s"), file, e.what()));
        folders.clear();
    }
    return folders;
}

} // namespace

LibraryView OpenLibraryView(const std::string& path, bool standard) {
    const std::string file = path.empty() ? DefaultLibraryPath() : path;
    std::error_code ec;
    // A player that never scanned makes no database by looking for one.
    if (file.empty() || !std::filesystem::is_regular_file(file, ec)) return {};
    auto db = std::make_shared<LibraryDatabase>(file);
    if (!db->Notice().empty()) {
        ReportOnConsole(db->Notice());
        return {};
    }
    LibraryView view{[db, file, standard] {
        ChartFactsByPath charts;
        try {
            for (ChartRow& row : ReadChartRows(*db, standard))
                charts.emplace(PathKey(row.Path),
                               ChartFacts{std::move(row.Title), std::move(row.Subtitle),
                                          std::move(row.Artist), std::move(row.Subartist),
                                          std::move(row.Genre), std::move(row.KeyLayout), row.Level,
                                          row.BpmMain, row.LengthMs, row.Notes});
        } catch (const LibraryError& e) {
            ReportOnConsole(FormatText(Tr("the song database %s: %s"), file, e.what()));
            charts.clear();
        }
        return charts;
    }};
    view.ReadTables = [db, file, standard] { return TableFoldersOf(*db, file, standard); };
    return view;
}

} // namespace tappo
