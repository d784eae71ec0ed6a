// The difficulty tables: the reader of the page, header and data, and the
// import into the song database that keeps a table whole or not at all.
#include "HeadlessPlayer.h"

#include "files/Files.h"
#include "library/LibraryDatabase.h"
#include "library/TableImport.h"
#include "library/TableReader.h"
#include "platform/Platform.h"
#include "tests/TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

namespace tappo {
namespace {

TEST(TableReader, FindsTheMetaTagWhateverItsSpelling) {
    EXPECT_EQ(FindTableMeta(R"(<html><head><meta name="bmstable" content="header.json"></head>)"),
              "header.json");
    EXPECT_EQ(FindTableMeta("<META CONTENT='h.json?a=1&amp;b=2' Name='BMSTable' />"),
              "h.json?a=1&b=2");
    EXPECT_EQ(FindTableMeta("<meta charset=utf-8><meta\ncontent=h.json name=bmstable>"), "h.json");
    EXPECT_EQ(FindTableMeta(R"(<meta name="bmstable-x" content="no"><metadata name="bmstable")"),
              std::nullopt);
    EXPECT_EQ(FindTableMeta(R"(<meta name="bmstable" content="cut)"), "cut");
    EXPECT_EQ(FindTableMeta("<meta name=\"bmstable\""), std::nullopt);
}

TEST(TableReader, ResolvesRelativeUrls) {
    const std::string page = "https://example.org/tables/insane/index.html?x=1";
    EXPECT_EQ(ResolveTableUrl(page, "header.json"),
              "https://example.org/tables/insane/header.json");
    EXPECT_EQ(ResolveTableUrl(page, "../data.json"), "https://example.org/tables/data.json");
    EXPECT_EQ(ResolveTableUrl(page, "/d.json?v=2"), "https://example.org/d.json?v=2");
    EXPECT_EQ(ResolveTableUrl(page, "//cdn.example.org/d.json"), "https://cdn.example.org/d.json");
    EXPECT_EQ(ResolveTableUrl(page, "http://other/x.json"), "http://other/x.json");
    EXPECT_EQ(ResolveTableUrl("http://host", "h.json"), "http://host/h.json");
    EXPECT_EQ(ResolveTableUrl("/home/me/table/page.html", "h.json"), "/home/me/table/h.json");
    EXPECT_EQ(ResolveTableUrl("page.html", "h.json"), "h.json");
}

TEST(TableReader, ReadsTheHeaderWithOneOrSeveralDataUrls) {
    const TableHeader one = ReadTableHeader(
        R"({"name":"Insane","symbol":"★","data_url":"data.json","level_order":[1,"2",3.5,"?"]})",
        "http://h/t/header.json");
    EXPECT_EQ(one.Name, "Insane");
    EXPECT_EQ(one.Symbol, "★");
    EXPECT_EQ(one.DataUrls, std::vector<std::string>{"http://h/t/data.json"});
    EXPECT_EQ(one.LevelOrder, (std::vector<std::string>{"1", "2", "3.5", "?"}));
    const TableHeader many = ReadTableHeader(
        "\xEF\xBB\xBF{\"name\":\"N\",\"data_url\":[\"a.json\",\"/b.json\",7],\"level_order\":{}}",
        "http://h/t/header.json");
    EXPECT_EQ(many.DataUrls, (std::vector<std::string>{"http://h/t/a.json", "http://h/b.json"}));
    EXPECT_TRUE(many.LevelOrder.empty());
}

TEST(TableReader, RefusesAHeaderWithoutNameOrData) {
    EXPECT_THROW(ReadTableHeader(R"({"name":"N"})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"data_url":"d"})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"name":["N"],"data_url":"d"})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"name":"N","data_url":{}})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"name":"N","data_url":"d")", "h"), TableError);
    EXPECT_THROW(ReadTableHeader("[]", "h"), TableError);
    std::string many = R"({"name":"N","data_url":[)";
    for (size_t i = 0; i <= MaxTableDataUrls; ++i)
        many += (i ? ",\"d" : "\"d") + std::to_string(i) + "\"";
    EXPECT_THROW(ReadTableHeader(many + "]}", "h"), TableError);
}

TEST(TableReader, ReadsEntriesAndSkipsThoseOfTheWrongKind) {
    const std::string md5(32, 'A'), sha(64, 'b');
    TableData data;
    ReadTableData(R"([
        {"level":12,"md5":")" +
                      md5 + R"(","title":"T\nx","artist":"A","url":"u","url_diff":"d"},
        {"level":"3","sha256":")" +
                      sha + R"(","md5":"","extra":[1,2]},
        {"level":1.5,"md5":null,"sha256":")" +
                      sha + R"("},
        {"level":[1],"md5":")" +
                      md5 + R"("},
        {"level":"1","md5":"xyz"},
        {"level":"1","sha256":")" +
                      md5 + R"("},
        {"level":"1"},
        {"md5":")" + md5 +
                      R"("},
        {"level":"1","md5":")" +
                      md5 + R"(","title":{}},
        "text", 5, null])",
                  data);
    ASSERT_EQ(data.Entries.size(), 3U);
    EXPECT_EQ(data.Entries[0].Level, "12");
    EXPECT_EQ(data.Entries[0].Md5, std::string(32, 'a'));
    EXPECT_EQ(data.Entries[0].Title, "T x");
    EXPECT_EQ(data.Entries[0].UrlDiff, "d");
    EXPECT_EQ(data.Entries[1].Sha256, sha);
    EXPECT_TRUE(data.Entries[1].Md5.empty());
    EXPECT_EQ(data.Entries[2].Level, "1.5");
    EXPECT_EQ(data.Skipped, 9U);
    ASSERT_FALSE(data.Warnings.empty());
    EXPECT_EQ(data.Warnings[0], "entry 3: level is not a string or number");
}

TEST(TableReader, RefusesDataThatIsNoArrayOrDoesNotParse) {
    TableData data;
    EXPECT_THROW(ReadTableData(R"({"level":1})", data), TableError);
    EXPECT_THROW(ReadTableData(R"([{"level":1,)", data), TableError);
    EXPECT_THROW(ReadTableData("", data), TableError);
    EXPECT_THROW(ReadTableData(std::string(MaxTableDocumentBytes + 1, ' '), data), TableError);
    EXPECT_TRUE(LooksLikeJson(" \n{\"name\":1}"));
    EXPECT_FALSE(LooksLikeJson("<!DOCTYPE html>"));
}

// A web of documents by URL; a URL it lacks answers as a 404 would.
struct FakeWeb {
    std::map<std::string, std::string> documents;
    std::map<std::string, std::string> moved; // redirects: from, to
    FetchedDocument operator()(const std::string& asked) const {
        const auto to = moved.find(asked);
        const std::string url = to == moved.end() ? asked : to->second;
        const auto found = documents.find(url);
        if (found == documents.end()) throw TableError(url + ": the server answered HTTP 404");
        return {found->second, url};
    }
};

int64_t Number(LibraryDatabase& db, const char* sql) {
    Statement statement(db, sql);
    return statement.Step() ? statement.Int(0) : -1;
}

const std::string Md5A(32, 'a'), Md5B(32, 'b'), ShaC(64, 'c');

FakeWeb SampleTable() {
    FakeWeb web;
    web.documents["http://t/index.html"] = R"(<meta name="bmstable" content="h.json">)";
    web.documents["http://t/h.json"] =
        R"({"name":"Sample","symbol":"sl","data_url":["d1.json","d2.json"],"level_order":[2,1]})";
    web.documents["http://t/d1.json"] = R"([{"level":1,"md5":")" + Md5A + R"(","title":"A"},
        {"level":2,"md5":")" + Md5B + R"("}])";
    web.documents["http://t/d2.json"] = R"([{"level":1,"sha256":")" + ShaC + R"("}, 7])";
    return web;
}

TEST(TableImport, StoresTheTableInItsOrderAndCountsWhatTheLibraryHolds) {
    LibraryDatabase db(":memory:");
    db.Execute(
        "INSERT INTO root(path) VALUES('/s');"
        "INSERT INTO folder(root_id, path, walk_order) VALUES(1, '/s/a/', 0);"
        "INSERT INTO chart(folder_id, file_name, size, mtime_ns, md5, reading,"
        " reader_version) VALUES(1, 'a.bms', 1, 1, x'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa', 0, 1)");
    const ImportedTable table = ImportTable(db, "http://t/index.html", SampleTable());
    EXPECT_EQ(table.Name, "Sample");
    EXPECT_EQ(table.Entries, 3U);
    EXPECT_EQ(table.InLibrary, 1U);
    EXPECT_EQ(table.Skipped, 1U);
    EXPECT_EQ(Number(db, "SELECT count(*) FROM table_entry WHERE position = 2 AND level = '1'"
                         " AND sha256 = x'cccccccccccccccccccccccccccccccccccccccccccccccc"
                         "cccccccccccccccc' AND md5 IS NULL"),
              1);
    Statement order(db, "SELECT level_order, symbol, url FROM difficulty_table");
    ASSERT_TRUE(order.Step());
    EXPECT_EQ(order.Bytes(0), R"(["2","1"])");
    EXPECT_EQ(order.Bytes(2), "http://t/index.html");
}

TEST(TableImport, AFailedRefreshLeavesTheTableAsItWas) {
    LibraryDatabase db(":memory:");
    FakeWeb web = SampleTable();
    ImportTable(db, "http://t/index.html", web);
    web.documents["http://t/h.json"] = R"({"name":"Renamed","data_url":["d1.json","d2.json"]})";
    web.documents["http://t/d2.json"] = R"([{"level":1,"sha256":")" + ShaC + R"(" )";
    EXPECT_THROW(ImportTable(db, "http://t/index.html", web), TableError);
    web.documents.erase("http://t/d2.json");
    try {
        ImportTable(db, "http://t/index.html", web);
        ADD_FAILURE() << "a missing data document is a fault";
    } catch (const TableError& e) {
        EXPECT_EQ(std::string(e.what()), "http://t/d2.json: the server answered HTTP 404");
    }
    EXPECT_EQ(Number(db, "SELECT count(*) FROM table_entry"), 3);
    EXPECT_EQ(Number(db, "SELECT count(*) FROM difficulty_table WHERE name = 'Sample'"), 1);
    // A refresh that reads replaces every row.
    web.documents["http://t/d2.json"] = "[]";
    EXPECT_EQ(ImportTable(db, "http://t/index.html", web).Entries, 2U);
    EXPECT_EQ(Number(db, "SELECT count(*) FROM table_entry"), 2);
    EXPECT_EQ(Number(db, "SELECT count(*) FROM difficulty_table WHERE name = 'Renamed'"), 1);
}

TEST(TableImport, AHeaderGivenDirectlyAndAPageWithoutTheTagAreTold) {
    LibraryDatabase db(":memory:");
    FakeWeb web = SampleTable();
    EXPECT_EQ(ImportTable(db, "http://t/h.json", web).Entries, 3U);
    // A page that moved: its header is found beside where it moved to.
    web.moved["http://old/table"] = "http://t/index.html";
    EXPECT_EQ(ImportTable(db, "http://old/table", web).Entries, 3U);
    web.documents["http://t/plain.html"] = "<html><meta name=description content=x></html>";
    EXPECT_THROW(ImportTable(db, "http://t/plain.html", web), TableError);
    // A page on the web cannot make the player read a file of this computer.
    web.documents["http://t/sly.html"] = R"(<meta name=bmstable content="file:///etc/passwd">)";
    web.documents["file:///etc/passwd"] = R"({"name":"N","data_url":"d"})";
    EXPECT_THROW(ImportTable(db, "http://t/sly.html", web), TableError);
    EXPECT_EQ(StoredTableSources(db),
              (std::vector<std::string>{"http://t/h.json", "http://old/table"}));
}

TEST(LibraryDatabase, AFileOfTheFirstVersionGainsTheTablesInPlace) {
    test::TempDir dir;
    const std::string path = dir.File("library.db");
    {
        LibraryDatabase db(path);
        db.Execute("DROP TABLE table_entry; DROP TABLE difficulty_table; PRAGMA user_version = 1;"
                   "INSERT INTO root(path) VALUES('/kept')");
    }
    LibraryDatabase db(path);
    EXPECT_FALSE(db.InMemory()) << db.Notice();
    EXPECT_EQ(Number(db, "PRAGMA user_version"), LibrarySchemaVersion);
    EXPECT_EQ(Number(db, "SELECT count(*) FROM root WHERE path = '/kept'"), 1);
    EXPECT_EQ(Number(db, "SELECT count(*) FROM difficulty_table"), 0);
}

// The select screen with one song folder and a table of two levels: level
// "2" (its order first) with the song's chart and an entry the library
// lacks, then level "1" with another entry it lacks.
struct TableScreen : test::HeadlessPlayer {
    TableScreen() {
        const std::string text = "#TITLE Song\n#ARTIST Maker\n#BPM 120\n#00111:01\n";
        Write("songs/one/a.bms", std::vector<uint8_t>(text.begin(), text.end()));
        songsFolder = dir.File("songs");
        const std::string chart = dir.File("songs/one/a.bms");
        library.emplace();
        library->ReadCharts = [] { return ChartFactsByPath(); };
        library->ReadTables = [chart] {
            return std::vector<TableFolder>{
                {"T2  Test", {{chart, "", "", ""}, {"", "Gone", "Nobody", "http://x/g.zip"}}},
                {"T1  Test", {{"", "Other", "Someone", "http://x/o.zip"}}}};
        };
    }
    const SongList& Songs() const { return player->Status().Songs(); }
    void Move(Key key) {
        keys.Tap(key);
        Frames(SlideFrames + 2);
    }
    void Shot(const char* name) {
        if (const char* folder = std::getenv("TAPPO_TABLE_SHOTS"))
            WriteFileAtomic(std::string(folder) + "/" + name + ".png", EncodePng(Back()));
    }
};

TEST(TableFolders, FollowTheSongFoldersAndLackingEntriesCannotStart) {
    TableScreen s;
    s.Start({});
    s.Frames(20);
    ASSERT_EQ(s.Songs().ChartList.size(), 4U); // the chart, then the table's three entries
    s.Shot("song");
    s.Move(Key::Right); // to level 2: the song's chart, its header read from the file
    s.Shot("level2-chart");
    EXPECT_EQ(s.Songs().ChartIndex, 1);
    EXPECT_EQ(s.player->Status().CurrentChart().Header.Title, "Song");
    s.keys.Tap(Key::Z); // plays the song's chart; leaving comes back to the entry
    s.Frames(30);
    EXPECT_TRUE(s.player->Status().ChartActive());
    s.player->LeavePlay();
    s.Frames(5);
    EXPECT_EQ(s.player->Status().Mode(), ScreenSelect);
    EXPECT_EQ(s.Songs().ChartIndex, 1);
    s.Move(Key::Down); // the entry the library lacks: Start does nothing
    s.Shot("level2-lacking");
    EXPECT_EQ(s.Songs().ChartIndex, 2);
    s.keys.Tap(Key::Z);
    s.Frames(5);
    EXPECT_EQ(s.player->Status().Mode(), ScreenSelect);
    EXPECT_FALSE(s.player->Status().ChartActive());
    s.Move(Key::Right); // level 1
    s.Shot("level1");
    EXPECT_EQ(s.Songs().ChartIndex, 3);
    s.Move(Key::Right); // round to the song folder
    EXPECT_EQ(s.Songs().ChartIndex, 0);
    s.Move(Key::O); // the letter keys pass over the entries
    EXPECT_TRUE(s.messages.shown.empty()) << s.messages.shown[0];
}

TEST(TableFolders, ALongLabelIsCutOnACharacter) {
    // A table's symbol, level and name are its own: a label of 3,000 bytes of
    // 3-byte characters is kept to its first 255 bytes, whole characters.
    std::string label;
    for (int i = 0; i < 1000; ++i)
        label += "\xE2\x98\x85";
    TableFolders tables;
    tables.Use([&] { return std::vector<TableFolder>{{label, {{"", "t", "a", ""}}}}; });
    std::vector<std::string> list;
    tables.AppendTo(list);
    ASSERT_EQ(list.size(), 1U);
    ASSERT_NE(tables.LabelOf(list[0]), nullptr);
    EXPECT_EQ(*tables.LabelOf(list[0]), label.substr(0, 255));
}

TEST(TableFolders, FollowAScanRunningWhileTheScreenIsUp) {
    // The scan finds songs/two/b.bms, the chart of the entry the library lacked.
    TableScreen s;
    const std::string text = "#TITLE Found\n#BPM 120\n#00111:01\n";
    s.Write("songs/two/b.bms", std::vector<uint8_t>(text.begin(), text.end()));
    const std::string found = s.dir.File("songs/two/b.bms"), one = s.dir.File("songs/one/a.bms");
    auto scanned = std::make_shared<int>(0); // news taken
    s.library->ReadTables = [=] {
        return std::vector<TableFolder>{
            {"T2  Test", {{one, "", "", ""}, {*scanned >= 2 ? found : "", "Gone", "", ""}}},
            {"T1  Test", {{"", "Other", "Someone", "http://x/o.zip"}}}};
    };
    s.library->TakeNews = [=] {
        LibraryNews news;
        news.Scanning = ++*scanned < 2;
        if (*scanned == 1) news.Written.emplace(PathKey(found), ChartFacts{});
        return news;
    };
    // Only b.bms's folder is searched at start: the chart is new to the list.
    std::filesystem::rename(s.dir.File("songs/two"), s.dir.File("later"));
    s.Start({});
    std::filesystem::rename(s.dir.File("later"), s.dir.File("songs/two"));
    for (int i = 0; i < 3; ++i)
        s.Frame(300);
    // The new chart stands with the song folders, before the table's entries.
    ASSERT_EQ(s.Songs().ChartList.size(), 5U);
    EXPECT_EQ(PathKey(s.Songs().ChartList[1]), PathKey(found));
    EXPECT_EQ(s.player->Status().SelectView().ScanProgress().second, 2)
        << "the entries are no charts";
    s.Move(Key::Right);
    s.Move(Key::Right); // level 2: the song's chart
    s.Move(Key::Down);  // the entry that now has the chart the scan found
    EXPECT_EQ(s.Songs().ChartIndex, 3);
    EXPECT_EQ(s.player->Status().CurrentChart().Header.Title, "Found");
    s.keys.Tap(Key::Z);
    s.Frames(30);
    EXPECT_TRUE(s.player->Status().ChartActive());
}

} // namespace
} // namespace tappo
