// Hostile and unusual files met by the player: FIFOs named like charts, a
// chart named just ".bms", an image that breaks after a good one.
#include "HeadlessPlayer.h"
#include "app/CommandLine.h"
#include "files/Files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<uint8_t> Picture(uint32_t rgb) {
    BitmapData b;
    b.Width = 8, b.Height = 8, b.BitCount = 24;
    b.Pixels.assign(64, rgb);
    return EncodeBmp(b);
}

} // namespace

TEST(Hardening, FifosAndFoldersAreNeverReadAsFiles) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("a"));
    WriteFileAtomic(dir.File("a/1.bms"), Bytes("#TITLE one\n"));
    ASSERT_EQ(mkfifo(dir.File("a/x.bms").c_str(), 0600), 0);
    // Reading refuses at once instead of waiting for a writer.
    EXPECT_THROW(ReadWholeFile(dir.File("a/x.bms")), FileOpenError);
    EXPECT_THROW(ReadWholeFile(dir.File("a")), FileOpenError);
    EXPECT_THROW(ReadWholeFile(dir.File("a/none.bms")), FileOpenError);
    EXPECT_EQ(ReadWholeFile(dir.File("a/1.bms")), Bytes("#TITLE one\n"));
}

TEST(Hardening, TheChartAndBannerSearchesSkipFifos) {
    HeadlessPlayer f;
    f.Write("a/1.bms", Bytes("#TITLE one\n"));
    ASSERT_EQ(mkfifo(f.dir.File("a/x.bms").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(f.dir.File("a/0.bmp").c_str(), 0600), 0);
    f.Start({});
    EXPECT_EQ(f.player->Status().Songs().ChartList,
              std::vector<std::string>{f.dir.File("a/1.bms")});
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "one");
    EXPECT_TRUE(f.player->Status().SelectView().ChartImagePath().empty());
    f.Frames(3);
}

TEST(Hardening, AFifoNamedOnTheCommandLineIsAChartThatCannotBeOpened) {
    HeadlessPlayer g;
    ASSERT_EQ(mkfifo(g.dir.File("x.bms").c_str(), 0600), 0);
    g.Start({g.dir.File("x.bms")});
    EXPECT_TRUE(g.player->Status().CloseRequested());
    ASSERT_FALSE(g.messages.shown.empty());
}

TEST(Hardening, AChartNamedJustDotBmsHasTheChartExtension) {
    EXPECT_TRUE(HasChartExtension(".bms"));
    EXPECT_TRUE(HasChartExtension("/songs/a/.BMS"));
    EXPECT_TRUE(HasChartExtension("x.Bms"));
    EXPECT_FALSE(HasChartExtension("bms"));
    EXPECT_FALSE(HasChartExtension("x.bmsx"));
    EXPECT_FALSE(HasChartExtension("x.bme"));
    EXPECT_FALSE(HasChartExtension(""));
}

TEST(Hardening, AChartNamedJustDotBmsPlaysFromTheCommandLine) {
    HeadlessPlayer f;
    f.Write("s/.bms", Bytes("#TITLE dot\n#BPM 120\n"));
    f.Start({f.dir.File("s/.bms")});
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay) << "not the not-a-chart screen";
    EXPECT_TRUE(f.player->Status().ChartActive());
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "dot");
}

TEST(Hardening, AChartNamedJustDotBmsIsFoundByTheSearch) {
    HeadlessPlayer g;
    g.Write("s/.bms", Bytes("#TITLE dot\n"));
    g.Start({});
    EXPECT_EQ(g.player->Status().Songs().ChartList, std::vector<std::string>{g.dir.File("s/.bms")});
}

namespace {

// Chart A shows a red picture in slot 1; chart B names another file for slot 1.
struct ImageSlotFixture : HeadlessPlayer {
    ImageSlotFixture() {
        Write("a/a.bms", Bytes("#BMP01 red.bmp\n#00111:01\n"));
        Write("a/red.bmp", Picture(0xFF0000));
        Start({});
    }
    const auto& Slot1() const { return player->Status().CurrentChart().BgaSurfaces[1]; }
    // Plays chart A, goes back to the list, then plays chart B with `image` in slot 1.
    void PlayAThenB(const std::string& image) {
        ASSERT_TRUE(player->StartChart(dir.File("a/a.bms")));
        ASSERT_TRUE(Slot1());
        EXPECT_NE(Slot1()->Pixel(5, 5), 0);
        player->LeavePlay();
        Write("b/b.bms", Bytes("#BMP01 " + image + "\n#00111:01\n"));
        messages.shown.clear();
        player->StartChart(dir.File("b/b.bms"));
    }
};

} // namespace

TEST(Hardening, ABrokenImageEmptiesItsSlot) {
    ImageSlotFixture f;
    f.Write("b/broken.bmp", Bytes("BM not a bitmap"));
    f.PlayAThenB("broken.bmp");
    EXPECT_EQ(f.messages.shown.size(), 1u) << "the broken image is reported";
    EXPECT_FALSE(f.Slot1()) << "not chart A's picture";
}

TEST(Hardening, AFifoInPlaceOfAnImageIsRefusedAtOnce) {
    ImageSlotFixture f;
    std::filesystem::create_directories(f.dir.File("b"));
    ASSERT_EQ(mkfifo(f.dir.File("b/fifo.bmp").c_str(), 0600), 0);
    f.PlayAThenB("fifo.bmp");
    EXPECT_EQ(f.messages.shown.size(), 1u);
    EXPECT_FALSE(f.Slot1());
}
