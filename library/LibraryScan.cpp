#include "library/LibraryScan.h"

#include "base/AsciiCase.h"
#include "base/InOrder.h"
#include "base/Translate.h"
#include "chart/exact/Compiler.h"
#include "chart/standard/Bmson.h"
#include "chart/standard/Convert.h"
#include "files/FileSearch.h"
#include "files/Files.h"
#include "library/ChartDigest.h"
#include "library/ChartSummary.h"
#include "library/LibraryQuery.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace tappo {
namespace {

// What makes a chart's row (each row keeps the one it was made by); raised
// when that changes, so that older rows are read again on the next scan.
constexpr int64_t ReaderVersion = 1;
// Charts looked at before their rows are written: bounds the memory a scan
// holds and the time one write transaction takes.
constexpr size_t BatchSize = 256;
// A file modified this close to the scan's start may be written again within
// the same tick of a coarse clock (two seconds on FAT); its row is kept as
// not yet read, so the next scan reads it again. (A time further ahead, from a
// clock that was wrong, is no such write: a write now would change it.)
constexpr int64_t CoarseClockNs = 2'000'000'000;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool StatFile(const std::string& path, int64_t& size, int64_t& mtimeNs) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = int64_t(st.st_size);
    mtimeNs = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return true;
}

// A chart file found by the walk.
struct FoundChart {
    std::string Folder, FileName; // the folder with its trailing separator
    int64_t Size = 0, MtimeNs = 0;
    int64_t RowId = 0; // 0: no row yet
};

// What reading a chart gave: its row's values.
struct ReadChart {
    std::string Error;
    bool Digested = false;
    ChartDigest Digest;
    ChartSummary Summary;
    int64_t Size = 0, MtimeNs = 0;
};

// The chart compiled from bytes already read, in the reading asked for, with
// the names the compiled form does not keep.
CompiledChart CompileBytes(const ScanOptions& options, const std::string& path,
                           std::string_view bytes, ChartNames& names) {
    if (!options.Reading.Standard) {
        names = ScanChartNames(bytes);
        return exact::Compile(bytes, path, options.DecimalSeparator);
    }
    standard::Options reading = options.Reading.Options;
    reading.DecimalSeparator = options.DecimalSeparator;
    std::unique_ptr<standard::Chart> chart;
    if (standard::IsBmsonPath(path)) {
        try {
            chart = std::make_unique<standard::Chart>(standard::CompileBmson(bytes));
        } catch (const standard::BmsonError& e) {
            throw standard::ChartFileError(path, e.what());
        }
        names.Banner = chart->Header.Banner;
        names.StageFile = chart->Header.StageFile;
        for (const std::string& name : chart->Header.Subartists)
            names.Subartist += (names.Subartist.empty() ? "" : ", ") + name;
    } else {
        chart = std::make_unique<standard::Chart>(standard::Compile(bytes, reading));
        names = ScanChartNames(bytes);
    }
    return standard::ToCompiled(*chart, path, false);
}

// Reads one chart: its bytes once, digested and compiled. Never throws; what
// goes wrong is the row's error.
ReadChart ReadOne(const ScanOptions& options, const FoundChart& found, int64_t scanStartNs) {
    ReadChart out;
    out.Size = found.Size;
    out.MtimeNs = found.MtimeNs;
    const std::string path = found.Folder + found.FileName;
    try {
        const std::vector<uint8_t> data = ReadWholeFile(path);
        const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
        out.Digest = DigestOf(bytes);
        out.Digested = true;
        int64_t size = 0, mtimeNs = 0;
        // Changed while it was read, or may change unseen: read again next time.
        if (!StatFile(path, size, mtimeNs) || size != found.Size || mtimeNs != found.MtimeNs ||
            int64_t(data.size()) != size || std::llabs(found.MtimeNs - scanStartNs) < CoarseClockNs)
            out.MtimeNs = 0;
        ChartNames names;
        const CompiledChart chart = CompileBytes(options, path, bytes, names);
        out.Summary = SummarizeChart(chart, names);
    } catch (const CompileError& e) {
        out.Error = e.Line() > 0 ? FormatText(Tr("line %s: %s"), std::to_string(e.Line()), e.what())
                                 : std::string(e.what());
    } catch (const std::exception& e) {
        out.Error = e.what();
    }
    if (out.Error.empty() && out.Summary.KeyLayout.empty()) out.Error = "?";
    return out;
}

const char* const ChartColumns[] = {
    "folder_id", "file_name",      "size",    "mtime_ns",   "md5",        "sha256",
    "reading",   "reader_version", "error",   "title",      "subtitle",   "artist",
    "subartist", "genre",          "level",   "difficulty", "key_layout", "player_mode",
    "notes",     "long_notes",     "bpm_min", "bpm_max",    "bpm_main",   "length_ms",
    "banner",    "stage_file",     "preview", "density"};

// INSERT of every column, or UPDATE of all of them where the chart has a row.
std::string UpsertChartSql() {
    std::string names, values, updates;
    int index = 1;
    for (const char* column : ChartColumns) {
        const std::string c = column;
        names += (index > 1 ? ", " : "") + c;
        values += (index > 1 ? ", ?" : "?") + std::to_string(index);
        ++index;
        if (c != "folder_id" && c != "file_name")
            updates.append(updates.empty() ? "" : ", ").append(c).append(" = excluded.").append(c);
    }
    return "INSERT INTO chart(" + names + ") VALUES(" + values +
           ") ON CONFLICT(folder_id, file_name) DO UPDATE SET " + updates;
}

// A chart's row as the scan compares it with the file.
struct StoredRow {
    int64_t Id = 0, Size = 0, MtimeNs = 0, Reading = 0, ReaderVersion = 0;
    bool HasError = false;
    bool Found = false; // the file is still there
};

class Scanner {
  public:
    Scanner(LibraryDatabase& db, const ScanOptions& options)
        : db_(db), options_(options), upsertChartSql_(UpsertChartSql()),
          folderRows_(db, "SELECT c.file_name, c.id, c.size, c.mtime_ns, c.reading,"
                          " c.reader_version, c.error IS NOT NULL FROM chart c"
                          " JOIN folder f ON f.id = c.folder_id WHERE f.path = ?1"),
          upsertFolder_(db, "INSERT INTO folder(root_id, path, walk_order, seen_scan)"
                            " VALUES(?1, ?2, ?3, ?4) ON CONFLICT(path) DO UPDATE SET"
                            " root_id = excluded.root_id, walk_order = excluded.walk_order,"
                            " seen_scan = max(seen_scan, excluded.seen_scan) RETURNING id"),
          upsertChart_(db, upsertChartSql_.c_str()),
          dropChart_(db, "DELETE FROM chart WHERE id = ?1"),
          addStats_(db, "INSERT INTO chart_stats(sha256, md5, added_at) VALUES(?1, ?2, ?3)"
                        " ON CONFLICT(sha256) DO NOTHING") {}

    ScanCounts Run();

  private:
    void ScanRoot(const std::string& root);
    void OnFound(const std::string& path, const FoundFile& file);
    void Flush();
    void Compare(size_t begin, size_t end, std::vector<size_t>& read, std::vector<int64_t>& gone);
    void WriteBatch(const std::vector<size_t>& read, const std::vector<ReadChart>& results,
                    const std::vector<int64_t>& gone);
    int64_t FolderId(const std::string& folder);
    void WriteChart(const FoundChart& found, const ReadChart& read);
    void DropGone();
    void TellBatch(const std::vector<size_t>& read, const std::vector<ReadChart>& results);
    bool Stopped() const { return options_.Watch && options_.Watch->Stop.load(); }
    // Waits while the watcher pauses the scan; true when it is to stop.
    bool PausedThenStopped() const {
        while (options_.Watch && options_.Watch->Pause.load() && !Stopped())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Stopped();
    }

    LibraryDatabase& db_;
    const ScanOptions& options_;
    std::string upsertChartSql_;
    Statement folderRows_, upsertFolder_, upsertChart_, dropChart_, addStats_;
    ScanCounts counts_;
    int64_t scanId_ = 0, startNs_ = 0, rootId_ = 0, walkOrder_ = 0;
    std::string lastFolder_;
    int64_t lastFolderId_ = 0;
    std::string rootPath_; // the song folder scanned now, absolute, with its "/"
    // Charts found and not yet written, whole folders in walk order.
    std::vector<FoundChart> pending_;
    std::vector<std::string> unlisted_;  // folders the walk could not list
    std::vector<std::string> gonePaths_; // for the watcher: charts whose rows were dropped
};

ScanCounts Scanner::Run() {
    startNs_ = NowNs();
    {
        Transaction t(db_);
        db_.Execute("UPDATE meta SET value = value + 1 WHERE key = 'scan_count'");
        Statement count(db_, "SELECT value FROM meta WHERE key = 'scan_count'");
        scanId_ = count.Step() ? count.Int(0) : 1;
        t.Commit();
    }
    for (const std::string& root : options_.Roots)
        if (!Stopped()) ScanRoot(root);
    return counts_;
}

void Scanner::ScanRoot(const std::string& rootName) {
    std::error_code ec;
    std::string root = std::filesystem::absolute(rootName, ec).lexically_normal().string();
    if (root.empty() || root.back() != '/') root += '/';
    // Folders are stored by absolute path, whatever folder the scan runs in.
    FileSearch search;
    search.Directory = root;
    search.Recursive = true;
    rootPath_ = root;
    if (!std::filesystem::is_directory(root, ec) || access(root.c_str(), R_OK | X_OK) != 0) {
        counts_.Notices.push_back(
            FormatText(Tr("the song folder %s is not there; its charts are kept"), rootName));
        return;
    }
    Statement addRoot(db_, "INSERT INTO root(path) VALUES(?1) ON CONFLICT(path) DO UPDATE"
                           " SET path = excluded.path RETURNING id");
    addRoot.BindBlob(1, root.data(), root.size());
    rootId_ = addRoot.Step() ? addRoot.Int(0) : 0;
    addRoot.Reset();
    walkOrder_ = 0;
    lastFolder_.clear();
    unlisted_.clear();
    search.OnFound = [&](const std::string& path, const FoundFile& file) {
        OnFound(path, file);
        return !PausedThenStopped();
    };
    const bool whole = search.Search();
    Flush();
    // A scan stopped part-way drops nothing: it has not seen everything.
    if (whole && !Stopped()) DropGone();
}

void Scanner::OnFound(const std::string& path, const FoundFile& file) {
    if (file.IsDirectory) {
        if (access(path.c_str(), R_OK | X_OK) != 0) unlisted_.push_back(path + "/");
        return;
    }
    if (!options_.Reading.IsChartFile(file.FileName)) return;
    FoundChart found;
    if (!StatFile(path, found.Size, found.MtimeNs)) return;
    found.Folder = path.substr(0, path.size() - file.FileName.size());
    found.FileName = file.FileName;
    // A folder's charts come together; batches end between folders.
    if (pending_.size() >= BatchSize && pending_.back().Folder != found.Folder) Flush();
    pending_.push_back(std::move(found));
}

// Compares the charts of one folder, pending_[begin, end), with the folder's
// rows: the charts to read go to `read`, the rows of files gone to `gone`.
void Scanner::Compare(size_t begin, size_t end, std::vector<size_t>& read,
                      std::vector<int64_t>& gone) {
    std::unordered_map<std::string, StoredRow> rows;
    const std::string& folder = pending_[begin].Folder;
    folderRows_.BindBlob(1, folder.data(), folder.size());
    while (folderRows_.Step())
        rows[folderRows_.Bytes(0)] = {folderRows_.Int(1), folderRows_.Int(2),
                                      folderRows_.Int(3), folderRows_.Int(4),
                                      folderRows_.Int(5), folderRows_.Int(6) != 0};
    folderRows_.Reset();
    for (size_t i = begin; i < end; ++i) {
        FoundChart& found = pending_[i];
        const auto row = rows.find(found.FileName);
        if (row == rows.end()) {
            read.push_back(i);
            continue;
        }
        StoredRow& r = row->second;
        r.Found = true;
        found.RowId = r.Id;
        const bool same = !options_.ReadAll && r.Size == found.Size && r.MtimeNs != 0 &&
                          r.MtimeNs == found.MtimeNs &&
                          r.Reading == int64_t(options_.Reading.Standard) &&
                          r.ReaderVersion == ReaderVersion;
        if (!same) read.push_back(i);
        counts_.Unreadable += same && r.HasError;
    }
    for (const auto& [name, r] : rows)
        if (!r.Found) {
            gone.push_back(r.Id);
            if (options_.Watch) gonePaths_.push_back(folder + name);
        }
}

// Looks up the batch folder by folder, reads the charts that need it (on two
// threads where a second core is there) and writes the rows in one
// transaction. An unchanged chart costs a lookup and no write.
void Scanner::Flush() {
    if (pending_.empty()) return;
    std::vector<size_t> read;
    std::vector<int64_t> gone;
    for (size_t begin = 0, end = 0; begin < pending_.size(); begin = end) {
        end = begin + 1;
        while (end < pending_.size() && pending_[end].Folder == pending_[begin].Folder)
            ++end;
        Compare(begin, end, read, gone);
    }
    std::vector<ReadChart> results(read.size());
    RunInOrder(
        int(read.size()),
        [&](int i, int) {
            if (!PausedThenStopped())
                results[size_t(i)] = ReadOne(options_, pending_[read[size_t(i)]], startNs_);
        },
        [](int, const std::exception_ptr& error) {
            if (error) std::rethrow_exception(error);
            return true;
        });
    // A batch read part-way when the scan was stopped is not written: its
    // charts are read again next time.
    if (!Stopped()) WriteBatch(read, results, gone);
    pending_.clear();
}

void Scanner::WriteBatch(const std::vector<size_t>& read, const std::vector<ReadChart>& results,
                         const std::vector<int64_t>& gone) {
    Transaction t(db_);
    for (const FoundChart& found : pending_)
        FolderId(found.Folder);
    for (const int64_t id : gone) {
        dropChart_.Bind(1, id).Run();
        counts_.Removed += db_.Changes();
    }
    for (size_t i = 0; i < read.size(); ++i) {
        const FoundChart& found = pending_[read[i]];
        WriteChart(found, results[i]);
        ++(found.RowId ? counts_.Changed : counts_.Added);
        counts_.Unreadable += !results[i].Error.empty();
    }
    t.Commit();
    counts_.Charts += int64_t(pending_.size());
    if (options_.Watch) TellBatch(read, results);
}

void Scanner::TellBatch(const std::vector<size_t>& read, const std::vector<ReadChart>& results) {
    ScanBatch batch;
    batch.Removed = std::move(gonePaths_);
    gonePaths_.clear();
    for (size_t i = 0; i < read.size(); ++i) {
        const FoundChart& found = pending_[read[i]];
        const ReadChart& chart = results[i];
        // A row with an error lists no chart: as one gone.
        if (!chart.Error.empty()) {
            batch.Removed.push_back(found.Folder + found.FileName);
            continue;
        }
        const ChartSummary& m = chart.Summary;
        ChartRow row;
        row.Path = found.Folder + found.FileName;
        row.Title = m.Title, row.Subtitle = m.Subtitle, row.Artist = m.Artist;
        row.Subartist = m.Subartist, row.Genre = m.Genre, row.KeyLayout = m.KeyLayout;
        row.Level = m.Level, row.BpmMain = m.BpmMain, row.LengthMs = m.LengthMs;
        row.Notes = m.Notes;
        row.AddedAt = found.RowId ? 0 : startNs_ / 1'000'000'000; // 0: as it was
        batch.Written.push_back(std::move(row));
    }
    batch.Done = counts_.Charts;
    options_.Watch->BatchWritten(std::move(batch));
}

// The folder's row, made or marked seen in this scan.
int64_t Scanner::FolderId(const std::string& folder) {
    if (folder == lastFolder_) return lastFolderId_;
    upsertFolder_.Bind(1, rootId_).BindBlob(2, folder.data(), folder.size());
    upsertFolder_.Bind(3, walkOrder_++).Bind(4, scanId_);
    lastFolderId_ = upsertFolder_.Step() ? upsertFolder_.Int(0) : 0;
    upsertFolder_.Reset();
    lastFolder_ = folder;
    return lastFolderId_;
}

void Scanner::WriteChart(const FoundChart& found, const ReadChart& read) {
    Statement& s = upsertChart_;
    const ChartSummary& m = read.Summary;
    s.Bind(1, FolderId(found.Folder)).BindBlob(2, found.FileName.data(), found.FileName.size());
    s.Bind(3, read.Size).Bind(4, read.MtimeNs);
    if (read.Digested)
        s.BindBlob(5, read.Digest.Md5.data(), 16).BindBlob(6, read.Digest.Sha256.data(), 32);
    s.Bind(7, int64_t(options_.Reading.Standard)).Bind(8, ReaderVersion).BindText(9, read.Error);
    s.BindText(10, m.Title).BindText(11, m.Subtitle).BindText(12, m.Artist);
    s.BindText(13, m.Subartist).BindText(14, m.Genre);
    if (read.Error.empty()) {
        s.Bind(15, int64_t(m.Level)).Bind(16, int64_t(m.Difficulty)).BindText(17, m.KeyLayout);
        s.Bind(18, int64_t(m.PlayerMode)).Bind(19, m.Notes).Bind(20, m.LongNotes);
        s.Bind(21, m.BpmMin).Bind(22, m.BpmMax).Bind(23, m.BpmMain).Bind(24, m.LengthMs);
    }
    s.BindBlob(25, m.Banner.data(), m.Banner.size());
    s.BindBlob(26, m.StageFile.data(), m.StageFile.size());
    s.BindBlob(27, m.Preview.data(), m.Preview.size());
    s.BindBlob(28, m.Density.data(), m.Density.size()).Run();
    if (!read.Digested) return;
    addStats_.BindBlob(1, read.Digest.Sha256.data(), 32).BindBlob(2, read.Digest.Md5.data(), 16);
    addStats_.Bind(3, startNs_ / 1'000'000'000).Run();
}

// After a whole walk of a root: the folders it no longer holds charts in are
// dropped with their rows, except below folders the walk could not list.
// Folders keep the highest scan that saw them, so two players scanning at
// once never drop what the later scan has seen.
void Scanner::DropGone() {
    Transaction t(db_);
    // Below this song folder by path, whichever song folder's scan saw a
    // folder last: song folders may hold one another.
    Statement keep(db_, "UPDATE folder SET seen_scan = max(seen_scan, ?1)"
                        " WHERE substr(path, 1, ?2) = ?3");
    for (const std::string& folder : unlisted_) {
        keep.Bind(1, scanId_).Bind(2, int64_t(folder.size()));
        keep.BindBlob(3, folder.data(), folder.size()).Run();
    }
    const auto bindRoot = [&](Statement& s) {
        s.Bind(1, scanId_).Bind(2, int64_t(rootPath_.size()));
        s.BindBlob(3, rootPath_.data(), rootPath_.size());
    };
    ScanBatch batch;
    if (options_.Watch) {
        Statement gone(db_, "SELECT f.path, c.file_name FROM chart c JOIN folder f"
                            " ON f.id = c.folder_id WHERE substr(f.path, 1, ?2) = ?3"
                            " AND f.seen_scan < ?1");
        bindRoot(gone);
        while (gone.Step())
            batch.Removed.push_back(gone.Bytes(0) + gone.Bytes(1));
    }
    Statement dropCharts(db_, "DELETE FROM chart WHERE folder_id IN (SELECT id FROM folder"
                              " WHERE substr(path, 1, ?2) = ?3 AND seen_scan < ?1)");
    bindRoot(dropCharts);
    dropCharts.Run();
    counts_.Removed += db_.Changes();
    Statement dropFolders(db_, "DELETE FROM folder WHERE substr(path, 1, ?2) = ?3"
                               " AND seen_scan < ?1");
    bindRoot(dropFolders);
    dropFolders.Run();
    t.Commit();
    if (!options_.Watch) return;
    batch.Done = counts_.Charts;
    options_.Watch->BatchWritten(std::move(batch));
}

} // namespace

ScanCounts ScanLibrary(LibraryDatabase& db, const ScanOptions& options) {
    return Scanner(db, options).Run();
}

} // namespace tappo
