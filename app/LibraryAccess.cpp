#include "app/LibraryAccess.h"

#include "base/Report.h"
#include "base/Translate.h"
#include "files/Files.h"
#include "library/BackgroundScan.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryQuery.h"
#include "library/TableQuery.h"

#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>

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

ChartFacts FactsOf(ChartRow& row) {
    return ChartFacts{std::move(row.Title),
                      std::move(row.Subtitle),
                      std::move(row.Artist),
                      std::move(row.Subartist),
                      std::move(row.Genre),
                      std::move(row.KeyLayout),
                      row.Level,
                      row.BpmMain,
                      row.LengthMs,
                      row.Notes,
                      row.AddedAt,
                      row.LastPlayed};
}

// What the select screen's library reads through: the frame thread's
// connection, and the scan on a helper thread, started at the first news asked.
struct Library {
    std::string file;
    bool standard = false;
    LibraryDatabase db;
    std::optional<ScanOptions> scanOptions;
    std::unique_ptr<BackgroundScan> scan;
    Library(const std::string& path, bool readStandard)
        : file(path), standard(readStandard), db(path) {}

    ChartFactsByPath ReadCharts() {
        ChartFactsByPath charts;
        try {
            for (ChartRow& row : ReadChartRows(db, standard))
                charts.emplace(PathKey(row.Path), FactsOf(row));
        } catch (const LibraryError& e) {
            ReportOnConsole(FormatText(Tr("the song database %s: %s"), file, e.what()));
            charts.clear();
        }
        return charts;
    }

    // Counts a play of the chart at `path`, by the digests of its bytes;
    // returns the time stored, 0 when it could not be stored (said on the console).
    int64_t CountPlay(const std::string& path) {
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

    // The graph of the chart at `path` from its row, found by the path made
    // absolute and normal as the scan stores it; none where there is no row.
    std::optional<ChartGraph> GraphOf(const std::string& path) {
        const std::string key = PathKey(path);
        const size_t slash = key.rfind('/');
        if (slash == std::string::npos) return std::nullopt;
        try {
            const std::optional<ChartGraphRow> row =
                ReadChartGraph(db, key.substr(0, slash + 1), key.substr(slash + 1), standard);
            if (!row) return std::nullopt;
            return ChartGraph{std::vector<uint8_t>(row->Density.begin(), row->Density.end()),
                              row->BpmMin, row->BpmMax, row->LengthMs};
        } catch (const LibraryError&) {
            return std::nullopt; // the screen goes on without it
        }
    }

    LibraryNews TakeNews() {
        if (!scanOptions) return {};
        if (!scan) scan = std::make_unique<BackgroundScan>(file, *scanOptions);
        BackgroundScan::News taken = scan->Take();
        if (!taken.Failure.empty()) ReportOnConsole(taken.Failure);
        LibraryNews news;
        news.Scanning = taken.Running;
        news.Done = taken.Done;
        news.Total = taken.Total;
        // Rows are stored by their paths made absolute and normal: their keys.
        for (ChartRow& row : taken.Written)
            news.Written.emplace(row.Path, FactsOf(row));
        news.Removed = std::move(taken.Removed);
        if (!taken.Running) scanOptions.reset(); // one scan a run
        return news;
    }
};

} // namespace

LibraryView OpenLibraryView(const std::string& path, bool standard,
                            const ScanOptions* scanAtStart) {
    const std::string file = path.empty() ? DefaultLibraryPath() : path;
    std::error_code ec;
    // A player that does not scan makes no database by looking for one.
    if (file.empty() || (!scanAtStart && !std::filesystem::is_regular_file(file, ec))) return {};
    auto library = std::make_shared<Library>(file, standard);
    if (!library->db.Notice().empty()) {
        ReportOnConsole(library->db.Notice());
        return {};
    }
    if (scanAtStart && !scanAtStart->Roots.empty()) library->scanOptions = *scanAtStart;
    LibraryView view;
    view.ReadCharts = [library] { return library->ReadCharts(); };
    view.ChartPlayed = [library](const std::string& chart) { return library->CountPlay(chart); };
    view.GraphOf = [library](const std::string& chart) { return library->GraphOf(chart); };
    view.TakeNews = [library] { return library->TakeNews(); };
    view.PauseScan = [library](bool paused) {
        if (library->scan) library->scan->Pause(paused);
    };
    view.ReadTables = [library] {
        return TableFoldersOf(library->db, library->file, library->standard);
    };
    return view;
}

} // namespace tappo
