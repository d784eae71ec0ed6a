// Hostile and unusual files met by the player: FIFOs named like charts, a
// chart named just ".bms", an image that breaks after a good one.
#include "HeadlessPlayer.h"
#include "app/CommandLine.h"
#include "chart/Reading.h"
#include "chart/standard/Convert.h"
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

namespace {

// A chart two folders below the songs folder, naming a keysound in a folder
// beside its own, files outside the songs folder (with "/" and with "\"), a
// picture outside it and a MIDI file outside the file system's root.
struct ClimbingNamesFixture : HeadlessPlayer {
    ClimbingNamesFixture() {
        songsFolder = dir.File("songs");
        const std::vector<uint8_t> wave =
            tools::EncodeWav16(std::vector<int16_t>(64, 1000), 1, 44100);
        Write("songs/pack/common/kick.wav", wave);
        Write("secret.wav", wave);
        Write("red.bmp", Picture(0xFF0000));
        Write(
            "songs/pack/chart/c.bms",
            Bytes(
                "#WAV01 ../common/kick.wav\n#WAV02 ../../../secret.wav\n"
                "#WAV03 ..\\..\\..\\secret.wav\n#BMP01 ../../../red.bmp\n"
                "#MIDIFILE ../../../../../../../../../../etc/passwd\n#00111:010203\n#00104:01\n"));
    }
    std::string Chart() const { return dir.File("songs/pack/chart/c.bms"); }
    uint32_t SampleBytes(size_t slot) const {
        const auto& sample = player->Status().CurrentChart().KeysoundSlots[slot];
        return sample ? sample->DataLength : 0;
    }
    int OutsideReports() const {
        int n = 0;
        for (const std::string& line : LogLines(dir.File("ddsd.debug")))
            n += line.find("names a file outside the folder") != std::string::npos;
        return n;
    }
};

} // namespace

TEST(Hardening, NamesThatClimbOutOfTheSongsFolderAreMissingAndLogged) {
    ClimbingNamesFixture f;
    f.Start({});
    ASSERT_TRUE(f.player->StartChart(f.Chart()));
    EXPECT_GT(f.SampleBytes(1), 0u) << "a folder beside the chart's, inside the songs folder";
    EXPECT_EQ(f.SampleBytes(2), 0u) << "outside the songs folder";
    EXPECT_EQ(f.SampleBytes(3), 0u) << "outside, written with \"\\\"";
    EXPECT_FALSE(f.player->Status().CurrentChart().BgaSurfaces[1]);
    EXPECT_TRUE(f.player->Status().CurrentChart().Header.MidiFileName.empty())
        << "no music is loaded";
    EXPECT_EQ(f.OutsideReports(), 4) << "each name that would leave is logged with the reason";
}

TEST(Hardening, AChartNamedOnTheCommandLineKeepsToTheSongsFolderHoldingItElseToItsOwn) {
    {
        // Opened from the file manager, a chart of the songs folder still
        // reaches the pack's shared sounds.
        ClimbingNamesFixture f;
        f.Start({f.Chart()});
        ASSERT_TRUE(f.player->Status().ChartActive());
        EXPECT_GT(f.SampleBytes(1), 0u);
        EXPECT_EQ(f.SampleBytes(2), 0u);
        EXPECT_EQ(f.OutsideReports(), 4);
    }
    ClimbingNamesFixture f;
    f.songsFolder = f.dir.File("other");
    std::filesystem::create_directories(f.songsFolder);
    f.Start({f.Chart()});
    ASSERT_TRUE(f.player->Status().ChartActive());
    EXPECT_EQ(f.SampleBytes(1), 0u) << "no songs folder holds it: the chart's folder is the limit";
    EXPECT_EQ(f.OutsideReports(), 5);
}

TEST(Hardening, NamesTheLookupMakesStayInsideTheSongsFolder) {
    ClimbingNamesFixture f;
    std::filesystem::create_directories(f.dir.File("songs/pack/\xE3\x81\x82"));
    f.Write("outside/secret.wav", tools::EncodeWav16(std::vector<int16_t>(64, 1000), 1, 44100));
    // Checked as written, "\xE3\x81\x82\\.." is one Shift-JIS-looking name;
    // the ".ogg" tried in place of the last byte makes the text UTF-8, where
    // "\\" separates.
    f.Write("songs/pack/a.bms",
            Bytes("#WAV01 \xE3\x81\x82\\../\xE3\x81\x82\\../../../outside/secret.\xFF\n"
                  "#00111:01\n"));
    f.Start({});
    ASSERT_TRUE(f.player->StartChart(f.dir.File("songs/pack/a.bms")));
    EXPECT_EQ(f.SampleBytes(1), 0u) << "the sound fallback's name stays inside";
}

TEST(Hardening, TheStandardReadingLooksForItsPicturesAndPreviewInsideTheChartsFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("a"));
    WriteFileAtomic(dir.File("secret.bmp"), Picture(0xFF0000));
    WriteFileAtomic(dir.File("secret.wav"), tools::EncodeWav16({1, 2, 3}, 1, 44100));
    WriteFileAtomic(dir.File("a/c.bms"),
                    Bytes("#BANNER ../secret.bmp\n#STAGEFILE ..\\secret.bmp\n"
                          "#PREVIEW ../secret.wav\n#WAV01 a/../../secret.wav\n#00111:01\n"));
    const std::string chart = dir.File("a/c.bms");
    EXPECT_EQ(standard::BannerFile(chart), "");
    EXPECT_EQ(standard::StageFile(chart), "");
    EXPECT_EQ(standard::PreviewFile(chart), "");
    ChartReading reading;
    reading.Standard = true;
    const std::string listing = InspectChart(chart, '.', reading);
    EXPECT_NE(listing.find("Missing WAV01 a/../../secret.wav\n"), std::string::npos) << listing;
}
