// The display's lifecycle, and the frame timer's rate counting.
#include "platform/Display.h"
#include "base/Errors.h"
#include "formats/ArchiveWriter.h"
#include "platform/SpriteSheet.h"
#include "platform/Timer.h"

#include <gtest/gtest.h>

using namespace tappo;

TEST(Display, LifecycleRunsHandlersInOrderAndReleasesSurfaces) {
    HeadlessPresenter presenter;
    Display d(presenter, nullptr);
    std::vector<std::string> calls;
    Surface* game = nullptr;
    std::unique_ptr<Surface> owned;
    d.OnInitialize = [&] {
        calls.push_back("init");
        EXPECT_TRUE(d.CanDraw());
        owned = std::make_unique<Surface>(&d);
        owned->SetSize(8, 8);
        game = owned.get();
    };
    d.OnFinalize = [&] { calls.push_back("final"); };
    EXPECT_FALSE(d.CanDraw());
    d.Flip(); // not initialised: nothing is shown
    EXPECT_EQ(presenter.Presents(), 0);
    d.Initialize();
    EXPECT_TRUE(presenter.IsOpen());
    EXPECT_TRUE(presenter.FullScreen());
    EXPECT_EQ(d.Back().Width(), 320);
    EXPECT_EQ(d.Back().Height(), 240);
    d.Flip();
    EXPECT_EQ(presenter.Presents(), 1);

    // The full-screen toggle: finalise, change the option, initialise.
    d.Finalize();
    EXPECT_FALSE(game->HasPixels()) << "surfaces end with the device";
    d.FullScreen = false;
    d.Initialize();
    EXPECT_FALSE(presenter.FullScreen());
    EXPECT_EQ(calls, (std::vector<std::string>{"init", "final", "init"}));
    d.Finalize();
    d.Finalize(); // a second Finalize does nothing
    EXPECT_EQ(calls.size(), 4u);
}

TEST(Display, AFailedInitializeLeavesTheDisplayClosed) {
    struct RefusingPresenter : HeadlessPresenter {
        void Open(bool, int, int) override { throw Error("no display"); }
    } presenter;
    Display d(presenter, nullptr);
    EXPECT_THROW(d.Initialize(), Error);
    EXPECT_FALSE(d.Initialized());
    EXPECT_FALSE(d.CanDraw());
    EXPECT_TRUE(d.InitializeRequested());
}

TEST(Display, SpritePatternsExistOnlyAfterTheGameInitialisation) {
    HeadlessPresenter presenter;
    Display d(presenter, nullptr);
    SpriteSheet list(&d);
    ArchiveItem item;
    BitmapData bmp;
    bmp.Width = 2, bmp.Height = 2, bmp.BitCount = 24, bmp.Pixels = {0xFFFFFF, 0, 0, 0xFFFFFF};
    item.Data = EncodeBmp(bmp);
    std::vector<uint8_t> archive = WriteArchive({item});
    list.LoadFromBytes(archive.data(), archive.size());
    int patternsDuringInit = -1;
    d.OnInitialize = [&] {
        patternsDuringInit = list.Items.Items(0).PatternCount();
        list.Draw(0, d.Back(), 0, 0, 0); // draws nothing yet
        EXPECT_EQ(d.Back().Pixel(0, 0), 0);
    };
    d.Initialize();
    EXPECT_EQ(patternsDuringInit, 0);
    EXPECT_EQ(list.Items.Items(0).PatternCount(), 1);
    list.Draw(0, d.Back(), 0, 0, 0);
    EXPECT_EQ(d.Back().Pixel(0, 0), 0xFFFF);
    d.Finalize();
    EXPECT_FALSE(list.Items.Items(0).Initialized());
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
