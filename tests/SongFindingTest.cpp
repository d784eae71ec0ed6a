// Finding a song on the select screen: the sort, the key layout filter and
// the search, on the list alone and by key presses on the screen; and the
// song database's rows named as the chart search names the charts.
#include "HeadlessPlayer.h"

#include "app/LibraryAccess.h"

#include "library/LibraryQuery.h"
#include "library/LibraryScan.h"
#include "select/DensityGraph.h"
#include "select/FindingTable.h"
#include "select/SongOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace tappo;
using namespace tappo::test;

namespace {

ChartFacts Facts(const std::string& title, const std::string& layout, int32_t level,
                 const std::string& genre = "") {
    ChartFacts f;
    f.Title = title;
    f.Artist = "Artist of " + title;
    f.Genre = genre;
    f.KeyLayout = layout;
    f.Level = level;
    f.Bpm = 100 + level;
    f.LengthMs = 1000 * level;
    f.Notes = 10 * level;
    return f;
}

// Three folders in found order a/, b/, c/; c/ is not in the database.
const std::vector<std::string> Found = {"/s/a/1.bms", "/s/a/2.bms", "/s/b/1.bms", "/s/c/1.bms"};
const ChartFactsByPath Known = {{"/s/a/1.bms", Facts("Zeta", "7K", 9, "Trance")},
                                {"/s/a/2.bms", Facts("beta", "5K", 3)},
                                {"/s/b/1.bms", Facts("Alpha", "7K", 5)}};

std::vector<std::string> Arranged(SongSort sort, LayoutFilter layout = LayoutFilter::All,
                                  const std::string& search = "") {
    return ArrangeCharts(Found, Known, ListChoice{sort, layout, search});
}

} // namespace

TEST(SongOrder, SortsFoldersByTheirLowestValueKeepingChartsTogether) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Arranged(SongSort::Found), Found);
    // a/ holds "beta" (folded, below "zeta"), b/ "alpha": b/ first; c/ unknown, last.
    EXPECT_EQ(Arranged(SongSort::Title),
              (V{"/s/b/1.bms", "/s/a/1.bms", "/s/a/2.bms", "/s/c/1.bms"}));
    // By level a folder's charts go lowest first too.
    EXPECT_EQ(Arranged(SongSort::Level),
              (V{"/s/a/2.bms", "/s/a/1.bms", "/s/b/1.bms", "/s/c/1.bms"}));
    // Other sorts keep a folder's charts in found order.
    EXPECT_EQ(Arranged(SongSort::Notes),
              (V{"/s/a/1.bms", "/s/a/2.bms", "/s/b/1.bms", "/s/c/1.bms"}));
}

TEST(SongOrder, LayoutFilterAndSearchHideWhatDoesNotMatch) {
    using V = std::vector<std::string>;
    // a/ keeps one chart; c/, unknown, is gone.
    EXPECT_EQ(Arranged(SongSort::Found, LayoutFilter::K7), (V{"/s/a/1.bms", "/s/b/1.bms"}));
    EXPECT_EQ(Arranged(SongSort::Found, LayoutFilter::K5), (V{"/s/a/2.bms"}));
    EXPECT_TRUE(Arranged(SongSort::Found, LayoutFilter::K14).empty());
    // Without regard to ASCII case, in the genre as in the title; never across fields.
    EXPECT_EQ(Arranged(SongSort::Found, LayoutFilter::All, "TRAN"), (V{"/s/a/1.bms"}));
    EXPECT_EQ(Arranged(SongSort::Found, LayoutFilter::All, "ALPHA"), (V{"/s/b/1.bms"}));
    EXPECT_TRUE(Arranged(SongSort::Found, LayoutFilter::All, "zetaartist").empty());
    EXPECT_EQ(Arranged(SongSort::Found, LayoutFilter::K5, "a"), (V{"/s/a/2.bms"}));
}

TEST(SongOrder, ASearchNarrowedAndTakenBackFindsWhatAFreshOneFinds) {
    FindingTable table;
    table.Build(Found, Known);
    const auto fresh = [](const std::string& text) {
        FindingTable again;
        again.Build(Found, Known);
        return again.Arrange(ListChoice{SongSort::Found, LayoutFilter::All, text});
    };
    for (const char* text : {"a", "al", "alp", "al", "a", "e", "et", "", "eta", "zeta"})
        EXPECT_EQ(table.Arrange(ListChoice{SongSort::Found, LayoutFilter::All, text}), fresh(text))
            << text;
}

namespace {

std::vector<uint8_t> Chart(const std::string& title) {
    const std::string text = "#TITLE " + title + "\n#BPM 120\n#00111:01\n";
    return {text.begin(), text.end()};
}

struct FindingScreen : HeadlessPlayer {
    FindingScreen() {
        Write("songs/one/a.bms", Chart("Zeta"));
        Write("songs/one/b.bms", Chart("beta"));
        Write("songs/two/a.bms", Chart("Alpha"));
        songsFolder = dir.File("songs");
    }
    const std::vector<std::string>& List() const { return player->Status().Songs().ChartList; }
    std::string Selected() const { return player->Status().Songs().Selected(); }
    // The charts as the database would know them, by the paths the screen lists.
    void UseFacts() {
        ChartFactsByPath facts;
        for (const std::string& path : List()) {
            const std::string name = path.substr(path.size() - 9);
            facts[PathKey(path)] = name == "one/a.bms"   ? Facts("Zeta", "7K", 9)
                                   : name == "one/b.bms" ? Facts("beta", "5K", 3)
                                                         : Facts("Alpha", "7K", 5);
        }
        LibraryView view;
        view.ReadCharts = [facts] { return facts; };
        player->UseLibrary(view);
    }
};

} // namespace

TEST(SongFinding, SortKeepsTheCursorOnItsChart) {
    FindingScreen s;
    s.Start({});
    s.UseFacts();
    ASSERT_EQ(s.List().size(), 3u);
    s.player->KeyDown(Key::Right); // to the other folder
    s.Frames(20);
    const std::string before = s.Selected();
    const std::vector<std::string> found = s.List();
    for (int i = 0; i < SongSortCount; ++i) {
        s.player->KeyDown(Key::Tab);
        s.Frame();
        EXPECT_EQ(s.Selected(), before) << i;
    }
    EXPECT_EQ(s.List(), found); // the cycle comes back to the found order
}

TEST(SongFinding, ShiftTabStepsTheSortBack) {
    FindingScreen s;
    s.Start({});
    s.UseFacts();
    s.player->KeyDown(Key::ShiftTab);
    EXPECT_EQ(s.player->Status().SelectView().Choice().Sort, SongSort::LastPlayed);
    s.player->KeyDown(Key::Tab);
    EXPECT_EQ(s.player->Status().SelectView().Choice().Sort, SongSort::Found);
}

TEST(SongFinding, LevelBoundsStepAndHideChartsOutside) {
    // Levels 9 and 3 in one/, 5 in two/.
    FindingScreen s;
    s.Start({});
    s.UseFacts();
    for (int i = 0; i < 4; ++i)
        s.player->KeyDown(Key::RightBracket); // lowest level 4
    EXPECT_EQ(s.List().size(), 2u);
    s.player->KeyDown(Key::LeftBrace); // highest: the highest listed, 9
    s.player->KeyDown(Key::LeftBrace); // 8
    ASSERT_EQ(s.List().size(), 1u);
    EXPECT_EQ(s.Selected().substr(s.Selected().size() - 9), "two/a.bms");
    EXPECT_EQ(LevelRangeText(s.player->Status().SelectView().Choice()), "4-8");
    for (int i = 0; i < 4; ++i)
        s.player->KeyDown(Key::LeftBracket); // the lowest bound gone
    s.player->KeyDown(Key::RightBrace);      // 9
    EXPECT_EQ(s.List().size(), 3u);
    s.Frame();
}

TEST(SongFinding, APlayIsCountedAndOutlivesARescan) {
    FindingScreen s;
    const std::string dbFile = s.dir.File("library.db");
    const auto scan = [&](bool all) {
        LibraryDatabase db(dbFile);
        ScanOptions options;
        options.Roots = {s.songsFolder};
        options.ReadAll = all;
        ScanLibrary(db, options);
    };
    scan(false);
    s.Start({});
    s.player->UseLibrary(OpenLibraryView(dbFile, false));
    const std::string played = s.Selected();
    s.keys.Tap(Key::Z);
    s.Frames(5);
    ASSERT_EQ(s.player->Status().Mode(), ScreenPlay);
    scan(true); // every chart read again
    LibraryDatabase db(dbFile);
    int64_t plays = 0, last = 0;
    for (const ChartRow& row : ReadChartRows(db, false))
        if (PathKey(row.Path) == PathKey(played)) plays = row.TimesPlayed, last = row.LastPlayed;
    EXPECT_EQ(plays, 1);
    EXPECT_GT(last, 1'600'000'000);
}

TEST(SongFinding, TheDensityGraphIsDrawnForAChartWithARowAlone) {
    // One screen knows a graph for the first chart only; the other has no database.
    FindingScreen graphed, plain;
    for (FindingScreen* s : {&graphed, &plain})
        s->Start({});
    const std::string first = graphed.Selected();
    LibraryView view;
    view.GraphOf = [first](const std::string& chart) -> std::optional<ChartGraph> {
        if (chart != first) return std::nullopt;
        return ChartGraph{std::vector<uint8_t>(128, 8), 120, 180, 65000};
    };
    graphed.player->UseLibrary(view);
    const auto differs = [&] {
        graphed.Frame(), plain.Frame();
        const Surface &a = graphed.Back(), &b = plain.Back();
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if (a.Pixel(x, y) != b.Pixel(x, y)) return true;
        return false;
    };
    EXPECT_TRUE(differs());
    for (FindingScreen* s : {&graphed, &plain}) {
        s->keys.Tap(Key::Right);
        s->Frames(20);
    }
    ASSERT_NE(graphed.Selected(), first);
    EXPECT_FALSE(differs());
    EXPECT_EQ(GraphText(ChartGraph{{}, 120, 180, 65000}), "1:05 120-180");
    EXPECT_EQ(GraphText(ChartGraph{{}, 150, 150, 0}), "150");
}

TEST(SongFinding, AScanWhileTheScreenIsUpListsANewChart) {
    FindingScreen s;
    const std::string dbFile = s.dir.File("library.db");
    s.Start({});
    ScanOptions scan;
    scan.Roots = {s.songsFolder};
    s.player->UseLibrary(OpenLibraryView(dbFile, false, &scan));
    s.Write("songs/three/new.bms", Chart("Brand New"));
    // Old enough that the scan takes it as written whole.
    std::filesystem::last_write_time(s.dir.File("songs/three/new.bms"),
                                     std::filesystem::file_time_type::clock::now() -
                                         std::chrono::hours(1));
    const std::string before = s.Selected();
    for (int i = 0; i < 500 && s.List().size() < 4; ++i) {
        s.Frame(50);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(s.List().size(), 4u);
    EXPECT_EQ(s.Selected(), before);
    EXPECT_TRUE(std::any_of(s.List().begin(), s.List().end(),
                            [](const std::string& p) { return p.ends_with("three/new.bms"); }));
    s.player->UseLibrary(LibraryView()); // the scan is over or stops
}

TEST(SongFinding, LayoutFilterHidesFoldersWithNoChartLeft) {
    FindingScreen s;
    s.Start({});
    s.UseFacts();
    s.player->KeyDown(Key::F9); // 4 arrows: nothing matches, the list stays
    EXPECT_EQ(s.List().size(), 3u);
    s.player->KeyDown(Key::F9); // 5K: one chart
    ASSERT_EQ(s.List().size(), 1u);
    EXPECT_EQ(s.Selected(), s.List()[0]);
    s.Frame();
}

TEST(SongFinding, SearchNarrowsAndEscapeRestores) {
    FindingScreen s;
    s.Start({});
    s.UseFacts();
    const std::vector<std::string> found = s.List();
    s.player->KeyDown(Key::Slash);
    s.player->TextTyped("/"); // the slash that opened the line is no text
    s.player->TextTyped("ALP");
    s.player->KeyDown(Key::H);     // a letter key types; it neither jumps nor walks
    s.player->KeyDown(Key::Minus); // nor does "-" turn the volume down
    s.Frames(3);
    EXPECT_EQ(s.player->Status().Volume().Level(), 100);
    ASSERT_EQ(s.List().size(), 1u);
    EXPECT_EQ(s.Selected(), s.List()[0]);
    EXPECT_EQ(s.player->Status().SelectView().Choice().Search, "ALP");
    s.player->KeyDown(Key::Backspace);
    s.player->KeyDown(Key::Escape); // clears the search; the program goes on
    s.Frame();
    EXPECT_FALSE(s.player->Status().CloseRequested());
    EXPECT_EQ(s.List(), found);
    // Enter keeps the search with the line closed.
    s.player->KeyDown(Key::F8);
    s.player->TextTyped("eta");
    s.player->KeyDown(Key::Enter);
    EXPECT_FALSE(s.player->Status().SelectView().SearchLineOpen());
    EXPECT_EQ(s.List().size(), 2u);
}

TEST(SongFinding, DatabaseRowsFindTheChartsListed) {
    // The database was filled through another spelling of the songs folder.
    FindingScreen s;
    s.Start({});
    LibraryDatabase db(":memory:");
    ScanOptions options;
    options.Roots = {s.songsFolder + "/../songs/."};
    ScanLibrary(db, options);
    ChartFactsByPath known;
    for (const ChartRow& row : ReadChartRows(db, false))
        known[PathKey(row.Path)].Title = row.Title;
    const ChartFactsByPath listed = FactsOfList(s.List(), known);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed.at(s.List()[0]).Title, "Zeta");
}

TEST(SongFinding, TheBandGoesAndLeavesTheScreenAsItWas) {
    // Two screens, frame for frame: one cycles the sort round to the folders'
    // order again, the other is left alone.
    FindingScreen keyed, plain;
    for (FindingScreen* s : {&keyed, &plain}) {
        s->Start({});
        s->UseFacts();
        s->Frames(5);
    }
    const auto same = [&] {
        const Surface &a = keyed.Back(), &b = plain.Back();
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
        return true;
    };
    ASSERT_TRUE(same());
    for (int i = 0; i < SongSortCount; ++i)
        keyed.player->KeyDown(Key::Tab);
    keyed.Frame(), plain.Frame();
    EXPECT_FALSE(same()); // the band names the order
    keyed.Frames(150), plain.Frames(150);
    EXPECT_TRUE(same());
}
