// The standard reading played: its chart as the compiled-chart value (wide
// slots, folded lanes, silent objects), arrows and receptors that follow the
// beat, wide keysound slots in the mix, and the stage and banner pictures.
#include "HeadlessPlayer.h"
#include "app/CommandLine.h"
#include "chart/Reading.h"
#include "chart/exact/Compiler.h"
#include "chart/standard/Convert.h"
#include "files/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

using namespace tappo;
using namespace tappo::test;

namespace {

CompiledChart Convert(const std::string& text, const std::string& path = "/songs/x/c.bms") {
    return standard::ToCompiled(standard::Compile(text, {}), path);
}

std::vector<uint8_t> SolidBmp(uint32_t rgb) {
    BitmapData b;
    b.Width = 32, b.Height = 24, b.BitCount = 24;
    b.Pixels.assign(32 * 24, rgb);
    return EncodeBmp(b);
}

} // namespace

TEST(StandardPlay, ConvertsIntoTheCompiledChart) {
    // Tempo 120: measure 1 starts at 3000 ms, its half at 4000 ms.
    const CompiledChart c = Convert("#BPM 120\n#WAVZZ z.wav\n#WAV0A a.wav\n#BMPA1 x.bmp\n"
                                    "#00101:ZZ0A\n#00111:ZZ\n#00112:0A\n#00118:ZZ\n#00131:ZZ\n"
                                    "#001D1:ZZ\n#00151:0A0A\n#00104:A1\n#00107:A1\n");
    const ChartData& d = c.Data;
    EXPECT_EQ(d.SlotLimit, WideSlotCount);
    EXPECT_EQ(d.WavFileNames[1295], "/songs/x/z.wav");
    EXPECT_EQ(d.WavFileNames[10], "/songs/x/a.wav");
    EXPECT_EQ(d.BmpFileNames[361], "/songs/x/x.bmp");
    EXPECT_EQ(c.SongFolder, "/songs/x/");

    // Sounded: both background objects, three notes and the long note's start;
    // not the long note's end, the invisible object or the mine.
    const EventList& sounds = d.Events[SoundEventsIndex];
    ASSERT_EQ(sounds.size(), 6u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(sounds[i].Time, 3000);
    EXPECT_EQ(sounds[5].Time, 4000);
    EXPECT_EQ(sounds[5].Text(), "00040000A");
    EXPECT_EQ(sounds[5].Slot(), 10);
    EXPECT_EQ(sounds[0].Slot(), 1295) << "equal times keep the chart's order";
    EXPECT_EQ(sounds[2].Slot(), 10);
    for (const EventList& list : d.Events.Lists)
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end(),
                                   [](auto& a, auto& b) { return a.Time < b.Time; }));

    // Keys 1 and 2 and the long note (key 1) share lane 0; key 8 is on lane 2.
    EXPECT_EQ(d.Events[LaneNotesIndex + 0].size(), 3u);
    EXPECT_EQ(d.Events[LaneNotesIndex + 2].size(), 1u);
    ASSERT_EQ(d.Events[StepTickEventsIndex].size(), 4u);
    EXPECT_EQ(d.Events[StepTickEventsIndex][0].Time, 2980);
    ASSERT_EQ(d.Events[BgaBaseEventsIndex].size(), 1u);
    EXPECT_EQ(d.Events[BgaBaseEventsIndex][0].Slot(), 361);
    EXPECT_TRUE(d.HasBga && d.HasBgaLayer);
    EXPECT_EQ(d.MeasureStart[1], 3000.0);
    EXPECT_EQ(d.MeasureLength[0], 2000.0);
    EXPECT_EQ(d.LastObjectMeasure, 1);
    EXPECT_EQ(d.LastSoundTime, 7000) << "two seconds after measure 1 ends";
    ASSERT_TRUE(d.BeatScroll);
    EXPECT_EQ(c.GameState.Bpm, 120.0);
    EXPECT_NEAR(c.GameState.ScrollSpeed, 128.0 / 2000, 1e-15);
}

TEST(StandardPlay, ExactReadingKeepsItsSlotsAndNoBeats) {
    const CompiledChart c = exact::Compile("#WAVFF f.wav\n#00111:FF\n", "/s/c.bms", '.');
    EXPECT_EQ(c.Data.SlotLimit, SlotCount);
    EXPECT_FALSE(c.Data.BeatScroll);
    EXPECT_EQ(c.Data.Events[SoundEventsIndex][0].Slot(), 255);
    EXPECT_EQ(c.Data.Events[SoundEventsIndex][0].WideSlot, 0);
}

TEST(StandardPlay, HeaderValuesAreTheChartsOwn) {
    TempDir dir;
    WriteFileAtomic(dir.File("c.bms"), Bytes("#PLAYER 3\n#00111:01\n"));
    ChartCarryOver before;
    before.Header.Title = "old";
    before.GameState.PlayLevel = 9;
    const CompiledChart c = CompileChartFileAs(StandardReading(), dir.File("c.bms"), '.', before);
    EXPECT_EQ(c.Header.Title, "") << "nothing carries over from the chart before";
    EXPECT_EQ(c.GameState.PlayLevel, 0);
    EXPECT_EQ(c.GameState.Lane1X, 32);
    EXPECT_EQ(c.GameState.Lane2X, 160);
    EXPECT_EQ(CompileChartFileAs(StandardReading(), dir.File("c.bms"), '.', before).Data.SlotLimit,
              WideSlotCount);

    // Only an unreadable file stops a standard compile.
    EXPECT_THROW(CompileChartFileAs(StandardReading(), dir.File("missing.bms"), '.'), CompileError);
    const std::string listing = InspectChart(dir.File("c.bms"), '.', StandardReading());
    EXPECT_NE(listing.find("\nMode standard\n"), std::string::npos);
}

TEST(StandardPlay, MeasurePhaseFollowsTheBeat) {
    // 120 bpm; a stop of a whole 4/4 measure (2000 ms) on beat 2; measure 1 is 3/4.
    standard::BeatScroller s;
    s.Timeline.Start(120);
    s.Timeline.AddStop(2, 192);
    s.MeasureBeat = {0, 4, 7, 11};
    EXPECT_EQ(s.MeasurePhase(900), 0) << "before measure 0";
    EXPECT_EQ(s.MeasurePhase(1500), 4);
    EXPECT_EQ(s.MeasurePhase(2000), 8);
    EXPECT_EQ(s.MeasurePhase(3000), 8) << "inside the stop";
    EXPECT_EQ(s.MeasurePhase(4000), 8) << "at its end";
    EXPECT_EQ(s.MeasurePhase(4250), 10);
    EXPECT_EQ(s.MeasurePhase(5000), 0) << "measure 1 starts on beat 4";
    EXPECT_EQ(s.MeasurePhase(5750), 8) << "half of a three-beat measure";
    EXPECT_GE(s.MeasurePhase(1e9), 0);
    EXPECT_LT(s.MeasurePhase(1e9), 16) << "past the last measure it stays a sprite row";
}

TEST(StandardPlay, MeasurePhaseOfBeatsPastADouble) {
    // A tempo of 1e308 reaches infinite beats within a millisecond.
    standard::BeatScroller s;
    s.Timeline.Start(1e308);
    s.MeasureBeat = {0, 4};
    EXPECT_EQ(s.MeasurePhase(1500), 0);
    s.MeasureBeat = {0, 1e-300};
    EXPECT_EQ(s.MeasurePhase(1000.5), 0);
}

namespace {

ChartReading StandardOnArrows() {
    ChartReading r = StandardReading();
    r.ArrowLanes = true;
    return r;
}

// A note field over `chart` read the standard way, on the four arrow lanes.
struct StandardField : HeadlessNoteField {
    explicit StandardField(const std::string& chart)
        : HeadlessNoteField(chart, StandardOnArrows()) {}
    int32_t FirstNoteTime() const {
        return int32_t(player->Status().CurrentChart().Chart.Events[LaneNotesIndex][0].Time);
    }
    // Top row of lane 0's arrow at `songTime`, or -1.
    int ArrowTop(int32_t songTime) {
        DrawAt(songTime);
        return FirstArrowRow(24);
    }
};

} // namespace

TEST(StandardPlay, ArrowsStandStillDuringAStop) {
    // 120 bpm, 32 pixels a beat. A stop of 2000 ms on beat 4 (3000 ms); the
    // note on beat 8 sounds at 7000 ms.
    StandardField f("#BPM 120\n#PLAYER 1\n#STOP01 192\n#00109:01\n#00211:01\n");
    ASSERT_EQ(f.FirstNoteTime(), 7000);
    EXPECT_EQ(f.ArrowTop(3000), 32 + 128) << "four beats away";
    EXPECT_EQ(f.ArrowTop(4000), 32 + 128) << "the stop holds it";
    EXPECT_EQ(f.ArrowTop(5000), 32 + 128);
    EXPECT_EQ(f.ArrowTop(5500), 32 + 96) << "one beat later";
    EXPECT_EQ(f.ArrowTop(2000), 32 + 192) << "two beats before the stop";
    f.play.LateTime = 500;
    EXPECT_EQ(f.ArrowTop(6000), 32 + 96) << "late time moves the arrows by song time";
}

TEST(StandardPlay, ArrowsMoveWithTheTempo) {
    // Tempo 240 from measure 1 (3000 ms); the note on beat 8 sounds at 4000 ms.
    StandardField f("#BPM 120\n#PLAYER 1\n#00103:F0\n#00211:01\n");
    ASSERT_EQ(f.FirstNoteTime(), 4000);
    EXPECT_EQ(f.ArrowTop(3000), 32 + 128);
    EXPECT_EQ(f.ArrowTop(3500), 32 + 64) << "twice the header tempo: twice the speed";
    EXPECT_EQ(f.ArrowTop(2000), 32 + 192) << "at the header tempo before";
}

TEST(StandardPlay, WideKeysoundSlotsPlay) {
    HeadlessPlayer f;
    f.reading = StandardReading();
    f.Write("s/z.wav", tools::EncodeWav16(std::vector<int16_t>(4410, 1000), 1, 44100));
    f.Write("s/a.bms", Bytes("#BPM 120\n#WAVZZ z.wav\n#00001:ZZ\n"));
    f.Start({f.dir.File("s/a.bms")});
    ASSERT_TRUE(f.player->Status().CurrentChart().KeysoundSlots[1295]);
    ASSERT_TRUE(f.player->Status().CurrentChart().KeysoundSlots[StepTickSlot])
        << "the step tick keeps a slot of its own";
    ASSERT_TRUE(f.PassGate());
    f.RunTo(990);
    EXPECT_EQ(f.Playing(), 0);
    f.RunTo(1020);
    EXPECT_EQ(f.Playing(), 1);
}

namespace {

// A form on a chart with a white "#STAGEFILE", read `standard` or exact:
// pixel (5, y) of the first picture presented, the loading screen.
int FirstPresentedPixel(bool standard, int y = 5) {
    HeadlessPlayer f;
    if (standard) f.reading = StandardReading();
    f.Write("s/stage.bmp", SolidBmp(0xFFFFFF));
    f.Write("s/a.bms", Bytes("#STAGEFILE stage.bmp\n#00111:01\n"));
    int presented = -1;
    f.presenter.OnPresent = [&](const Surface& back) {
        if (presented < 0) presented = back.Pixel(5, y);
    };
    f.Start({f.dir.File("s/a.bms")});
    return presented;
}

// The middle of the banner where it rests on the select screen.
constexpr int BannerMiddleX = 121 + 40, BannerMiddleY = 120 + 26;

// A song folder whose picture is blue and whose chart names `banner` as its own.
struct BannerFixture : HeadlessPlayer {
    BannerFixture(bool standard, const std::string& banner, const std::vector<uint8_t>& bytes) {
        if (standard) reading = StandardReading();
        Write("songs/s/a.bmp", SolidBmp(0x0000FF));
        Write("songs/s/" + banner, bytes);
        Write("songs/s/c.bms", Bytes("#BANNER " + banner + "\n#00111:01\n"));
        Start({});
        Frame();
    }
    uint16_t BannerMiddle() { return uint16_t(Back().Pixel(BannerMiddleX, BannerMiddleY)); }
};

} // namespace

TEST(StandardPlay, ExactReadingShowsNoStageFileWhileTheChartLoads) {
    EXPECT_EQ(FirstPresentedPixel(false), 0);
}

TEST(StandardPlay, StageFileIsShownWhileTheChartLoads) {
    EXPECT_EQ(FirstPresentedPixel(true), 0xFFFF);
    EXPECT_EQ(FirstPresentedPixel(true, 240 / 2 - 20), 0x39E7) << "darkened behind the text";
}

TEST(StandardPlay, EveryFileThatDidNotLoadIsNamedInTheLogAndTheListing) {
    HeadlessPlayer f;
    f.reading = StandardReading();
    f.Write("s/kick.ogg", Bytes("not a sound")); // found for kick.wav, does not load
    f.Write("s/a.bms", Bytes("#WAV01 kick.wav\n#WAV02 Gone.wav\n#BMP01 back.png\n"
                             "#BMP02 gone.bmp\n#MIDIFILE gone.mid\n#00111:0102\n#00104:0102\n"));
    f.Start({f.dir.File("s/a.bms")});
    std::string log;
    for (const std::string& line : LogLines(f.dir.File("ddsd.debug")))
        log += line + "\n";
    for (const char* name : {"s/kick.ogg", "s/Gone.wav", "s/gone.mid", "s/back.png", "s/gone.bmp"})
        EXPECT_NE(log.find(name), std::string::npos) << name << " in\n" << log;
    const std::string listing = InspectChart(f.dir.File("s/a.bms"), '.', StandardReading());
    EXPECT_NE(
        listing.find("Mode standard\nKeyLayout 5K\nMissing WAV02 Gone.wav\nMissing BMP01 back.png\n"
                     "Missing BMP02 gone.bmp\nMissing MIDIFILE gone.mid\nMeasure"),
        std::string::npos)
        << "kick.wav is found as kick.ogg: there, though it does not load\n"
        << listing;
}

TEST(StandardPlay, ABrokenStageFileIsLeftOut) {
    HeadlessPlayer broken;
    broken.reading = StandardReading();
    broken.Write("s/stage.bmp", Bytes("BM not a picture"));
    broken.Write("s/a.bms", Bytes("#STAGEFILE stage.bmp\n#00111:01\n"));
    broken.Start({broken.dir.File("s/a.bms")});
    EXPECT_EQ(broken.player->Status().Mode(), ScreenPlay) << "a broken stage picture is left out";
    EXPECT_TRUE(broken.messages.shown.empty());
}

TEST(StandardPlay, TheStageFileIsLetGoOnceTheChartHasLoaded) {
    HeadlessPlayer f;
    f.reading = StandardReading();
    f.Write("s/stage.bmp", SolidBmp(0xFFFFFF));
    f.Write("s/a.bms", Bytes("#STAGEFILE stage.bmp\n#00111:01\n"));
    f.Start({f.dir.File("s/a.bms")});
    EXPECT_FALSE(f.player->Status().HoldsStagePicture()) << "a command-line chart";
    HeadlessPlayer g;
    g.reading = StandardReading();
    g.Write("s/stage.bmp", SolidBmp(0xFFFFFF));
    g.Write("s/a.bms", Bytes("#STAGEFILE stage.bmp\n#00111:01\n"));
    g.Start({});
    g.keys.Tap(Key::Z);
    g.Frame();
    ASSERT_EQ(g.player->Status().Mode(), ScreenPlay);
    EXPECT_FALSE(g.player->Status().HoldsStagePicture()) << "a chart started on the select screen";
}

namespace {

// `text` saved as UTF-16 with its byte-order mark.
std::vector<uint8_t> Utf16(const std::u16string& text, bool bigEndian) {
    std::vector<uint8_t> out{0xFF, 0xFE};
    if (bigEndian) std::swap(out[0], out[1]);
    for (char16_t c : text) {
        out.push_back(uint8_t(bigEndian ? c >> 8 : c & 0xFF));
        out.push_back(uint8_t(bigEndian ? c & 0xFF : c >> 8));
    }
    return out;
}

} // namespace

TEST(StandardPlay, AUtf16ChartReadsAsItsUtf8Text) {
    // A surrogate pair, and a tempo that only its own text gives.
    HeadlessPlayer f;
    f.Write("u8.bms", Bytes("#TITLE 曲𝄞\r\n#BPM 90\r\n#WAV01 a.wav\r\n#00111:0101\r\n"));
    f.Write("le.bms", Utf16(u"#TITLE 曲𝄞\r\n#BPM 90\r\n#WAV01 a.wav\r\n#00111:0101\r\n", false));
    f.Write("be.bms", Utf16(u"#TITLE 曲𝄞\r\n#BPM 90\r\n#WAV01 a.wav\r\n#00111:0101\r\n", true));
    const CompiledChart want = CompileChartFileAs(StandardReading(), f.dir.File("u8.bms"), '.');
    for (const char* name : {"le.bms", "be.bms"}) {
        const CompiledChart got = CompileChartFileAs(StandardReading(), f.dir.File(name), '.');
        EXPECT_EQ(got.Header.Title, want.Header.Title) << name;
        EXPECT_EQ(got.GameState.Bpm, 90) << name;
        EXPECT_EQ(got.Data.LastSoundTime, want.Data.LastSoundTime) << name;
        EXPECT_EQ(got.Data.Events[SoundEventsIndex].size(), 2u) << name;
    }
}

TEST(StandardPlay, AChartReadAsLessThanItsFileSaysWhy) {
    // UTF-16 in the exact reading, a NUL byte in either: said once the chart
    // has compiled, naming the file; a UTF-16 chart the standard reading reads.
    const std::vector<uint8_t> utf16 = Utf16(u"#BPM 90\n#00111:01\n", false);
    const std::vector<uint8_t> nul = {'#', 'B', 'P', 'M', ' ', '9', '0', '\n', 0, '#'};
    for (bool standard : {false, true}) {
        for (const auto& [bytes, want] :
             {std::pair{utf16, std::string(": the chart is saved as UTF-16")},
              std::pair{nul, std::string(": the chart text ends at a NUL byte on line 2")}}) {
            HeadlessPlayer f;
            if (standard) f.reading = StandardReading();
            f.Write("c.bms", bytes);
            f.Start({f.dir.File("c.bms")});
            EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
            const bool said = f.messages.shown.size() == 1 &&
                              f.messages.shown[0].starts_with(f.dir.File("c.bms") + want);
            EXPECT_EQ(said, !standard || bytes == nul) << want << (standard ? " standard" : "");
        }
    }
}

TEST(StandardPlay, ExactReadingTakesTheBannerFromTheFolderPicture) {
    BannerFixture f(false, "own.bmp", SolidBmp(0xFF0000));
    EXPECT_EQ(f.BannerMiddle(), RgbValueToPixel(0x0000FF));
    EXPECT_TRUE(std::filesystem::exists(BannerCachePath(f.dir.File("songs/s"))));
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("songs/s/disk.bmp")));
}

TEST(StandardPlay, BannerComesFromTheChart) {
    BannerFixture f(true, "own.bmp", SolidBmp(0xFF0000));
    EXPECT_EQ(f.BannerMiddle(), RgbValueToPixel(0xFF0000));
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("songs/s/disk.bmp")))
        << "a chart's own banner is not stored as the folder's";
}

TEST(StandardPlay, ABannerThatDoesNotReadIsLeftOut) {
    BannerFixture broken(true, "own.png", Bytes("not a picture"));
    EXPECT_TRUE(broken.messages.shown.empty()) << "a banner that does not read is left out";
    EXPECT_EQ(broken.BannerMiddle(), RgbValueToPixel(0x0000FF));
}

TEST(StandardPlay, BannerAndStageFileNamesInTheChartText) {
    TempDir dir;
    WriteFileAtomic(dir.File("c.bms"), Bytes("#banner  gone.bmp \r\n"));
    EXPECT_EQ(standard::BannerFile(dir.File("c.bms")), "") << "a banner file that does not exist";
    EXPECT_EQ(standard::ScanPictures("#BANNER a b.png \r\n#STAGEFILE\ts.jpg\n#BANNER c.bmp").Banner,
              "c.bmp");
    EXPECT_EQ(standard::ScanPictures("#STAGEFILE\ts.jpg\r\n").StageFile, "s.jpg");
    EXPECT_EQ(standard::ScanPictures("#BANNERX a\n#BANNER\n").Banner, "");
}

TEST(StandardPlay, CommandLineChoosesTheReading) {
    CommandLine cl = ParseCommandLine({"--standard", "--random-seed", "42", "--inspect", "a.bms"});
    ASSERT_TRUE(cl.Error.empty()) << cl.Error;
    ChartReading r = ChartReadingOf(cl, true);
    EXPECT_TRUE(r.Standard);
    EXPECT_TRUE(r.Options.UseSeed);
    EXPECT_EQ(r.Options.Seed, 42u);
    EXPECT_FALSE(ChartReadingOf(cl, true).DrawAtRandom) << "a seed is kept in live play too";
    EXPECT_NE(UsageText().find("--standard"), std::string::npos);
}

TEST(StandardPlay, WithoutASeedRandomTakesOneExceptInLivePlay) {
    CommandLine plain = ParseCommandLine({"--standard"});
    EXPECT_FALSE(ChartReadingOf(plain, false).Options.UseSeed) << "#RANDOM takes 1";
    EXPECT_EQ(ChartReadingOf(plain, false).Options.FixedRandom, 1);
    EXPECT_TRUE(ChartReadingOf(plain, true).DrawAtRandom) << "live play draws";
    EXPECT_FALSE(ChartReadingOf(ParseCommandLine({}), false).Standard)
        << "exact without --standard";
}

TEST(StandardPlay, ABadRandomSeedIsACommandLineError) {
    for (const char* bad : {"-1", "x", ""})
        EXPECT_FALSE(ParseCommandLine({"--random-seed", bad}).Error.empty()) << bad;
    EXPECT_FALSE(ParseCommandLine({"--random-seed"}).Error.empty());
}

TEST(StandardPlay, LivePlayDrawsEachChartAtRandom) {
    TempDir dir;
    WriteFileAtomic(dir.File("r.bms"),
                    Bytes("#RANDOM 2\n#IF 1\n#00101:01\n#ENDIF\n#IF 2\n#00201:01\n#ENDIF\n"));
    ChartReading live = StandardReading();
    live.DrawAtRandom = true;
    std::set<int> measures;
    for (int i = 0; i < 40; ++i)
        measures.insert(CompileChartFileAs(live, dir.File("r.bms"), '.').Data.LastObjectMeasure);
    EXPECT_EQ(measures, (std::set<int>{1, 2}));
    EXPECT_EQ(CompileChartFileAs(StandardReading(), dir.File("r.bms"), '.').Data.LastObjectMeasure,
              1)
        << "without a draw #RANDOM takes 1";
}

namespace {

// The select screen on one chart with a tempo slot "#BPM01" beside "#BPM".
struct HeaderFixture : HeadlessPlayer {
    explicit HeaderFixture(bool standard) {
        if (standard) reading = StandardReading();
        Write("songs/s/c.bms", Bytes("#TITLE T\n#BPM 150\n#BPM01 90\n#PLAYLEVEL\n"));
        Start({});
    }
};

// Whether the bottom right, where the start gate wrote its frame rate, is
// black a few frames into a song with images on but no base picture.
bool BlackWithoutABasePicture(bool standard) {
    HeadlessPlayer f;
    if (standard) f.reading = StandardReading();
    f.Write("s/a.bms", Bytes(standard ? "#BMPA1 gone.bmp\n#00204:A1\n#00311:01\n"
                                      : "#BMP01 gone.bmp\n#00204:01\n#00311:01\n"));
    f.Start({f.dir.File("s/a.bms")}, false);
    EXPECT_TRUE(f.player->Status().CurrentChart().Chart.HasBga);
    EXPECT_TRUE(f.PassGate());
    f.Frames(3);
    bool black = true;
    for (int y = 210; y < 240; ++y)
        for (int x = 250; x < 320; ++x)
            black = black && f.Back().Pixel(x, y) == 0;
    return black;
}

} // namespace

TEST(StandardPlay, SelectScreenReadsTheHeaderTheStandardWay) {
    HeaderFixture f(true);
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "T");
    EXPECT_TRUE(f.messages.shown.empty()) << f.messages.shown[0];
    EXPECT_EQ(f.player->Status().CurrentChart().GameState.Bpm, 150.0)
        << "#BPM01 is a tempo slot, not #BPM";
}

TEST(StandardPlay, SelectScreenInTheExactReadingRefusesATempoSlot) {
    HeaderFixture f(false);
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "T");
    EXPECT_EQ(f.messages.shown.size(), 1u) << "the exact reading refuses \"#BPM01 90\"";
}

TEST(StandardPlay, NoBasePictureLeavesTheScreenBlack) {
    EXPECT_TRUE(BlackWithoutABasePicture(true));
}

TEST(StandardPlay, NoBasePictureLeavesTheScreenBlackInTheExactReading) {
    EXPECT_TRUE(BlackWithoutABasePicture(false));
}
