// The display's opening and closing, and the frame timer's rate counting.
#include "platform/Display.h"
#include "base/Errors.h"
#include "formats/ArchiveWriter.h"
#include "platform/SpriteSheet.h"
#include "platform/Timer.h"

#include <gtest/gtest.h>

using namespace tappo;

TEST(Display, OpeningAgainKeepsEveryPicture) {
    HeadlessPresenter presenter;
    Display d(presenter, nullptr);
    EXPECT_FALSE(d.CanDraw());
    d.Present(); // not open: nothing is shown
    EXPECT_EQ(presenter.Presents(), 0);
    d.Open();
    EXPECT_TRUE(presenter.IsOpen());
    EXPECT_TRUE(presenter.FullScreen());
    EXPECT_TRUE(d.CanDraw());
    EXPECT_EQ(d.Back().Width(), 320);
    EXPECT_EQ(d.Back().Height(), 240);
    d.Present();
    EXPECT_EQ(presenter.Presents(), 1);
    Surface picture(&d);
    picture.SetSize(8, 8);
    picture.Fill(0x1234);
    d.Back().SetPixel(5, 5, 0xFFFF);

    // The full-screen toggle: the presenter opens again in the other mode.
    d.FullScreen = false;
    d.Open();
    EXPECT_FALSE(presenter.FullScreen());
    EXPECT_EQ(picture.Pixel(7, 7), 0x1234) << "a picture stays";
    EXPECT_EQ(d.Back().Pixel(5, 5), 0xFFFF) << "and so does the back surface";
    d.Close();
    EXPECT_FALSE(presenter.IsOpen());
    EXPECT_FALSE(d.CanDraw());
    d.Close(); // a second Close does nothing
}

TEST(Display, AFailedOpenLeavesTheDisplayClosed) {
    struct RefusingPresenter : HeadlessPresenter {
        void Open(bool, int, int) override { throw Error("no display"); }
    } presenter;
    Display d(presenter, nullptr);
    EXPECT_THROW(d.Open(), Error);
    EXPECT_FALSE(d.IsOpen());
    EXPECT_FALSE(d.CanDraw());
}

TEST(Display, ASheetForADisplayHasItsPatternsOnceLoaded) {
    HeadlessPresenter presenter;
    Display d(presenter, nullptr);
    SpriteSheet list(&d);
    ArchiveItem item;
    BitmapData bmp;
    bmp.Width = 2, bmp.Height = 2, bmp.BitCount = 24, bmp.Pixels = {0xFFFFFF, 0, 0, 0xFFFFFF};
    item.Data = EncodeBmp(bmp);
    std::vector<uint8_t> archive = WriteArchive({item});
    list.LoadFromBytes(archive.data(), archive.size());
    EXPECT_EQ(list.Items.Items(0).PatternCount(), 1);
    d.Open();
    list.Draw(0, d.Back(), 0, 0, 0);
    EXPECT_EQ(d.Back().Pixel(0, 0), 0xFFFF);
    SpriteSheet unshown;
    unshown.LoadFromBytes(archive.data(), archive.size());
    EXPECT_EQ(unshown.Items.Items(0).PatternCount(), 0) << "no display: the items alone";
}

TEST(FrameTimer, FrameRateCountsWholeSecondsAndRoundsHalvesToEven) {
    EXPECT_EQ(RoundFrameRate(60, 1000), 60);
    EXPECT_EQ(RoundFrameRate(61, 1016), 60); // 60.04
    EXPECT_EQ(RoundFrameRate(41, 1025), 40); // exactly 40.0
    EXPECT_EQ(RoundFrameRate(81, 2000), 40); // 40.5 -> 40
    EXPECT_EQ(RoundFrameRate(83, 2000), 42); // 41.5 -> 42
    EXPECT_EQ(RoundFrameRate(1, 1000), 1);

    VirtualClock clock(5000);
    FrameTimer timer(clock);
    int frames = 0;
    frames += timer.FrameDue(); // disabled: no frame
    EXPECT_EQ(frames, 0);
    timer.SetEnabled(true);
    for (int i = 0; i < 99; ++i) {
        clock.Advance(10);
        frames += timer.FrameDue();
    }
    EXPECT_EQ(frames, 99);
    EXPECT_EQ(timer.FrameRate(), 0) << "0 until a full second has passed";
    clock.Advance(10);
    frames += timer.FrameDue();
    EXPECT_EQ(timer.FrameRate(), 100);

    // In the background no frames run and the rate keeps its value.
    timer.SetInFront(false);
    clock.Advance(5000);
    frames += timer.FrameDue();
    EXPECT_EQ(frames, 100);
    EXPECT_EQ(timer.FrameRate(), 100);
    // Back in front both clocks restart: the slow second in between is not counted.
    timer.SetInFront(true);
    for (int i = 0; i < 50; ++i) {
        clock.Advance(20);
        frames += timer.FrameDue();
    }
    EXPECT_EQ(timer.FrameRate(), 50);
}

TEST(FrameTimer, TicksEveryPassEvenWithoutTimePassing) {
    VirtualClock clock;
    FrameTimer timer(clock);
    int frames = 0;
    timer.SetEnabled(true);
    frames += timer.FrameDue();
    frames += timer.FrameDue();
    EXPECT_EQ(frames, 2);
}
