// Hostile and unusual files met by the player: FIFOs named like charts, a
// chart named just ".bms", an image that breaks after a good one.
#include "HeadlessForm.h"
#include "app/CommandLine.h"
#include "files/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<uint8_t> Picture(uint32_t rgb) {
    TBitmapData b;
    b.Width = 8, b.Height = 8, b.BitCount = 24;
    b.Pixels.assign(64, rgb);
    return EncodeBmp(b);
}

} // namespace

TEST(Hardening, FifosAndFoldersAreNeverReadAsFiles) {
    THeadlessForm f;
    f.Write("a/1.bms", Bytes("#TITLE one\n"));
    ASSERT_EQ(mkfifo(f.dir.File("a/x.bms").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(f.dir.File("a/0.bmp").c_str(), 0600), 0);
    // Reading refuses at once instead of waiting for a writer.
    EXPECT_THROW(ReadWholeFile(f.dir.File("a/x.bms")), EFOpenError);
    EXPECT_THROW(ReadWholeFile(f.dir.File("a")), EFOpenError);
    EXPECT_THROW(ReadWholeFile(f.dir.File("a/none.bms")), EFOpenError);
    EXPECT_EQ(ReadWholeFile(f.dir.File("a/1.bms")), Bytes("#TITLE one\n"));
    // The chart search lists only the real chart; the banner search skips the FIFO.
    f.Start({});
    EXPECT_EQ(f.form->Songs.ChartList, std::vector<std::string>{f.dir.File("a/1.bms")});
    EXPECT_EQ(f.form->Session.Header.Title, "one");
    EXPECT_TRUE(f.form->Select.ChartImagePath.empty());
    f.Frames(3);
    // Named on the command line, the FIFO is a chart that cannot be opened.
    THeadlessForm g;
    ASSERT_EQ(mkfifo(g.dir.File("x.bms").c_str(), 0600), 0);
    g.Start({g.dir.File("x.bms")});
    EXPECT_TRUE(g.form->CloseRequested());
    ASSERT_FALSE(g.messages.shown.empty());
}

TEST(Hardening, AChartNamedJustDotBms) {
    EXPECT_TRUE(HasChartExtension(".bms"));
    EXPECT_TRUE(HasChartExtension("/songs/a/.BMS"));
    EXPECT_TRUE(HasChartExtension("x.Bms"));
    EXPECT_FALSE(HasChartExtension("bms"));
    EXPECT_FALSE(HasChartExtension("x.bmsx"));
    EXPECT_FALSE(HasChartExtension("x.bme"));
    EXPECT_FALSE(HasChartExtension(""));

    THeadlessForm f;
    f.Write("s/.bms", Bytes("#TITLE dot\n#BPM 120\n"));
    f.Start({f.dir.File("s/.bms")});
    EXPECT_EQ(f.form->Flow.GameMode, ModePlay) << "not the not-a-chart screen";
    EXPECT_TRUE(f.form->Flow.ChartActive);
    EXPECT_EQ(f.form->Session.Header.Title, "dot");
    // The chart search finds it as well.
    THeadlessForm g;
    g.Write("s/.bms", Bytes("#TITLE dot\n"));
    g.Start({});
    EXPECT_EQ(g.form->Songs.ChartList, std::vector<std::string>{g.dir.File("s/.bms")});
}

TEST(Hardening, ABrokenImageEmptiesItsSlot) {
    THeadlessForm f;
    f.Write("a/red.bmp", Picture(0xFF0000));
    f.Write("b/broken.bmp", Bytes("BM not a bitmap"));
    f.Start({});
    TChartData& chart = f.form->Session.Chart;
    // Chart A shows its red picture in slot 1 ...
    chart.BmpFileNames[1] = f.dir.File("a/red.bmp");
    f.form->LoadBgaImages();
    ASSERT_TRUE(f.form->Session.BgaSurfaces[1]);
    EXPECT_NE(f.form->Session.BgaSurfaces[1]->Pixel(5, 5), 0);
    // ... chart B's slot 1 is broken: it must not show A's picture.
    chart.BmpFileNames[1] = f.dir.File("b/broken.bmp");
    f.messages.shown.clear();
    f.form->LoadBgaImages();
    EXPECT_EQ(f.messages.shown.size(), 1u) << "the broken image is reported";
    EXPECT_FALSE(f.form->Session.BgaSurfaces[1]);
    // A FIFO in its place is refused the same way, at once.
    ASSERT_EQ(mkfifo(f.dir.File("b/fifo.bmp").c_str(), 0600), 0);
    chart.BmpFileNames[1] = f.dir.File("a/red.bmp");
    f.form->LoadBgaImages();
    chart.BmpFileNames[1] = f.dir.File("b/fifo.bmp");
    f.messages.shown.clear();
    f.form->LoadBgaImages();
    EXPECT_EQ(f.messages.shown.size(), 1u);
    EXPECT_FALSE(f.form->Session.BgaSurfaces[1]);
}
