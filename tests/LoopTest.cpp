// A passage played over and over: the marks by keys and by --loop, the joint
// on the end mark's own mix frame, a render's passes; the music's held notes
// after a seek; the scroll speed kept in the settings.
#include "HeadlessPlayer.h"
#include "app/CommandLine.h"
#include "app/Runner.h"
#include "app/Settings.h"
#include "files/Files.h"
#include "platform/MidiTime.h"
#include "platform/Music.h"
#include "play/Seek.h"
#include "tools/Midi.h"

#include <algorithm>
#include <cmath>
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

// Tempo 120: measure N starts at 1000 + 2000 N ms; keysounds and arrows in
// measures 0-5, the base image red from measure 1.
const char* const LoopChart = "#BPM 120\n#WAV01 k.wav\n#BMP01 red.bmp\n#00011:0101\n"
                              "#00111:01010101\n#00104:01\n#00212:0101\n#00311:01\n"
                              "#00411:0101\n#00512:01\n";

struct LoopFixture : HeadlessPlayer {
    explicit LoopFixture(bool loopChart = true) {
        if (!loopChart) return;
        Write("song/a.bms", Bytes(LoopChart));
        Write("song/k.wav", Flat(4410, 100));
        Write("song/red.bmp", SolidBmp(0xFF0000));
        Start({dir.File("song/a.bms")});
    }
    const PlayLoop& Loop() const { return player->Status().Playback().Loop; }
    std::string Band() const { return player->Status().SettingBand().Text(); }
    int32_t Time() const { return player->Status().SongTime(); }
};

int CountPixels(const Surface& s, int x0, int y0, int x1, int y1, uint16_t colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += s.Pixel(x, y) == colour;
    return n;
}

} // namespace

TEST(Loop, KeysMarkThePassageInOrderAndPlayGoesRoundIt) {
    LoopFixture f;
    f.RunTo(7500); // measure 3
    f.player->KeyDown(Key::I);
    EXPECT_EQ(f.Band(), "LOOP 3-");
    f.player->KeyDown(Key::Left);
    f.player->KeyDown(Key::Left); // measure 1
    f.Frame();
    f.player->KeyDown(Key::O); // an end before the start: the marks are ordered
    f.Frame();
    EXPECT_EQ(f.Band(), "LOOP 1-3");
    ASSERT_TRUE(f.Loop().Runs());
    EXPECT_EQ(f.Loop().StartTime, 3000);
    EXPECT_EQ(f.Loop().EndTime, 7000);
    int32_t latest = 0;
    for (int i = 0; i < 900; ++i) { // 9 s: more than two passes
        f.Frame();
        EXPECT_GE(f.Time(), 3000);
        EXPECT_LT(f.Time(), 7000);
        latest = std::max(latest, f.Time());
    }
    EXPECT_GT(latest, 6950);
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);

    // Marking the start on the end's measure would leave nothing to play.
    f.RunTo(5100);
    f.player->KeyDown(Key::Right); // measure 3
    f.Frame();
    f.player->KeyDown(Key::I);
    EXPECT_FALSE(f.player->Status().Notice().empty());
    EXPECT_EQ(f.Loop().StartTime, 3000) << "nothing changed";

    f.player->KeyDown(Key::Backspace);
    EXPECT_EQ(f.Band(), "LOOP OFF");
    EXPECT_FALSE(f.Loop().StartMeasure || f.Loop().EndMeasure);
}

TEST(Loop, ASoundCutAtTheEndMarkPlaysWholeOnceTheLoopIsCleared) {
    LoopFixture f(false);
    f.mixFollowsClock = true;
    f.Write("song/long.wav", Flat(44100 * 3, 100));
    f.Write("song/a.bms", Bytes("#BPM 120\n#WAV01 long.wav\n#00111:01\n#00311:01\n"));
    const uint32_t tick0 = f.clock.NowMs();
    f.Start({f.dir.File("song/a.bms")});
    int64_t mixed = 0;
    auto runTo = [&](int32_t songTime) { // with the mix pulled in step
        for (int i = 0; i < 2000 && (!f.player->Status().SongStarted() || f.Time() < songTime);
             ++i) {
            f.Frame();
            const int64_t due = MixFrameOfTick(f.clock.NowMs(), tick0);
            f.Pull(int(due - mixed));
            mixed = due;
        }
    };
    runTo(3500);
    f.player->KeyDown(Key::I); // measure 1
    runTo(5500);
    f.player->KeyDown(Key::O); // measure 2: back to 3000, the sound bound to end at 5000
    runTo(3500);
    f.player->KeyDown(Key::Backspace);
    runTo(5200);
    EXPECT_EQ(f.Playing(), 1) << "the sound begun at 3000 runs to 6000";
}

TEST(Loop, MarkingTheEndBehindPlayGoesBackToTheStartAtOnce) {
    LoopFixture f;
    f.RunTo(3500);
    f.player->KeyDown(Key::I); // measure 1
    f.RunTo(8100);
    f.player->KeyDown(Key::O); // measure 3, already passed
    f.Frame();
    EXPECT_GE(f.Time(), 3000);
    EXPECT_LT(f.Time(), 3100);
}

TEST(Loop, TheLabelAndTheMarksAreDrawnBesideTheLanes) {
    LoopFixture f;
    f.RunTo(3050);
    f.player->KeyDown(Key::I);
    f.RunTo(5050);
    f.player->KeyDown(Key::O); // past the end mark: back to the start mark at once
    f.Frame();
    const Surface& picture = f.Back();
    EXPECT_GT(CountPixels(picture, 0, 210, 100, 240, 0x07E0), 10) << "the LOOP 1-2 label";
    EXPECT_GT(CountPixels(picture, 0, 32, 320, 64, 0x07FF), 5)
        << "the start mark near the receptors";
    f.player->KeyDown(Key::Backspace);
    f.Frame();
    EXPECT_EQ(CountPixels(f.Back(), 0, 210, 100, 240, 0x07E0), 0);
    EXPECT_EQ(CountPixels(f.Back(), 0, 0, 320, 240, 0x07FF), 0);
}

// The mix across the joint is the mix of a play started at the loop's start:
// a render of two passes is the same passage twice, each the head of a
// render from the start mark, with a sound begun before the start mark
// resumed where it stood and a sound crossing the end mark cut there.
TEST(Loop, TheJointContinuesOnTheEndMarksFrameAsASeekToTheStart) {
    TempDir dir;
    tools::WriteProgramAssets(dir.Folder());
    std::filesystem::create_directories(dir.File("song"));
    std::vector<int16_t> ramp(44100 * 4);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = int16_t(i % 20000);
    WriteFileAtomic(dir.File("song/long.wav"), tools::EncodeWav16(ramp, 1, 44100));
    WriteFileAtomic(dir.File("song/k.wav"), Flat(300, 7000));
    WriteFileAtomic(dir.File("song/a.bms"),
                    Bytes("#BPM 120\n#WAV01 k.wav\n#WAV02 long.wav\n#00011:01\n#00111:0002\n"
                          "#00211:0101\n#00311:010101\n#00411:01\n"));
    auto render = [&](std::optional<int> measure, int passes, const std::string& out) {
        CommandLine cl;
        cl.ProgramFolder = dir.Folder();
        cl.RenderWav = dir.File(out);
        cl.Arguments = {dir.File("song/a.bms")};
        cl.FrameMs = 16; // the joint falls inside a frame
        cl.StartMeasure = measure;
        if (passes) cl.LoopMeasures = std::make_pair(2, 3), cl.LoopCount = passes;
        EXPECT_EQ(RunPlayer(cl), 0);
        const std::vector<uint8_t> wav = ReadWholeFile(dir.File(out));
        return std::vector<uint8_t>(wav.begin() + 44, wav.end());
    };
    const std::vector<uint8_t> looped = render(std::nullopt, 2, "loop.wav");
    const std::vector<uint8_t> started = render(2, 0, "start.wav");
    const size_t pass = size_t(MixFramesOfSongTime(7000) - MixFramesOfSongTime(5000)) * 4;
    ASSERT_EQ(looped.size(), 2 * pass) << "the render ends on the last pass's end mark";
    ASSERT_GT(started.size(), pass + 4);
    EXPECT_TRUE(std::equal(looped.begin(), looped.begin() + long(pass), started.begin()));
    EXPECT_TRUE(
        std::equal(looped.begin(), looped.begin() + long(pass), looped.begin() + long(pass)));
    // The long sound runs on past the end mark without the loop, not with it.
    EXPECT_FALSE(
        std::equal(started.begin() + long(pass), started.begin() + long(pass) + 4, looped.begin()));
}

TEST(Loop, BadLoopsAreRefusedWithAMessage) {
    LoopFixture f; // the chart's measures are 0 to 5
    auto run = [&](int first, int last) {
        CommandLine cl;
        cl.ProgramFolder = f.dir.Folder();
        cl.Headless = true;
        cl.Frames = 5;
        cl.Arguments = {f.dir.File("song/a.bms")};
        cl.LoopMeasures = std::make_pair(first, last);
        return RunPlayer(cl);
    };
    EXPECT_EQ(run(2, 9), 1);
    EXPECT_EQ(run(2, 7), 1);
    EXPECT_EQ(run(3, 3), 1);
    EXPECT_EQ(run(2, 4), 0);
    EXPECT_FALSE(ParseCommandLine({"--loop", "3"}).Error.empty());
    EXPECT_FALSE(ParseCommandLine({"--loop", "3-+4"}).Error.empty());
    EXPECT_FALSE(ParseCommandLine({"--loop-count", "0"}).Error.empty());
    const CommandLine backwards = ParseCommandLine({"--loop", "40-32"});
    EXPECT_EQ(backwards.LoopMeasures, std::make_pair(32, 40));
    EXPECT_EQ(LoopPassesOf(backwards), 0) << "live and headless runs loop on";
    EXPECT_EQ(LoopPassesOf(ParseCommandLine({"--loop", "1-2", "--render-wav", "o.wav", "a.bms"})),
              1);
}

TEST(Loop, TheLastMeasureLoopsUpToItsEnd) {
    LoopFixture f; // the chart's measures are 0 to 5
    CommandLine cl;
    cl.ProgramFolder = f.dir.Folder();
    cl.RenderWav = f.dir.File("last.wav");
    cl.Arguments = {f.dir.File("song/a.bms")};
    cl.LoopMeasures = std::make_pair(5, 6), cl.LoopCount = 2;
    ASSERT_EQ(RunPlayer(cl), 0);
    EXPECT_EQ(ReadWholeFile(cl.RenderWav).size(), 44 + 2 * size_t(MixFramesOfSongTime(2000)) * 4);
}

TEST(Loop, NoLoopSetBoundsNoSound) {
    PlayState play;
    EXPECT_EQ(FramesBeforeLoopEnd(play, 0), WholeSound);
    play.Loop = PlayLoop{.StartMeasure = 1, .EndMeasure = 2, .StartTime = 3000, .EndTime = 5000};
    EXPECT_EQ(FramesBeforeLoopEnd(play, 4000), uint32_t(44100));
    EXPECT_EQ(FramesBeforeLoopEnd(play, 5000), WholeSound) << "past the end mark";
}

namespace {

// A one-track file of division 480 from (absolute tick, message) pairs.
std::vector<uint8_t>
MidiFile(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& events) {
    std::vector<uint8_t> track;
    uint32_t last = 0;
    for (const auto& [tick, message] : events) {
        const uint32_t delta = tick - last;
        last = tick;
        if (delta >= 128) track.push_back(uint8_t(0x80 | (delta >> 7)));
        track.push_back(uint8_t(delta & 0x7F));
        track.insert(track.end(), message.begin(), message.end());
    }
    std::vector<uint8_t> file = {
        'M', 'T',  'h',  'd', 0,   0,   0,   6, 0, 0, 0,
        1,   0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, uint8_t(track.size())};
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// Channel 0: note 60 from tick 0 to 960, pedal down at 100, note 62 from 200
// to 300 (held by the pedal), pedal up at 600; note 64 from 480 to 2000; note
// 67 from 960.
const std::vector<uint8_t> HeldMidi = MidiFile({{0, {0x90, 60, 90}},
                                                {100, {0xB0, 64, 127}},
                                                {200, {0x90, 62, 80}},
                                                {300, {0x80, 62, 0}},
                                                {480, {0x90, 64, 70}},
                                                {600, {0xB0, 64, 0}},
                                                {960, {0x80, 60, 0}},
                                                {960, {0x90, 67, 60}},
                                                {2000, {0x80, 64, 0}},
                                                {2000, {0xFF, 0x2F, 0}}});

} // namespace

TEST(Loop, TheNotesSoundingAtATickAreThoseHeldOrSustainedThere) {
    const auto at = [](int64_t tick) {
        return MidiNotesHeldAt(HeldMidi.data(), HeldMidi.size(), tick);
    };
    using N = HeldMidiNote;
    EXPECT_EQ(at(0), (std::vector<N>{{0, 60, 90, false}})) << "a note starting on the tick";
    EXPECT_EQ(at(400), (std::vector<N>{{0, 60, 90, false}, {0, 62, 80, true}}));
    EXPECT_EQ(at(700), (std::vector<N>{{0, 60, 90, false}, {0, 64, 70, false}}))
        << "the pedal let go";
    EXPECT_EQ(at(960), (std::vector<N>{{0, 64, 70, false}, {0, 67, 60, false}}))
        << "a note ending on the tick is gone, one starting there sounds";
    EXPECT_EQ(MidiNotesHeldAt(HeldMidi.data(), 28, 400), (std::vector<N>{{0, 60, 90, false}}))
        << "a cut file reads as far as it goes";
    EXPECT_TRUE(MidiNotesHeldAt(HeldMidi.data(), 10, 400).empty());
}

TEST(Loop, ANoteHeldAcrossASeekSoundsAfterIt) {
    if (MusicPlayer::FindSoundFont().empty()) GTEST_SKIP() << "no soundfont installed";
    TempDir dir;
    tools::MidiSong song;
    song.Programs[0] = 19;                  // an organ: it holds its level
    song.Notes = {{0, 960 * 8, 0, 60, 100}, // 4 s
                  {0, 480, 0, 72, 100}};    // ended long before the seek
    WriteFileAtomic(dir.File("held.mid"), tools::EncodeMidi(song));
    ProblemLog log(dir.File("ddsd.debug"));
    Mixer sound(log);
    MusicPlayer music;
    sound.AddSource(&music);
    music.FileName = dir.File("held.mid");
    music.Open();
    music.Seek(2000);
    music.Play();
    std::vector<int16_t> out(2 * 4410);
    sound.Mix(out.data(), 4410);
    int peak = 0;
    for (int16_t s : out)
        peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(peak, 500) << "the held note sounds from the seek on";
    sound.RemoveSource(&music);
}

TEST(Loop, TheScrollSpeedIsKeptOnlyWhenSaved) {
    std::vector<std::string> problems;
    const Settings read = ParseSettings("scroll-speed = 1.75\n", "s", problems);
    EXPECT_EQ(read.ScrollSpeed, 1.75);
    ParseSettings("scroll-speed = 1.1\nscroll-speed = 9\n", "s", problems);
    EXPECT_EQ(problems.size(), 2u);
    CommandLine cl = ParseCommandLine({});
    ApplySettings(cl, read);
    EXPECT_EQ(cl.ScrollFactor, 1.75);
    cl = ParseCommandLine({"--scroll-speed", "3"});
    ApplySettings(cl, read);
    EXPECT_EQ(cl.ScrollFactor, 3) << "the command line overrides the file";
    EXPECT_EQ(MergeSettings("volume = 50\n", cl.Given), "volume = 50\nscroll-speed = 3\n");
    EXPECT_EQ(MergeSettings("scroll-speed = 2\n", Settings{}), "scroll-speed = 2\n")
        << "a save that does not set it keeps the file's";
}
