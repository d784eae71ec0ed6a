#include "app/LibraryAccess.h"

#include "base/Report.h"
#include "base/Translate.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryQuery.h"

#include <filesystem>
#include <memory>

namespace tappo {

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
    return LibraryView{[db, file, standard] {
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
}

} // namespace tappo
