// The select screen: walks between song folders and within them, the slide
// lock, starting play, the banner cache and the drawing of the screen.
#include "HeadlessPlayer.h"
#include "base/Report.h"
#include "chart/ShiftJis.h"
#include "files/Files.h"

#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<uint8_t> Picture(uint32_t rgb) {
    BitmapData b;
    b.Width = 40, b.Height = 26, b.BitCount = 24;
    b.Pixels.assign(40 * 26, rgb);
    return EncodeBmp(b);
}

// Three song folders: a (3 charts), b (1 chart, a picture), c (1 chart, nothing).
struct SelectFixture : HeadlessPlayer {
    SelectFixture() {
        for (const char* f : {"a/1.bms", "a/2.bms", "a/3.bms", "b/1.bms", "c/1.bms"})
            Write(f, Bytes(std::string("#TITLE ") + f + "\n#PLAYLEVEL 2\n#BPM 150\n"));
        Write("b/picture.bmp", Picture(0x00FF00));
        Start({});
    }
    std::string Current() const {
        return player->Status().Songs().Selected().substr(dir.Folder().size());
    }
    // Holds `key` for one frame, then lets the slide run out.
    void Move(Key key) {
        keys.Press(key);
        Frame();
        keys.ReleaseAll();
        for (int i = 0; i < SlideFrames; ++i)
            Frame();
    }
};

} // namespace

TEST(Select, RightAndLeftWalkBetweenFolders) {
    SelectFixture f;
    ASSERT_EQ(f.player->Status().Mode(), ScreenSelect);
    EXPECT_EQ(f.Current(), "a/1.bms");
    f.Move(Key::Right);
    EXPECT_EQ(f.Current(), "b/1.bms") << "the first chart of the next folder";
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "b/1.bms");
    f.Move(Key::Right);
    EXPECT_EQ(f.Current(), "c/1.bms");
    f.Move(Key::Right);
    EXPECT_EQ(f.Current(), "a/1.bms") << "from the last folder to the first chart of the list";
    f.Move(Key::Left);
    EXPECT_EQ(f.Current(), "c/1.bms");
    f.Move(Key::Left);
    f.Move(Key::Left);
    EXPECT_EQ(f.Current(), "a/3.bms") << "the last chart of the preceding folder";
}

TEST(Select, TheScreenShowsTheChartWalkedTo) {
    // The texts are laid out once per change of chart: after a walk through
    // other charts the screen is the one a list holding only that chart shows
    // after as many frames, with no text left from the way.
    SelectFixture far;
    far.Move(Key::Right);
    far.Move(Key::Right);
    ASSERT_EQ(far.Current(), "c/1.bms");
    HeadlessPlayer only;
    only.Write("c/1.bms", Bytes("#TITLE c/1.bms\n#PLAYLEVEL 2\n#BPM 150\n"));
    only.Start({});
    only.Frames(2 * (1 + SlideFrames));
    const Surface &a = far.Back(), &b = only.Back();
    ASSERT_EQ(a.Width(), b.Width());
    int differing = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            differing += a.Pixel(x, y) != b.Pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST(Select, UpAndDownWalkWithinAFolderAndWrap) {
    SelectFixture f;
    f.Move(Key::Left);
    ASSERT_EQ(f.Current(), "c/1.bms");
    f.Move(Key::Left);
    ASSERT_EQ(f.Current(), "b/1.bms");
    f.Move(Key::Left);
    ASSERT_EQ(f.Current(), "a/3.bms");
    f.Move(Key::Up);
    EXPECT_EQ(f.Current(), "a/1.bms") << "up from a folder's last chart wraps to its first";
    f.Move(Key::Down);
    EXPECT_EQ(f.Current(), "a/3.bms") << "down from the first wraps to the last";
    f.Move(Key::Down);
    EXPECT_EQ(f.Current(), "a/2.bms");
}

TEST(Select, MovesLockInputForSixteenFrames) {
    SelectFixture f;
    f.keys.Press(Key::Right);
    f.Frame();
    EXPECT_EQ(f.player->Status().SelectView().SlideCountdown(), 16);
    EXPECT_EQ(f.player->Status().Songs().SlideDirection, 1);
    for (int i = 0; i < 16; ++i)
        f.Frame();
    EXPECT_EQ(f.Current(), "b/1.bms") << "the held key waits out the slide";
    f.Frame();
    EXPECT_EQ(f.Current(), "c/1.bms") << "and moves again on the 17th frame";
}

TEST(Select, LeftAndUpTogetherMoveByFolder) {
    SelectFixture f;
    f.Move(Key::Right);
    f.Move(Key::Right);
    ASSERT_EQ(f.Current(), "c/1.bms");
    f.keys.Press(Key::Left);
    f.keys.Press(Key::Up);
    f.Frame();
    f.keys.ReleaseAll();
    EXPECT_EQ(f.Current(), "b/1.bms");
}

TEST(Select, Button1StartsTheChart) {
    SelectFixture f;
    f.Move(Key::Right);
    f.keys.Press(Key::Z);
    f.keys.Press(Key::Right);
    f.Frame();
    f.keys.ReleaseAll();
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
    EXPECT_TRUE(f.player->Status().ChartActive());
    EXPECT_EQ(f.player->Status().CurrentChart().Chart.LastSoundTime, 0);
    EXPECT_EQ(f.Current(), "b/1.bms");
}

TEST(Select, EscFromPlayGoesBackToTheSameChart) {
    SelectFixture f;
    f.Move(Key::Right);
    f.keys.Tap(Key::Z);
    f.Frame();
    ASSERT_EQ(f.player->Status().Mode(), ScreenPlay);
    f.player->LeavePlay();
    EXPECT_EQ(f.player->Status().Mode(), ScreenSelect);
    EXPECT_FALSE(f.player->Status().CloseRequested());
    EXPECT_EQ(f.Current(), "b/1.bms");
}

TEST(Select, StartShowsTheLoadingScreenFirst) {
    SelectFixture f;
    const long before = f.presenter.Presents();
    f.keys.Press(Key::Z);
    f.Frame();
    EXPECT_EQ(f.presenter.Presents() - before, 2)
        << "the loading screen, then the frame's own flip";
}

TEST(Select, AChartThatDoesNotCompileGoesBackToTheList) {
    SelectFixture f;
    f.Write("a/1.bms", Bytes("#TITLE Broken\n#PLAYLEVEL 2\n#BPM 150\n#00x11:01\n"));
    f.keys.Press(Key::Z);
    f.Frame();
    f.keys.ReleaseAll();
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0], f.dir.File("a/1.bms") + ":4: '00x' は整数ではありません")
        << "the chart and the line it was met on";
    EXPECT_EQ(f.player->Status().Mode(), ScreenSelect);
    EXPECT_FALSE(f.player->Status().ChartActive());
    EXPECT_FALSE(f.player->Status().CloseRequested());
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "Broken")
        << "the header read before the error is shown";
    EXPECT_EQ(f.Current(), "a/1.bms");
}

TEST(Select, AnUnreadableChartShowsItsOwnHeaderNotThePreviousOne) {
    // Walked to from a chart with stars and a tempo, the screen is the one a
    // list holding only the unreadable chart shows: its title, no stars, no
    // tempo, its error where the genre goes.
    const char* unreadable = "#TITLE Own\n#BPM fast\n#PLAYLEVEL 9\n";
    SelectFixture far;
    far.Write("b/1.bms", Bytes(unreadable));
    far.Move(Key::Right);
    ASSERT_EQ(far.Current(), "b/1.bms");
    ASSERT_EQ(far.messages.shown, std::vector<std::string>{"'fast' は浮動小数点数ではありません"});
    EXPECT_EQ(far.player->Status().CurrentChart().GameState.PlayLevel, 2)
        << "the session keeps the values the next compile starts from";
    HeadlessPlayer only;
    only.Write("b/1.bms", Bytes(unreadable));
    only.Write("b/picture.bmp", Picture(0x00FF00));
    only.Start({});
    only.Frames(1 + SlideFrames);
    const Surface &a = far.Back(), &b = only.Back();
    int differing = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            differing += a.Pixel(x, y) != b.Pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST(Select, TheStandardReadingNamesAnUnreadableChartInItsReport) {
    HeadlessPlayer f;
    f.reading.Standard = true;
    f.Write("s/a.bmson", Bytes("[1, 2]"));
    f.Start({});
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{f.dir.File("s/a.bmson") +
                                                         ": bmson: not an object (byte 0)"});
}

TEST(Select, ABmsonChartThatDoesNotPlayIsNamedOnceInUtf8) {
    HeadlessPlayer f;
    f.reading.Standard = true;
    f.Write("s/\x83\x41.bmson", Bytes("[1, 2]")); // ア in Shift-JIS
    f.Start({f.dir.File("s/\x83\x41.bmson")});
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{f.dir.File("s/\xE3\x82\xA2.bmson") +
                                                         ": bmson: not an object (byte 0)"});
}

TEST(Select, AnErrorNoBoxShowedIsDrawnOverTheScreen) {
    // A band across the screen's middle for a few seconds, or until a key;
    // none where a box showed the error.
    SelectFixture f;
    f.Write("a/1.bms", Bytes("#TITLE Broken\n#00x11:01\n"));
    auto bandPixels = [&] {
        int n = 0;
        for (int x = 0; x < 320; ++x)
            n += f.Back().Pixel(x, 120) == 0x4000;
        return n;
    };
    ASSERT_EQ(bandPixels(), 0);
    f.keys.Tap(Key::Z);
    f.Frame();
    ASSERT_EQ(f.player->Status().Mode(), ScreenSelect);
    f.Frame();
    EXPECT_GT(bandPixels(), 200);
    f.Frames(int(NoticeMs / 10) - 3);
    EXPECT_GT(bandPixels(), 200);
    f.Frames(3);
    EXPECT_EQ(bandPixels(), 0) << "gone after NoticeMs";
    f.keys.Tap(Key::Z);
    f.Frames(2);
    f.player->KeyDown(Key::F6);
    f.Frame();
    EXPECT_EQ(bandPixels(), 0) << "gone at a key";
    f.messages.inBox = true;
    f.keys.Tap(Key::Z);
    f.Frames(2);
    EXPECT_EQ(bandPixels(), 0) << "a box showed it";
}

TEST(Select, ABannerIsBuiltFromTheFolderPictureAndShown) {
    SelectFixture f;
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("a/disk.bmp")))
        << "no picture, nothing written";
    EXPECT_EQ(f.player->Status().SelectView().BannerPath(), f.dir.Folder() + "diskblank.bmp");
    f.Move(Key::Right);
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("b/disk.bmp")))
        << "the song folder is left alone";
    ASSERT_TRUE(std::filesystem::exists(BannerCachePath(f.dir.File("b"))));
    const BitmapData banner = LoadBmpFile(BannerCachePath(f.dir.File("b")));
    EXPECT_EQ(banner.Width, 80);
    EXPECT_EQ(banner.Height, 52);
    EXPECT_EQ(banner.ColourAt(40, 26), 0x00FF00u) << "the picture inside the mask";
    EXPECT_EQ(banner.ColourAt(0, 0), 0u) << "cut away outside it";
    // The banner rests in the middle of the screen.
    EXPECT_EQ(f.Back().Pixel(121 + 40, 120 + 26), 0x07E0);
}

TEST(Select, LaterVisitsReadTheBannerCacheEvenWhenThePictureChanges) {
    SelectFixture f;
    f.Move(Key::Right);
    const std::string cached = BannerCachePath(f.dir.File("b/"));
    ASSERT_TRUE(std::filesystem::exists(cached));
    WriteFileAtomic(f.dir.File("b/picture.bmp"), Picture(0xFF0000));
    f.Move(Key::Left);
    f.Move(Key::Right);
    EXPECT_EQ(LoadBmpFile(cached).ColourAt(40, 26), 0x00FF00u);
    EXPECT_EQ(f.player->Status().SelectView().BannerPath(), cached);
}

TEST(Select, TheDiskMaskScalesThePicture) {
    EXPECT_EQ(MaskBannerPixel(0x123456, 255), 0x123456u);
    EXPECT_EQ(MaskBannerPixel(0x123456, 128), 0x808080u);
    EXPECT_EQ(MaskBannerPixel(0x123456, 0), 0u);
}

namespace {

// The select screen's level stars as the sprites draw them, `count` of them
// 14 apart from x0 on a black picture (the picture clips), against what the
// screen shows in columns [left, right) and rows [172, bottom).
struct Stars {
    int pixels = 0, matching = 0;
};
Stars CompareStars(HeadlessPlayer& f, long long x0, long long count, int left, int right,
                   int bottom) {
    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    display.Open();
    SpriteSheet sprites(&display);
    sprites.LoadFromFile(f.dir.File("tappoplay.dxg"));
    Surface expected(&display);
    expected.SetSize(320, 240);
    expected.Fill(0);
    for (long long i = std::max(0LL, (-400 - x0) / 14); i < count && x0 + 14 * i < 320; ++i)
        sprites.Draw(ItemSelectStar, expected, int(x0 + 14 * i), 172, 0);
    Stars stars;
    for (int y = 172; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (expected.Pixel(x, y) != 0)
                ++stars.pixels, stars.matching += f.Back().Pixel(x, y) == expected.Pixel(x, y);
    return stars;
}

// Two frames into a move to the right: the slide's countdown at 14.
void SlideTwoFrames(SelectFixture& f) {
    f.keys.Press(Key::Right);
    f.Frame(); // the move: countdown 16, drawn at x = 16 x 13 + 121 = 329 (off screen)
    f.keys.ReleaseAll();
    f.Frame();
    f.Frame();
}

} // namespace

TEST(Select, TheNewBannerSlidesInFromTheRight) {
    SelectFixture f;
    SlideTwoFrames(f); // countdown 14: the new banner at x = 14 x 13 + 121 = 303
    EXPECT_EQ(f.Back().Pixel(303 + 10, 120 + 26), 0x07E0)
        << "the green banner slides in from the right";
    EXPECT_NE(f.Back().Pixel(302, 120 + 26), 0x07E0);
}

TEST(Select, TheStarsStandCentredDuringTheSlide) {
    SelectFixture f;
    SlideTwoFrames(f);
    // Two stars, centred: x = 162 - 14 + 14 i; the first one compared.
    const Stars stars = CompareStars(f, 148, 1, 148, 158, 182);
    EXPECT_GT(stars.pixels, 20);
    EXPECT_EQ(stars.matching, stars.pixels);
}

TEST(Select, FolderOfAChartPath) {
    EXPECT_EQ(FolderOfChart("/songs/a/1.bms"), "/songs/a/");
    EXPECT_EQ(FolderOfChart("1.bms"), "");
    // 0x95 0x5C is one Shift-JIS character: its 0x5C is no separator.
    EXPECT_EQ(FolderOfChart("/songs/\x95\\x/1.bms"), "/songs/\x95\\x/");
    EXPECT_EQ(FolderOfChart("C:\\songs\\a\\1.bms"), "C:\\songs\\a\\");
}

TEST(Select, FolderOfAChartWithUtf8AndShiftJisNames) {
    // "あ" is E3 81 82: in UTF-8 text none of its bytes starts a Shift-JIS pair.
    EXPECT_EQ(FolderOfChart("u8/\xE3\x81\x82/1.bms"), "u8/\xE3\x81\x82/");
    EXPECT_EQ(FolderOfChart("u8/\xE3\x81\x82\\1.bms"), "u8/\xE3\x81\x82\\");
    // In Shift-JIS text 0x95 0x5C is one character, 0x83 0x41 another.
    EXPECT_EQ(FolderOfChart("sj/\x95\\/1.bms"), "sj/\x95\\/");
    EXPECT_EQ(FolderOfChart("sj/\x83\x41/1.bms"), "sj/\x83\x41/");
    EXPECT_EQ(FolderOfChart("/songs/a:b/c:d.bms"), "/songs/a:b/") << "a colon is part of a name";
}

TEST(Select, Utf8AndShiftJisFoldersAreEachOneStop) {
    HeadlessPlayer f;
    const std::string a = "u8/\xE3\x81\x82", i = "u8/\xE3\x81\x84"; // あ, い
    for (const std::string& chart : {a + "/1.bms", i + "/1.bms", std::string("sj/\x83\x41/1.bms"),
                                     std::string("sj/\x95\\/1.bms")})
        f.Write(chart, Bytes("#TITLE " + chart + "\n"));
    f.Write("u8/root.bmp", Picture(0xFF0000));
    f.Write(a + "/pic.bmp", Picture(0x00FF00));
    f.Write(a + "/k.wav", Bytes("RIFF"));
    f.Start({});
    const auto current = [&] { return f.player->Status().Songs().Selected(); };
    ASSERT_EQ(f.player->Status().Songs().ChartList.size(), 4u);
    EXPECT_EQ(current(), f.dir.File("sj/\x83\x41/1.bms"));
    // Each of the four folders is one stop of Right, and the fifth comes back.
    std::vector<std::string> seen{current()};
    for (int n = 0; n < 4; ++n) {
        f.keys.Press(Key::Right);
        f.Frame();
        f.keys.ReleaseAll();
        f.Frames(SlideFrames);
        seen.push_back(current());
    }
    EXPECT_EQ(seen[1], f.dir.File("sj/\x95\\/1.bms"));
    EXPECT_EQ(seen[2], f.dir.File(a + "/1.bms"));
    EXPECT_EQ(seen[3], f.dir.File(i + "/1.bms"));
    EXPECT_EQ(seen[4], seen[0]);
    // The banner of あ comes from its own picture.
    ASSERT_TRUE(std::filesystem::exists(BannerCachePath(f.dir.File(a))));
    EXPECT_FALSE(std::filesystem::exists(BannerCachePath(f.dir.File("u8"))));
    EXPECT_EQ(LoadBmpFile(BannerCachePath(f.dir.File(a))).ColourAt(40, 26), 0x00FF00u);
    // A chart's "\" after a UTF-8 folder name still separates folders.
    EXPECT_EQ(ResolveChartFile(f.dir.File(a + "\\k.wav")), f.dir.File(a + "/k.wav"));
}

TEST(Select, PathTextBelowTheSongsFolder) {
    EXPECT_EQ(SelectPathText("/x/s/a-sjis/1.bms", "/x/s"), "/a-sjis/1.bms") << "no trailing slash";
    EXPECT_EQ(SelectPathText("/x/s/a-sjis/1.bms", "/x/s/"), "/a-sjis/1.bms");
    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(SelectPathText(cwd + "/s/a/1.bms", "s"), "/a/1.bms") << "a relative folder";
    EXPECT_EQ(SelectPathText(cwd + "/s/a/1.bms", "./s/"), "/a/1.bms");
}

TEST(Select, PathTextIsCutOnACharacterBoundary) {
    // 300 bytes of UTF-8: cut at 255 on a character boundary, still UTF-8.
    std::string longName;
    for (int n = 0; n < 100; ++n)
        longName += "\xE3\x81\x82";
    const std::string text = SelectPathText("/x/s/" + longName, "/x/s");
    EXPECT_EQ(text.size(), 253u) << "'/' and 84 characters of 3 bytes";
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "no replacement characters";
    // Shift-JIS text is cut between its double-byte characters.
    std::string sjis = "ab";
    for (int n = 0; n < 150; ++n)
        sjis += "\x95\\";
    EXPECT_EQ(CutAtCharacter(sjis, 255).size(), 254u);
    EXPECT_EQ(CutAtCharacter("short", 255), "short");
}

TEST(Select, TheStandardReadingTellsASongsChartsApart) {
    HeadlessPlayer f;
    f.reading.Standard = true;
    f.Write("s/a.bme", Bytes("#TITLE t\n#SUBTITLE [Another]\n#DIFFICULTY 4\n#PLAYLEVEL 12\n"
                             "#00111:0101\n#00116:01\n#00151:0101\n#001D1:01\n"));
    f.Start({});
    const ChartHeader& h = f.player->Status().CurrentChart().Header;
    EXPECT_EQ(h.Subtitle, "[Another]");
    EXPECT_EQ(DetailsText(h, 12),
              h.KeyLayout + (h.KeyLayout.empty() ? "" : "  ") + "ANOTHER  LEVEL 12  4 NOTES")
        << "a long note counts once, a mine not at all";
    EXPECT_EQ(DetailsText(ChartHeader{}, 0), "") << "the exact reading's header shows none";
    // Back from playing it, the select screen says the same of it.
    const std::string shown = DetailsText(h, 12);
    ASSERT_TRUE(f.player->StartChart(f.dir.File("s/a.bme")));
    f.player->LeavePlay();
    EXPECT_EQ(DetailsText(f.player->Status().CurrentChart().Header, 12), shown);
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Subtitle, "[Another]");
    // A path too long for the line shows its end, which names the chart.
    const auto fitsIn = [](size_t n) {
        return [n](const std::string& t) { return t.size() <= n; };
    };
    EXPECT_EQ(PathEndThatFits("/pack/\xE3\x81\x82/J219_7key.bme", fitsIn(17)), ".../J219_7key.bme");
    EXPECT_EQ(PathEndThatFits("/pack/\xE3\x81\x82/J219.bme", fitsIn(15)),
              "...\xE3\x81\x82/J219.bme");
    EXPECT_EQ(PathEndThatFits("/short.bms", fitsIn(16)), "/short.bms");
}

TEST(Select, TheListHoldsAbsolutePathsWhateverTheFolderWasGivenAs) {
    HeadlessPlayer f;
    f.songsFolder = f.dir.File("songs");
    f.Write("songs/a-sjis/1.bms", Bytes("#TITLE x\n"));
    f.Start({});
    ASSERT_EQ(f.player->Status().Songs().ChartList.size(), 1u);
    EXPECT_EQ(f.player->Status().Songs().ChartList[0], f.dir.File("songs/a-sjis/1.bms"));
    EXPECT_EQ(SelectPathText(f.player->Status().Songs().ChartList[0], f.songsFolder),
              "/a-sjis/1.bms");
}

namespace {
class SelectLevel : public testing::TestWithParam<int> {};
} // namespace

TEST_P(SelectLevel, EveryStarOnTheScreenIsDrawn) {
    const int level = GetParam();
    HeadlessPlayer f;
    f.Write("a/1.bms", Bytes("#PLAYLEVEL " + std::to_string(level) + "\n"));
    f.Start({});
    f.player->KeyDown(Key::F2); // images off: a black background
    f.Frame();
    // Every star of the formula, drawn without any bound.
    const Stars stars = CompareStars(f, 162 - 7LL * level, level, 0, 320, 186);
    EXPECT_GT(stars.pixels, level == 3 ? 20 : 300);
    EXPECT_EQ(stars.matching, stars.pixels);
}

INSTANTIATE_TEST_SUITE_P(Select, SelectLevel, testing::Values(3, 110, 200, 2147483647));

TEST(Select, TheFullScreenToggleKeepsTheCurrentChart) {
    SelectFixture f;
    f.Move(Key::Right);
    ASSERT_EQ(f.Current(), "b/1.bms");
    f.Frames(101); // a steady frame rate lets F3 work
    f.player->KeyDown(Key::F3);
    EXPECT_EQ(f.Current(), "b/1.bms");
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "b/1.bms")
        << "the title of the chart shown, not the first one's";
    EXPECT_EQ(f.player->Status().SelectView().BannerPath(), BannerCachePath(f.dir.File("b")))
        << "and its banner";
}

TEST(Select, AKeyTappedBetweenTwoFramesCounts) {
    SelectFixture f;
    f.keys.Tap(Key::Right); // down and up again before the frame polls
    f.Frame();
    f.Frames(SlideFrames + 2);
    EXPECT_EQ(f.Current(), "b/1.bms") << "one folder, once";
}

TEST(Select, AButtonTappedBetweenTwoFramesStartsPlay) {
    SelectFixture f;
    f.keys.Tap(Key::Space);
    f.Frame();
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
}

TEST(Select, AReadOnlyFolderGetsACachedBannerAndAFolderBannerWins) {
    SelectFixture f;
    // The folder's own banner comes first, and nothing is cached for it.
    f.Write("c/disk.bmp", Picture(0x0000FF));
    f.Write("c/picture.bmp", Picture(0x00FF00));
    std::filesystem::permissions(f.dir.File("b"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::vector<std::string> lines;
    const ConsoleSink previous =
        SetConsoleSink([&](const std::string& line) { lines.push_back(line); });
    f.Move(Key::Right);
    f.Move(Key::Right);
    f.Move(Key::Left);
    SetConsoleSink(previous);
    std::filesystem::permissions(f.dir.File("b"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_TRUE(lines.empty()) << lines[0];
    EXPECT_EQ(f.Back().Pixel(121 + 40, 120 + 26), 0x07E0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.dir.File("b")),
                            std::filesystem::directory_iterator()),
              2)
        << "only its chart and its picture";
    f.Move(Key::Right);
    EXPECT_EQ(f.player->Status().SelectView().BannerPath(), f.dir.File("c/disk.bmp"));
    EXPECT_FALSE(std::filesystem::exists(BannerCachePath(f.dir.File("c"))));
}

TEST(Select, ABannerThatCannotBeCachedIsReportedAndStillShown) {
    SelectFixture f;
    // The cache lies below a file: the write fails, the banner shows.
    f.Write("not-a-folder", {});
    test::Environment cache("XDG_CACHE_HOME", f.dir.File("not-a-folder"));
    std::vector<std::string> lines;
    const ConsoleSink previous =
        SetConsoleSink([&](const std::string& line) { lines.push_back(line); });
    f.Move(Key::Right);
    SetConsoleSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "tappoplayer: ファイル " + BannerCachePath(f.dir.File("b")) + " を作成できません\n");
    EXPECT_EQ(f.Back().Pixel(121 + 40, 120 + 26), 0x07E0);
}
