#include "app/LibraryAccess.h"

#include "base/Report.h"
#include "base/Translate.h"
#include "files/Files.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryQuery.h"

#include <ctime>
#include <filesystem>
#include <memory>

namespace tappo {
namespace {

// Counts a play of the chart at `path`, by the digests of its bytes; returns
// the time stored, 0 when it could not be stored (said on the console).
int64_t CountPlay(LibraryDatabase& db, const std::string& file, const std::string& path) {
    try {
        const std::vector<uint8_t> data = ReadWholeFile(path);
        const ChartDigest digest =
            DigestOf(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        const auto now = int64_t(std::time(nullptr));
        RecordPlay(db, digest, now);
        return now;
    } catch (const std::exception& e) {
        ReportOnConsole(FormatText(Tr("the song database %s: %s"), file, e.what()));
        return 0;
    }
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
    return LibraryView{
        [db, file, standard] {
            ChartFactsByPath charts;
            try {
                for (ChartRow& row : ReadChartRows(*db, standard))
                    charts.emplace(PathKey(row.Path),
                                   ChartFacts{std::move(row.Title), std::move(row.Subtitle),
                                              std::move(row.Artist), std::move(row.Subartist),
                                              std::move(row.Genre), std::move(row.KeyLayout),
                                              row.Level, row.BpmMain, row.LengthMs, row.Notes,
                                              row.AddedAt, row.LastPlayed});
            } catch (const LibraryError& e) {
                ReportOnConsole(FormatText(Tr("the song database %s: %s"), file, e.what()));
                charts.clear();
            }
            return charts;
        },
        [db, file](const std::string& path) { return CountPlay(*db, file, path); }};
}

} // namespace tappo
