// The player driven headless: start-up modes from the command line, the
// loading and error screens as a user sees them, Esc, and missing assets.
#include "HeadlessPlayer.h"
#include "files/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

// A program folder with the real assets, and a form on it.
struct PlayerFixture : HeadlessPlayer {
    using HeadlessPlayer::HeadlessPlayer;
    void Create(const std::vector<std::string>& args, bool fullScreen = true) {
        Start(args, fullScreen);
    }
    // Rows of a picture that hold white (text) pixels.
    static std::pair<int, int> WhiteRows(const Surface& s) {
        int first = -1, last = -1;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                if (s.Pixel(x, y) == 0xFFFF) {
                    if (first < 0) first = y;
                    last = y;
                }
        return {first, last};
    }
    // Leftmost and rightmost columns with white pixels.
    static std::pair<int, int> WhiteColumns(const Surface& s) {
        int first = 320, last = -1;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                if (s.Pixel(x, y) == 0xFFFF) first = std::min(first, x), last = std::max(last, x);
        return {first, last};
    }
};

} // namespace

TEST(Player, NoChartsShowsItsScreenOnceTheTimerRuns) {
    PlayerFixture f;
    f.Create({});
    EXPECT_EQ(f.presenter.Presents(), 1) << "the loading screen is shown as the display opens";
    EXPECT_EQ(f.player->Status().Mode(), ScreenNoCharts);
    EXPECT_FALSE(f.player->Status().ChartActive());
    EXPECT_EQ(f.player->Status().FramesRun(), 0) << "no frame before the timer is enabled";
    EXPECT_TRUE(f.player->Status().Timer().Running());
    EXPECT_EQ(f.player->Status().Picture().Width(), 320);
    EXPECT_EQ(f.player->Status().Toggles().ShowBga, true);
    f.Frames(3);
    EXPECT_EQ(f.player->Status().FramesRun(), 3);
    EXPECT_EQ(f.presenter.Presents(), 4);
}

TEST(Player, NoChartsShowsTheMessageCentredOverTheWarp) {
    PlayerFixture f;
    f.Create({});
    f.Frames(3);
    if (!f.fonts.Available()) GTEST_SKIP() << "no font installed";
    auto [top, bottom] = f.WhiteRows(f.Back());
    EXPECT_GE(top, 80) << "the text's top is at 240 / 2 - 40";
    EXPECT_LE(bottom, 80 + 14);
    auto [left, right] = f.WhiteColumns(f.Back());
    EXPECT_LE(std::abs((left + right) - 319), 6) << "centred: " << left << ".." << right;
    // The warp is behind it: plenty of colour away from the text.
    int coloured = 0;
    for (int x = 0; x < 320; ++x)
        coloured += f.Back().Pixel(x, 200) != 0;
    EXPECT_GT(coloured, 250);
}

TEST(Player, CommandLineFileThatIsNoChartShowsTheErrorScreen) {
    PlayerFixture f;
    std::filesystem::create_directories(f.dir.Folder() + "songs");
    f.Create({f.dir.File("notes.txt")});
    EXPECT_EQ(f.player->Status().Mode(), ScreenNotAChart) << "the chart search does not change it";
    EXPECT_FALSE(f.player->Status().ChartActive());
}

TEST(Player, CommandLineChartExtensionIgnoresCase) {
    PlayerFixture f;
    WriteFileAtomic(f.dir.File("Song.BMS"), {'#', 'B', 'P', 'M', ' ', '9', '0'});
    f.Create({f.dir.File("Song.BMS"), "ignored.txt"});
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
    EXPECT_TRUE(f.player->Status().ChartActive());
    EXPECT_TRUE(f.player->Status().Songs().ChartList.empty())
        << "only the first argument counts; no search";
}

namespace {

// Two song folders, "a" and "b", one chart each, and a folder named like a chart.
struct ChartListFixture : PlayerFixture {
    ChartListFixture() {
        std::filesystem::create_directories(dir.File("songs/b"));
        std::filesystem::create_directories(dir.File("songs/a/folder.bms"));
        WriteFileAtomic(dir.File("songs/b/two.bms"), {'#', 'T', 'I', 'T', 'L', 'E', ' ', 'B'});
        WriteFileAtomic(dir.File("songs/a/one.bms"), {'#', 'T', 'I', 'T', 'L', 'E', ' ', 'A'});
        Create({});
    }
};

} // namespace

TEST(Player, ChartsBelowTheProgramFolderFillTheList) {
    ChartListFixture f;
    EXPECT_EQ(f.player->Status().Mode(), ScreenSelect);
    EXPECT_EQ(
        f.player->Status().Songs().ChartList,
        (std::vector<std::string>{f.dir.File("songs/a/one.bms"), f.dir.File("songs/b/two.bms")}));
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "A")
        << "the first chart's header is read";
}

TEST(Player, ASecondDisplayInitialisationFindsTheSameChartsOnceEach) {
    ChartListFixture f;
    f.Frames(101);              // a steady frame rate lets F3 work
    f.player->KeyDown(Key::F3); // the display is made again
    ASSERT_EQ(f.presenter.opens, 2);
    EXPECT_EQ(f.player->Status().Songs().ChartList.size(), 2u);
}

TEST(Player, ASongsFolderElsewhereIsSearchedInstead) {
    PlayerFixture f;
    TempDir songs;
    f.Write("here.bms", {'#'});
    std::filesystem::create_directories(songs.File("x"));
    WriteFileAtomic(songs.File("x/there.bms"), {'#'});
    f.songsFolder = songs.Folder();
    f.Create({});
    EXPECT_EQ(f.player->Status().Songs().ChartList,
              std::vector<std::string>{songs.File("x/there.bms")});
}

TEST(Player, CommandLineChartIsCompiledAtStartUp) {
    PlayerFixture f;
    WriteFileAtomic(f.dir.File("song.bms"), {'#', 'P', 'L', 'A', 'Y', 'E', 'R', ' ', '2', '\n',
                                             '#', '0', '0', '1', '1', '1', ':', '0', '1', '\n'});
    f.Create({f.dir.File("song.bms")});
    EXPECT_TRUE(f.messages.shown.empty());
    const ChartSession& session = f.player->Status().CurrentChart();
    EXPECT_EQ(session.Chart.Events.LaneNotes(1, 0).size(), 1u);
    EXPECT_EQ(session.GameState.Lane2X, 184);
    EXPECT_EQ(session.SongFolder, f.dir.Folder());
}

TEST(Player, CommandLineChartThatDoesNotCompileEndsTheProgram) {
    // Reported once, and the half-built chart is not played: with nothing to
    // go back to, the program ends (exit code 1) once start-up is done. The
    // chart lies in the program folder: no chart list is searched there, so
    // its header is not read and reported again.
    PlayerFixture g;
    WriteFileAtomic(g.dir.File("bad.bms"), {'#', 'B', 'P', 'M', ' ', 'x', '\n'});
    g.Create({g.dir.File("bad.bms")});
    EXPECT_EQ(g.messages.shown, std::vector<std::string>{g.dir.File("bad.bms") +
                                                         ":1: 'x' は浮動小数点数ではありません"});
    EXPECT_TRUE(g.player->Status().Songs().ChartList.empty());
    EXPECT_FALSE(g.player->Status().ChartActive());
    EXPECT_TRUE(g.player->Status().CloseRequested());
    EXPECT_EQ(g.player->Status().ExitCode(), 1);
    EXPECT_EQ(g.player->Status().Picture().Width(), 320);
}

TEST(Player, LoadingScreenText) {
    // The first picture of a start-up is the loading screen.
    PlayerFixture f;
    std::pair<int, int> rows{-1, -1};
    int around = -1;
    f.presenter.OnPresent = [&](const Surface& back) {
        if (around >= 0) return;
        rows = PlayerFixture::WhiteRows(back);
        around = back.Pixel(5, 200);
    };
    f.Create({});
    EXPECT_EQ(around, 0) << "black around the text";
    if (!f.fonts.Available()) GTEST_SKIP() << "no font installed";
    EXPECT_GE(rows.first, 80);
    EXPECT_LE(rows.second, 94);
}

TEST(Player, EscClosesWhereThereIsNothingToGoBackTo) {
    PlayerFixture f;
    f.Create({});
    f.player->LeavePlay();
    EXPECT_TRUE(f.player->Status().CloseRequested());
    EXPECT_EQ(f.player->Status().Mode(), ScreenSelect);
}

TEST(Player, EscFromAChartWithAListGoesBackToIt) {
    PlayerFixture g;
    std::filesystem::create_directories(g.dir.File("song"));
    WriteFileAtomic(g.dir.File("song/a.bms"), {'#', 'B', 'P', 'M', ' ', '9', '0'});
    g.Create({});
    g.keys.Tap(Key::Z); // Start on the select screen
    g.Frame();
    ASSERT_EQ(g.player->Status().Mode(), ScreenPlay);
    g.player->LeavePlay();
    EXPECT_FALSE(g.player->Status().CloseRequested())
        << "a chart from the select screen goes back to it";
    EXPECT_EQ(g.player->Status().Mode(), ScreenSelect);
    EXPECT_FALSE(g.player->Status().ChartActive());
}

TEST(Player, FullScreenHidesTheCursorAndRecentresThePointer) {
    PlayerFixture f;
    f.Create({});
    EXPECT_FALSE(f.presenter.cursorVisible);
    f.Frames(2);
    EXPECT_EQ(f.presenter.pointerMoves, 2);
    EXPECT_EQ(f.presenter.pointer, (std::pair<int, int>{160, 120}));
}

TEST(Player, AWindowShowsTheCursorAndLeavesThePointer) {
    PlayerFixture w;
    w.Create({}, false);
    w.Frames(2);
    EXPECT_TRUE(w.presenter.cursorVisible);
    EXPECT_EQ(w.presenter.pointerMoves, 0);
}

namespace {
class MissingAsset : public testing::TestWithParam<const char*> {};
} // namespace

TEST_P(MissingAsset, StopsStartUpNamingTheFile) {
    const char* name = GetParam();
    PlayerFixture f;
    std::filesystem::remove(f.dir.File(name));
    try {
        f.Create({});
        FAIL() << name;
    } catch (const StartupError& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + f.dir.Folder() + name + " は開けません");
    }
}

INSTANTIATE_TEST_SUITE_P(Form, MissingAsset,
                         testing::Values("tappoplay.dxg", "select.bmp", "arrow.bmp"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '.') c = '_';
                             return name;
                         });

TEST(Player, ABrokenSpriteArchiveStopsStartUp) {
    PlayerFixture broken;
    WriteFileAtomic(broken.dir.File("tappoplay.dxg"), {1, 2, 3});
    try {
        broken.Create({});
        FAIL();
    } catch (const StartupError& e) {
        EXPECT_STREQ(e.what(), "不正なストリーム フォーマット");
    }
}

TEST(Assets, ProgramFolderAssetsAreComplete) {
    PlayerFixture f;
    SpriteSheet list;
    list.LoadFromFile(f.dir.File("tappoplay.dxg"));
    EXPECT_GE(list.Items.Count(), 8);
    EXPECT_EQ(list.Items.Items(2).Picture.Width, 10) << "stars are laid out 10 pixels wide";
    BitmapData arrows = LoadBmpFile(f.dir.File("arrow.bmp"));
    EXPECT_EQ(arrows.Width, 128);
    EXPECT_EQ(arrows.Height, 512);
    EXPECT_EQ(arrows.ColourAt(0, 0), 0u) << "each arrow cell keys out its top-left pixel";
    BitmapData select = LoadBmpFile(f.dir.File("select.bmp"));
    EXPECT_EQ(select.BitCount, 8);
    EXPECT_EQ(select.Width, 320);
    EXPECT_EQ(LoadBmpFile(f.dir.File("diskmask.bmp")).Width, 80);
    EXPECT_EQ(LoadBmpFile(f.dir.File("diskblank.bmp")).Height, 52);
    std::vector<uint8_t> wav = ReadWholeFile(f.dir.File("step.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
}
