// Watching a chart from another point: starting at a measure, seeking by
// keys, and the scroll speed. After a seek play is as if the song had been
// played up to there.
#include "play/Seek.h"
#include "HeadlessPlayer.h"
#include "app/CommandLine.h"
#include "app/Runner.h"
#include "files/Files.h"
#include "platform/MidiTime.h"
#include "tools/Midi.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<uint8_t> Flat(int frames, int16_t value) {
    return tools::EncodeWav16(std::vector<int16_t>(size_t(frames), value), 1, 44100);
}

std::vector<uint8_t> SolidBmp(uint32_t rgb) {
    BitmapData b;
    b.Width = 32, b.Height = 24, b.BitCount = 24;
    b.Pixels.assign(32 * 24, rgb);
    return EncodeBmp(b);
}

// Tempo 120 (measures of 2000 ms from 1000 ms on): keysounds and arrows in
// measures 0-5, the base image red from measure 1 and green from measure 3.
const char* const SeekChart = "#BPM 120\n#WAV01 k.wav\n#WAV02 s.wav\n#BMP01 red.bmp\n"
                              "#BMP02 green.bmp\n#00011:0102\n#00111:01020102\n#00104:01\n"
                              "#00212:0101\n#00304:02\n#00311:02\n#00411:0101\n#00512:02\n";

struct SeekFixture : HeadlessPlayer {
    explicit SeekFixture(std::optional<int> measure = std::nullopt) {
        startMeasure = measure;
        Write("song/a.bms", Bytes(SeekChart));
        Write("song/k.wav", Flat(4410, 100));
        Write("song/s.wav", Flat(4410, 10));
        Write("song/red.bmp", SolidBmp(0xFF0000));
        Write("song/green.bmp", SolidBmp(0x00FF00));
        Start({dir.File("song/a.bms")});
    }
    const ChartSession& Session() const { return player->Status().CurrentChart(); }
    const PlayState& Play() const { return player->Status().Playback(); }
};

} // namespace

TEST(Seek, AStartMeasureIsWhereAPlayedRunStandsAtThatTime) {
    SeekFixture played;
    SeekFixture started(3);
    ASSERT_TRUE(started.PassGate());
    EXPECT_EQ(started.player->Status().SongTime(), 7000) << "measure 3 starts at 7000 ms";
    const int32_t at = 7205;
    played.RunTo(at);
    started.RunTo(at);
    ASSERT_EQ(played.player->Status().SongTime(), started.player->Status().SongTime());
    EXPECT_EQ(played.Play().EventCursors, started.Play().EventCursors);
    EXPECT_EQ(played.Play().PrevSongTime, started.Play().PrevSongTime);
    EXPECT_EQ(started.Session().GameState.BgaBaseImage, 2);
    EXPECT_EQ(started.Back().Pixel(100, 100), played.Back().Pixel(100, 100));
}

TEST(Seek, ASeekBackShowsTheImageOfThatTimeAgain) {
    SeekFixture f;
    f.RunTo(9500); // measure 4: green since measure 3
    EXPECT_EQ(f.Back().Pixel(100, 100), 0x07E0);
    f.player->KeyDown(Key::Left); // to measure 3
    f.player->KeyDown(Key::Left); // to measure 2: red since measure 1
    f.Frame();
    EXPECT_EQ(f.Session().GameState.BgaBaseImage, 1);
    EXPECT_EQ(f.Back().Pixel(100, 100), 0xF800);
    EXPECT_GE(f.player->Status().SongTime(), 5000);
    EXPECT_LT(f.player->Status().SongTime(), 5100);
    f.player->KeyDown(Key::RightBracket); // measure 10 is past the end
    EXPECT_FALSE(f.player->Status().Notice().empty());
    f.Frame();
    EXPECT_LT(f.player->Status().SongTime(), 5200) << "nothing changed";
}

TEST(Seek, ASeekWhilePausedStandsThereAndPlayGoesOnFromIt) {
    SeekFixture f;
    f.RunTo(9500);
    f.player->KeyDown(Key::F4);
    f.Frame();
    f.player->KeyDown(Key::Left);
    f.Frame();
    EXPECT_EQ(f.player->Status().Mode(), ScreenPaused);
    EXPECT_EQ(f.player->Status().SongTime(), 7000);
    f.player->KeyDown(Key::F4);
    f.Frame();
    EXPECT_GE(f.player->Status().SongTime(), 7000);
    EXPECT_LE(f.player->Status().SongTime(), 7020);
}

TEST(Seek, TheMusicPlaysOnAfterASeek) {
    HeadlessPlayer f;
    tools::MidiSong song;
    song.Notes = {{0, 960 * 40, 0, 60, 90}};
    f.Write("song/music.mid", tools::EncodeMidi(song));
    f.Write("song/a.bms", Bytes(std::string("#MIDIFILE music.mid\n") + SeekChart));
    f.Write("song/k.wav", Flat(4410, 100));
    f.Start({f.dir.File("song/a.bms")});
    f.RunTo(9500);
    f.player->KeyDown(Key::LeftBracket); // back to measure 0
    f.Frame();
    EXPECT_EQ(f.Music(), MusicPlaying);
    EXPECT_GE(f.player->Status().SongTime(), 1000);
    EXPECT_LT(f.player->Status().SongTime(), 1100);
}

TEST(Seek, AMeasurePastTheEndIsRefusedWithAMessage) {
    SeekFixture f(6);
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0], "--start-measure 6: the chart's measures are 0 to 5");
    EXPECT_TRUE(f.player->Status().CloseRequested());
    EXPECT_EQ(f.player->Status().ExitCode(), 1);
    EXPECT_FALSE(ParseCommandLine({"--start-measure", "1000"}).Error.empty());
    EXPECT_FALSE(ParseCommandLine({"--scroll-speed", "0.3"}).Error.empty());
    EXPECT_FALSE(ParseCommandLine({"--scroll-speed", "1.1"}).Error.empty());
    EXPECT_EQ(ParseCommandLine({"--scroll-speed", "1.75"}).ScrollFactor, 1.75);
}

// The render from a measure is the whole render's tail from that time, sample
// for sample, with a sound that started before it resumed where it stood.
TEST(Seek, ARenderFromAMeasureIsTheTailOfTheWholeRender) {
    TempDir dir;
    tools::WriteProgramAssets(dir.Folder());
    std::filesystem::create_directories(dir.File("song"));
    std::vector<int16_t> ramp(44100 * 3);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = int16_t(i % 20000);
    WriteFileAtomic(dir.File("song/long.wav"), tools::EncodeWav16(ramp, 1, 44100));
    WriteFileAtomic(dir.File("song/k.wav"), Flat(300, 7000));
    WriteFileAtomic(dir.File("song/a.bms"),
                    Bytes("#BPM 120\n#WAV01 k.wav\n#WAV02 long.wav\n#00011:01\n#00111:0002\n"
                          "#00211:0101\n#00311:010101\n"));
    auto render = [&](std::optional<int> measure, const std::string& out) {
        CommandLine cl;
        cl.ProgramFolder = dir.Folder();
        cl.RenderWav = dir.File(out);
        cl.Arguments = {dir.File("song/a.bms")};
        cl.FrameMs = 16;
        cl.StartMeasure = measure;
        EXPECT_EQ(RunPlayer(cl), 0);
        const std::vector<uint8_t> wav = ReadWholeFile(dir.File(out));
        return std::vector<uint8_t>(wav.begin() + 44, wav.end());
    };
    const std::vector<uint8_t> whole = render(std::nullopt, "whole.wav");
    const std::vector<uint8_t> tail = render(2, "tail.wav");
    const size_t from = size_t(MixFramesOfSongTime(5000)) * 4;
    // Both end with the frame (16 ms) that finds the song quiet.
    ASSERT_GT(whole.size(), from + 44100 * 4);
    const size_t common = std::min(whole.size() - from, tail.size());
    EXPECT_LT(std::max(whole.size() - from, tail.size()) - common, size_t(MixRate / 1000 * 16 * 4));
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + long(common), whole.begin() + long(from)));
}

TEST(Seek, TwiceTheScrollSpeedDoublesTheArrowsDistance) {
    HeadlessNoteField f("#PLAYER 1\n#00111:01\n", {});
    const int32_t t = int32_t(f.Session().Chart.Events.LaneNotes(1, 0)[0].Time);
    f.DrawAt(t - 1000);
    const int farRow = f.FirstArrowRow(24);
    f.toggles.ScrollFactor = 2;
    f.DrawAt(t - 500);
    EXPECT_EQ(f.FirstArrowRow(24), farRow) << "500 ms ahead stands where 1000 ms did";
}

TEST(Seek, MusicTicksFollowTheTempoChanges) {
    // Division 480; 120 BPM, then 60 BPM from tick 960 (1000 ms).
    const std::vector<uint8_t> midi = {
        'M',  'T',  'h',  'd',  0,    0, 0,    6,    0,    0,    0,    1,    0x01, 0xE0,
        'M',  'T',  'r',  'k',  0,    0, 0,    19,   0,    0xFF, 0x51, 3,    0x07, 0xA1,
        0x20, 0x87, 0x40, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, 0,    0xFF, 0x2F, 0};
    EXPECT_EQ(MidiTickAtMs(midi.data(), midi.size(), 500), 480);
    EXPECT_EQ(MidiTickAtMs(midi.data(), midi.size(), 2000), 960 + 480);
    EXPECT_EQ(MidiTickAtMs(midi.data(), 10, 2000), 0) << "a cut file";
}
