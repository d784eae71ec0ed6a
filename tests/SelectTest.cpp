// The select screen: walks between song folders and within them, the slide
// lock, starting play, the banner cache and the drawing of the screen.
#include "HeadlessForm.h"

#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<uint8_t> Picture(uint32_t rgb) {
    TBitmapData b;
    b.Width = 40, b.Height = 26, b.BitCount = 24;
    b.Pixels.assign(40 * 26, rgb);
    return EncodeBmp(b);
}

// Three song folders: a (3 charts), b (1 chart, a picture), c (1 chart, nothing).
struct TSelectFixture : THeadlessForm {
    TSelectFixture() {
        for (const char* f : {"a/1.bms", "a/2.bms", "a/3.bms", "b/1.bms", "c/1.bms"})
            Write(f, Bytes(std::string("#TITLE ") + f + "\n#PLAYLEVEL 2\n#BPM 150\n"));
        Write("b/picture.bmp", Picture(0x00FF00));
        Start({});
    }
    std::string Current() const {
        return form->Songs.ChartList[size_t(form->Songs.ChartIndex)].substr(dir.Folder().size());
    }
    // Holds `key` for one frame, then lets the slide run out.
    void Move(int key) {
        keys.Press(key);
        Frame();
        keys.ReleaseAll();
        for (int i = 0; i < SlideFrames; ++i) Frame();
    }
};

} // namespace

TEST(Select, RightAndLeftWalkBetweenFolders) {
    TSelectFixture f;
    ASSERT_EQ(f.form->Flow.GameMode, ModeSelect);
    EXPECT_EQ(f.Current(), "a/1.bms");
    f.Move(vk::Right);
    EXPECT_EQ(f.Current(), "b/1.bms") << "the first chart of the next folder";
    EXPECT_EQ(f.form->Session.Header.Title, "b/1.bms");
    f.Move(vk::Right);
    EXPECT_EQ(f.Current(), "c/1.bms");
    f.Move(vk::Right);
    EXPECT_EQ(f.Current(), "a/1.bms") << "from the last folder to the first chart of the list";
    f.Move(vk::Left);
    EXPECT_EQ(f.Current(), "c/1.bms");
    f.Move(vk::Left);
    f.Move(vk::Left);
    EXPECT_EQ(f.Current(), "a/3.bms") << "the last chart of the preceding folder";
}

TEST(Select, UpAndDownWalkWithinAFolderAndWrap) {
    TSelectFixture f;
    f.Move(vk::Left);
    ASSERT_EQ(f.Current(), "c/1.bms");
    f.Move(vk::Left);
    ASSERT_EQ(f.Current(), "b/1.bms");
    f.Move(vk::Left);
    ASSERT_EQ(f.Current(), "a/3.bms");
    f.Move(vk::Up);
    EXPECT_EQ(f.Current(), "a/1.bms") << "up from a folder's last chart wraps to its first";
    f.Move(vk::Down);
    EXPECT_EQ(f.Current(), "a/3.bms") << "down from the first wraps to the last";
    f.Move(vk::Down);
    EXPECT_EQ(f.Current(), "a/2.bms");
}

TEST(Select, MovesLockInputForSixteenFrames) {
    TSelectFixture f;
    f.keys.Press(vk::Right);
    f.Frame();
    EXPECT_EQ(f.form->Select.SlideCountdown, 16);
    EXPECT_EQ(f.form->Songs.SlideDirection, 1);
    for (int i = 0; i < 16; ++i) f.Frame();
    EXPECT_EQ(f.Current(), "b/1.bms") << "the held key waits out the slide";
    f.Frame();
    EXPECT_EQ(f.Current(), "c/1.bms") << "and moves again on the 17th frame";
    f.keys.ReleaseAll();
    // Left and Up together move by folder; Button1 with a direction starts play.
    for (int i = 0; i < 16; ++i) f.Frame();
    f.keys.Press(vk::Left);
    f.keys.Press(vk::Up);
    f.Frame();
    f.keys.ReleaseAll();
    EXPECT_EQ(f.Current(), "b/1.bms");
}

TEST(Select, Button1StartsTheChart) {
    TSelectFixture f;
    f.Move(vk::Right);
    f.keys.Press('Z');
    f.keys.Press(vk::Right);
    f.Frame();
    f.keys.ReleaseAll();
    EXPECT_EQ(f.form->Flow.GameMode, ModePlay);
    EXPECT_TRUE(f.form->Flow.ChartActive);
    EXPECT_EQ(f.form->Session.Chart.LastSoundTime, 0);
    EXPECT_EQ(f.Current(), "b/1.bms");
    // Esc goes back to the same chart.
    f.form->FormKeyPress(vk::Escape);
    EXPECT_EQ(f.form->Flow.GameMode, ModeSelect);
    EXPECT_FALSE(f.form->CloseRequested());
    EXPECT_EQ(f.Current(), "b/1.bms");
}

TEST(Select, Button1ShowsTheLoadingScreenOnBothPagesFirst) {
    TSelectFixture f;
    const long before = f.presenter.Presents();
    f.keys.Press('Z');
    f.Frame();
    EXPECT_EQ(f.presenter.Presents() - before, 3)
        << "two loading screens, then the frame's own flip";
}

TEST(Select, AChartThatDoesNotCompileGoesBackToTheList) {
    TSelectFixture f;
    f.Write("a/1.bms", Bytes("#TITLE Broken\n#PLAYLEVEL 2\n#BPM 150\n#00x11:01\n"));
    f.keys.Press('Z');
    f.Frame();
    f.keys.ReleaseAll();
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0], "'00x' は整数ではありません");
    EXPECT_EQ(f.form->Flow.GameMode, ModeSelect);
    EXPECT_FALSE(f.form->Flow.ChartActive);
    EXPECT_FALSE(f.form->CloseRequested());
    EXPECT_EQ(f.form->Session.Header.Title, "Broken")
        << "the header read before the error is shown";
    EXPECT_EQ(f.Current(), "a/1.bms");
}

TEST(Select, BannersAreBuiltOnceAndShown) {
    TSelectFixture f;
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("a/disk.bmp"))) << "no picture, nothing written";
    EXPECT_EQ(f.form->Select.BannerPath, f.dir.Folder() + "diskblank.bmp");
    f.Move(vk::Right);
    ASSERT_TRUE(std::filesystem::exists(f.dir.File("b/disk.bmp")));
    const TBitmapData banner = LoadBmpFile(f.dir.File("b/disk.bmp"));
    EXPECT_EQ(banner.Width, 80);
    EXPECT_EQ(banner.Height, 52);
    EXPECT_EQ(banner.ColourAt(40, 26), 0x00FF00u) << "the picture inside the mask";
    EXPECT_EQ(banner.ColourAt(0, 0), 0u) << "cut away outside it";
    // The banner rests in the middle of the screen.
    EXPECT_EQ(f.form->DXDraw1.Surface().Pixel(121 + 40, 120 + 26), 0x07E0);
    // Later visits read the cache, even when the pictures change.
    WriteFileAtomic(f.dir.File("b/picture.bmp"), Picture(0xFF0000));
    f.Move(vk::Left);
    f.Move(vk::Right);
    EXPECT_EQ(LoadBmpFile(f.dir.File("b/disk.bmp")).ColourAt(40, 26), 0x00FF00u);
    EXPECT_EQ(f.form->Select.BannerPath, f.dir.File("b/disk.bmp"));

    EXPECT_EQ(MaskBannerPixel(0x123456, 255), 0x123456u);
    EXPECT_EQ(MaskBannerPixel(0x123456, 128), 0x808080u);
    EXPECT_EQ(MaskBannerPixel(0x123456, 0), 0u);
}

TEST(Select, SlidePositionsAndStars) {
    TSelectFixture f;
    f.keys.Press(vk::Right);
    f.Frame(); // the move: countdown 16, drawn at x = 16 x 13 + 121 = 329 (off screen)
    f.keys.ReleaseAll();
    f.Frame();
    f.Frame(); // countdown 14: the new banner at x = 14 x 13 + 121 = 303
    TDirectDrawSurface& back = f.form->DXDraw1.Surface();
    EXPECT_EQ(back.Pixel(303 + 10, 120 + 26), 0x07E0) << "the green banner slides in from the right";
    EXPECT_NE(back.Pixel(302, 120 + 26), 0x07E0);
    // Two stars, centred: x = 162 - 14 + 14 i.
    TDirectDrawSurface expected(&f.form->DXDraw1);
    expected.SetSize(320, 240);
    expected.Fill(0);
    f.form->DXImageList1.Draw(ItemSelectStar, expected, 148, 172, 0);
    int starPixels = 0, matching = 0;
    for (int y = 172; y < 182; ++y)
        for (int x = 148; x < 158; ++x)
            if (expected.Pixel(x, y) != 0) ++starPixels, matching += back.Pixel(x, y) == expected.Pixel(x, y);
    EXPECT_GT(starPixels, 20);
    EXPECT_EQ(matching, starPixels);
}

TEST(Select, FolderOfAChartPath) {
    EXPECT_EQ(FolderOfChart("/songs/a/1.bms"), "/songs/a/");
    EXPECT_EQ(FolderOfChart("1.bms"), "");
    // 0x95 0x5C is one Shift-JIS character: its 0x5C is no separator.
    EXPECT_EQ(FolderOfChart("/songs/\x95\\x/1.bms"), "/songs/\x95\\x/");
    EXPECT_EQ(FolderOfChart("C:\\songs\\a\\1.bms"), "C:\\songs\\a\\");
}
