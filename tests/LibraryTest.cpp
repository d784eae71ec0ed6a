// The song database and its incremental scan: the schema, what a rescan
// reads, what it drops and keeps, the files it must never touch, the digests
// and what a chart's row holds.
#include "chart/Reading.h"
#include "files/Files.h"
#include "library/ChartDigest.h"
#include "library/ChartSummary.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryScan.h"
#include "tests/TestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tappo {
namespace {

namespace fs = std::filesystem;

const char* const SmallChart = "#TITLE Small\n#ARTIST Someone\n#GENRE TEST\n#BPM 120\n"
                               "#PLAYLEVEL 4\n#WAV01 a.wav\n#00111:01010101\n#00211:0101\n";

// Writes a chart an hour old, so that no scan takes it for one still being written.
void WriteChart(const std::string& path, const std::string& text, int hoursOld = 1) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hoursOld));
}

std::string FileBytes(const std::string& path) {
    const std::vector<uint8_t> b = ReadWholeFile(path);
    return std::string(b.begin(), b.end());
}

int64_t Number(LibraryDatabase& db, const char* sql) {
    Statement s(db, sql);
    return s.Step() ? s.Int(0) : -1;
}

struct Library {
    test::TempDir dir;
    std::string songs = dir.File("songs");
    LibraryDatabase db{dir.File("library.db")};

    ScanCounts Scan(bool standard = false) {
        ScanOptions options;
        options.Roots = {songs};
        options.Reading.Standard = standard;
        return ScanLibrary(db, options);
    }
    void Add(const std::string& name, const std::string& text = SmallChart) {
        WriteChart(songs + "/" + name, text);
    }
};

TEST(LibraryDatabase, IsMadeWithTheCurrentSchemaInWalMode) {
    Library lib;
    EXPECT_FALSE(lib.db.InMemory());
    EXPECT_EQ(lib.db.Notice(), "");
    EXPECT_EQ(Number(lib.db, "PRAGMA user_version"), LibrarySchemaVersion);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN"
                             " ('meta', 'root', 'folder', 'chart', 'chart_stats')"),
              5);
    Statement mode(lib.db, "PRAGMA journal_mode");
    ASSERT_TRUE(mode.Step());
    EXPECT_EQ(mode.Bytes(0), "wal");
}

// A file the player cannot use is left byte for byte as it was, and the run
// goes on in memory, saying why.
void ExpectUntouchedAndInMemory(const std::string& path, const std::string& mustSay) {
    const std::string before = FileBytes(path);
    {
        LibraryDatabase db(path);
        EXPECT_TRUE(db.InMemory());
        EXPECT_NE(db.Notice().find(mustSay), std::string::npos) << db.Notice();
        EXPECT_NE(db.Notice().find(path), std::string::npos) << db.Notice();
        EXPECT_EQ(Number(db, "PRAGMA user_version"), LibrarySchemaVersion);
        ScanOptions options;
        EXPECT_NO_THROW(ScanLibrary(db, options));
    }
    EXPECT_TRUE(FileBytes(path) == before) << "the file was changed";
    EXPECT_FALSE(fs::exists(path + "-wal"));
}

TEST(LibraryDatabase, LeavesAFileOfANewerPlayerAlone) {
    test::TempDir dir;
    const std::string path = dir.File("library.db");
    { LibraryDatabase(path).Execute("PRAGMA user_version = 999"); }
    fs::remove(path + "-wal"), fs::remove(path + "-shm");
    ExpectUntouchedAndInMemory(path, "newer");
}

TEST(LibraryDatabase, LeavesADamagedFileAlone) {
    test::TempDir dir;
    const std::string notADatabase = dir.File("garbage.db");
    std::ofstream(notADatabase, std::ios::binary) << std::string(8192, 'x');
    ExpectUntouchedAndInMemory(notADatabase, "damaged");
    // A real header over a damaged schema page.
    const std::string damaged = dir.File("damaged.db");
    std::string bytes = "SQLite format 3" + std::string(1, '\0');
    bytes += std::string("\x10\x00\x01\x01\x00\x40\x20\x20", 8) + std::string(4096 * 2, '\xee');
    std::ofstream(damaged, std::ios::binary) << bytes;
    ExpectUntouchedAndInMemory(damaged, "damaged");
}

TEST(LibraryDatabase, AnUpgradeThatFailsLeavesTheFileAsItWas) {
    test::TempDir dir;
    const std::string path = dir.File("library.db");
    { LibraryDatabase(":memory:"); }
    {
        // A version-0 file whose "chart" table is someone else's: the step fails.
        LibraryDatabase mine(":memory:");
        mine.Execute(("ATTACH '" + path + "' AS other").c_str());
        mine.Execute("CREATE TABLE other.chart(x)");
    }
    ExpectUntouchedAndInMemory(path, "upgraded");
}

TEST(LibraryScan, RescanOfAnUnchangedFolderReadsNothing) {
    Library lib;
    lib.Add("a/one.bms");
    lib.Add("a/two.bms");
    lib.Add("b/three.BMS");
    lib.Add("b/not-a-chart.txt");
    ScanCounts first = lib.Scan();
    EXPECT_EQ(first.Charts, 3);
    EXPECT_EQ(first.Added, 3);
    ScanCounts again = lib.Scan();
    EXPECT_EQ(again.Charts, 3);
    EXPECT_EQ(again.Added + again.Changed + again.Removed, 0);
}

TEST(LibraryScan, ReadsAChangedChartAgain) {
    Library lib;
    lib.Add("a/one.bms");
    lib.Add("a/two.bms");
    lib.Scan();
    WriteChart(lib.songs + "/a/two.bms", std::string(SmallChart) + "#SUBTITLE new\n", 0);
    fs::last_write_time(lib.songs + "/a/two.bms",
                        fs::file_time_type::clock::now() - std::chrono::minutes(5));
    ScanCounts counts = lib.Scan();
    EXPECT_EQ(counts.Changed, 1);
    EXPECT_EQ(counts.Added, 0);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart WHERE subtitle IS NOT NULL"), 0)
        << "the exact reading shows no subtitle";
    // Only the modification time changed: read again all the same.
    fs::last_write_time(lib.songs + "/a/one.bms",
                        fs::file_time_type::clock::now() - std::chrono::minutes(3));
    EXPECT_EQ(lib.Scan().Changed, 1);
}

TEST(LibraryScan, AChartJustWrittenIsReadAgainNextTime) {
    Library lib;
    WriteChart(lib.songs + "/a/fresh.bms", SmallChart, 0);
    EXPECT_EQ(lib.Scan().Added, 1);
    EXPECT_EQ(lib.Scan().Changed, 1);
    // Dated ahead by a wrong clock: read once, not on every scan.
    Library other;
    WriteChart(other.songs + "/a/ahead.bms", SmallChart, -24);
    EXPECT_EQ(other.Scan().Added, 1);
    EXPECT_EQ(other.Scan().Changed, 0);
}

TEST(LibraryScan, DropsTheRowOfAChartGoneButKeepsItsStatistics) {
    Library lib;
    lib.Add("a/one.bms");
    lib.Add("a/three.bms", std::string(SmallChart) + "#00411:01\n");
    lib.Add("b/two.bms", std::string(SmallChart) + "#00311:01\n");
    lib.Scan();
    lib.db.Execute("UPDATE chart_stats SET times_played = 7");
    // A chart from a folder that stays, and a whole folder.
    fs::remove(lib.songs + "/a/three.bms");
    fs::remove_all(lib.songs + "/b");
    ScanCounts counts = lib.Scan();
    EXPECT_EQ(counts.Removed, 2);
    EXPECT_EQ(counts.Charts, 1);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart"), 1);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM folder"), 1);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart_stats WHERE times_played = 7"), 3);
    // Back again (or moved elsewhere): the same statistics.
    lib.Add("c/two-again.bms", std::string(SmallChart) + "#00311:01\n");
    lib.Scan();
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart c JOIN chart_stats s USING (sha256)"
                             " WHERE s.times_played = 7"),
              2);
}

TEST(LibraryScan, SongFoldersInsideOneAnotherDropWhatIsGoneBelowThem) {
    Library lib;
    lib.Add("a/one.bms");
    lib.Add("b/two.bms");
    lib.Scan();
    const std::string outer = lib.songs;
    lib.songs = outer + "/b"; // a song folder of its own, scanned by itself
    lib.Scan();
    std::filesystem::remove_all(outer + "/b");
    lib.songs = outer;
    EXPECT_EQ(lib.Scan().Removed, 1);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart"), 1);
}

TEST(LibraryScan, AMissingSongFolderDeletesNothing) {
    Library lib;
    lib.Add("a/one.bms");
    lib.Scan();
    fs::rename(lib.songs, lib.dir.File("unmounted"));
    ScanCounts counts = lib.Scan();
    EXPECT_EQ(counts.Removed, 0);
    ASSERT_EQ(counts.Notices.size(), 1u);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart"), 1);
}

TEST(LibraryScan, KeepsTheRowsBelowAFolderItCannotList) {
    if (geteuid() == 0) GTEST_SKIP() << "root lists every folder";
    Library lib;
    lib.Add("a/one.bms");
    lib.Add("a/deeper/two.bms");
    lib.Add("b/three.bms");
    lib.Scan();
    fs::permissions(lib.songs + "/a", fs::perms::none);
    const ScanCounts counts = lib.Scan();
    fs::permissions(lib.songs + "/a", fs::perms::owner_all);
    EXPECT_EQ(counts.Removed, 0);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart"), 3);
}

TEST(LibraryScan, StoresTheErrorOfAChartThatDoesNotRead) {
    Library lib;
    lib.Add("a/good.bms");
    lib.Add("a/garbage.bms", "#BPM 1 90\n#00111:01\n");
    // Past the size a chart may have: refused without being read.
    lib.Add("a/huge.bms");
    fs::resize_file(lib.songs + "/a/huge.bms", MaxFileBytes + 1);
    ScanCounts counts = lib.Scan();
    EXPECT_EQ(counts.Charts, 3);
    EXPECT_EQ(counts.Unreadable, 2);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart WHERE error IS NOT NULL AND"
                             " error <> '' AND notes IS NULL"),
              2);
    EXPECT_EQ(Number(lib.db, "SELECT count(*) FROM chart WHERE error IS NULL AND notes = 6"), 1);
    EXPECT_EQ(lib.Scan().Unreadable, 2) << "counted again while unchanged, not read again";
}

std::string CommandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    pclose(pipe);
    return out.substr(0, out.find(' '));
}

TEST(ChartDigest, MatchesMd5sumAndSha256sum) {
    test::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += char(i * 7 + i / 256);
    const std::string path = dir.File("chart.bms");
    std::ofstream(path, std::ios::binary) << bytes;
    const ChartDigest digest = DigestOf(bytes);
    EXPECT_EQ(HexOf(digest.Md5), CommandOutput("md5sum " + path));
    EXPECT_EQ(HexOf(digest.Sha256), CommandOutput("sha256sum " + path));
    EXPECT_EQ(HexOf(DigestOf("").Md5), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(ChartSummary, CountsTempoLengthAndDensity) {
    test::TempDir dir;
    const std::string path = dir.File("c.bme");
    // Measure 0 empty (2 s at 120 BPM); 240 BPM from the middle of measure 1;
    // notes on keys 1 and 2, a long note on key 1, a mine that does not count.
    WriteChart(path, "#TITLE T\n#SUBARTIST obj: X\n#BANNER b.png\n#BPM 120\n#DIFFICULTY 3\n"
                     "#PLAYLEVEL 9\n#WAV01 a.wav\n#BPM01 240\n#00108:0001\n#00111:01010101\n"
                     "#00212:0101\n#00251:0101\n#002D1:01\n#00311:01\n");
    ChartReading reading;
    reading.Standard = true;
    const std::vector<uint8_t> data = ReadWholeFile(path);
    const ChartSummary s =
        SummarizeChart(CompileChartFileAs(reading, path, '.'),
                       ScanChartNames(std::string_view((const char*)data.data(), data.size())));
    EXPECT_EQ(s.Title, "T");
    EXPECT_EQ(s.Subartist, "obj: X");
    EXPECT_EQ(s.Banner, "b.png");
    EXPECT_EQ(s.Level, 9);
    EXPECT_EQ(s.Difficulty, 3);
    EXPECT_EQ(s.KeyLayout, "5K") << "keys 1 and 2 alone";
    EXPECT_EQ(s.Notes, 8);
    EXPECT_EQ(s.LongNotes, 1);
    EXPECT_DOUBLE_EQ(s.BpmMin, 120);
    EXPECT_DOUBLE_EQ(s.BpmMax, 240);
    // 3 s at 120 against 1.5 s at 240.
    EXPECT_DOUBLE_EQ(s.BpmMain, 120);
    EXPECT_EQ(s.LengthMs, 4500);
    ASSERT_EQ(s.Density.size(), size_t(DensitySpans));
    int nonZero = 0;
    for (uint8_t d : s.Density)
        nonZero += d != 0;
    EXPECT_EQ(nonZero, 7) << "one span for each time holding notes";
}

} // namespace
} // namespace tappo
