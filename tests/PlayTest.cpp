// Playback driven through the whole form, headless: the start gate, keysounds
// on channels in the right frame, the end of the song, pause stepping,
// background images, and the sample-exact offline render.
#include "HeadlessPlayer.h"
#include "app/Runner.h"
#include "files/Files.h"
#include "tools/Midi.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

// A mono 44.1 kHz sound of `frames` samples of `value`.
std::vector<uint8_t> Flat(int frames, int16_t value) {
    return tools::EncodeWav16(std::vector<int16_t>(size_t(frames), value), 1, 44100);
}

std::vector<uint8_t> SolidBmp(uint32_t rgb, bool blackCorner) {
    BitmapData b;
    b.Width = 32, b.Height = 24, b.BitCount = 24;
    b.Pixels.assign(32 * 24, rgb);
    if (blackCorner) b.Pixels[0] = 0; // transparent when drawn as a layer
    return EncodeBmp(b);
}

struct PlayFixture : HeadlessPlayer {
    // Starts the player on `chart` (a path below the program folder).
    void Start(const std::string& chart) { HeadlessPlayer::Start({dir.File(chart)}); }
    void PassGate() { ASSERT_TRUE(HeadlessPlayer::PassGate()); }
};

} // namespace

TEST(Play, StartGateWaitsForFortyFramesPerSecond) {
    PlayFixture f;
    f.Write("song/a.bms", Bytes("#WAV01 k.wav\n#00011:01\n"));
    f.Write("song/k.wav", Flat(100, 1000));
    f.Start("song/a.bms");
    f.Frame();
    EXPECT_FALSE(f.player->Status().SongStarted());
    const Surface& back = f.Back();
    int green = 0;
    for (int y = 222; y < 240; ++y)
        for (int x = 276; x < 320; ++x)
            green += back.Pixel(x, y) == 0x07E0;
    if (f.fonts.Available()) {
        EXPECT_GT(green, 10) << "the \"0 fps\" text";
    }
    EXPECT_EQ(back.Pixel(10, 10), 0) << "the rest is black";
    for (int i = 0; i < 98; ++i)
        f.Frame();
    EXPECT_FALSE(f.player->Status().SongStarted()) << "no frame rate is known before a full second";
    f.PassGate();
    EXPECT_EQ(f.player->Status().Timer().FrameRate(), 100);
    EXPECT_EQ(f.player->Status().SongTime(), 0)
        << "the clock starts at the first frame through the gate";
}

TEST(Play, KeysoundsStartInTheFrameWhoseWindowHoldsTheirTime) {
    PlayFixture f;
    // 1000 ms: two sounds at once; 1005 ms: one more.
    f.Write("song/a.bms", Bytes("#BPM 120\n#WAV01 k.wav\n#WAV02 s.wav\n#00011:01\n#00012:02\n"
                                "#00302:0.01\n#00301:0002\n"));
    f.Write("song/k.wav", Flat(44100, 100));
    f.Write("song/s.wav", Flat(44100, 10));
    f.Start("song/a.bms");
    f.PassGate();
    while (f.player->Status().SongTime() <= 1000) {
        EXPECT_EQ(f.Playing(), 0) << "nothing before its time, at "
                                  << f.player->Status().SongTime();
        f.Frame();
    }
    EXPECT_EQ(f.player->Status().Playback().PrevSongTime, f.player->Status().SongTime())
        << "the next window starts where this one ended";
    EXPECT_EQ(f.Playing(), 2);
    EXPECT_EQ(f.player->SoundOutput().ChannelStatus(0), 1);
    EXPECT_EQ(f.player->SoundOutput().ChannelStatus(1), 1) << "the two lowest channels";
    EXPECT_EQ(f.Pull(1)[0], 110);
    EXPECT_EQ(f.player->Status().CurrentChart().Chart.Events.SoundEvents().size(), 3u);
}

TEST(Play, AThirtyThirdSoundIsDropped) {
    PlayFixture f;
    std::string chart = "#WAV01 k.wav\n";
    for (int i = 0; i < 33; ++i)
        chart += "#00001:01\n";
    f.Write("song/a.bms", Bytes(chart));
    f.Write("song/k.wav", Flat(44100, 100));
    f.Start("song/a.bms");
    f.PassGate();
    while (f.player->Status().SongTime() <= 1000)
        f.Frame();
    EXPECT_EQ(f.Playing(), 32);
    EXPECT_EQ(f.Pull(1)[0], 3200) << "32 sounds, not 33";
}

TEST(Play, TheSongEndsOnlyWhenEverythingIsQuiet) {
    PlayFixture f;
    // The last object is in measure 0: the song may end at 1000 + 1846 + 2000 ms,
    // but its sound lasts 10 s.
    f.Write("song/a.bms", Bytes("#WAV01 long.wav\n#00001:01\n"));
    f.Write("song/long.wav", Flat(441000, 5));
    f.Start("song/a.bms");
    f.PassGate();
    const int32_t last = f.player->Status().CurrentChart().Chart.LastSoundTime;
    EXPECT_EQ(last, 4846);
    while (f.player->Status().SongTime() <= last)
        f.Frame();
    EXPECT_TRUE(f.player->Status().Playback().SongEnded);
    EXPECT_FALSE(f.player->Status().CloseRequested()) << "a channel still plays";
    f.Pull(44100 * 11);
    f.Frame();
    EXPECT_TRUE(f.player->Status().CloseRequested()) << "a command-line chart ends the program";
    EXPECT_EQ(f.player->Status().ExitCode(), 0);
}

TEST(Play, TheSongWaitsForItsMusic) {
    PlayFixture f;
    // No objects at all: the song may end at once, but its music lasts a second.
    tools::MidiSong song;
    song.Notes = {{0, 960, 0, 60, 90}};
    f.Write("song/music.mid", tools::EncodeMidi(song));
    f.Write("song/a.bms", Bytes("#MIDIFILE music.mid\n"));
    f.Start("song/a.bms");
    EXPECT_TRUE(f.player->Status().Playback().MidiLoaded);
    f.PassGate();
    f.Frame();
    EXPECT_TRUE(f.player->Status().Playback().SongEnded);
    EXPECT_EQ(f.Music(), MusicPlaying);
    f.Pull(22050);
    f.Frame();
    EXPECT_FALSE(f.player->Status().CloseRequested()) << "the music still plays";
    f.Pull(44100);
    f.Frame();
    EXPECT_TRUE(f.player->Status().CloseRequested());
}

TEST(Play, BrokenMusicIsReportedAndTheChartPlaysWithoutIt) {
    PlayFixture f;
    f.Write("song/music.mid", Bytes("not a midi file"));
    f.Write("song/a.bms", Bytes("#MIDIFILE music.mid\n#WAV01 k.wav\n#00011:01\n"));
    f.Write("song/k.wav", Flat(100, 100));
    f.Start("song/a.bms");
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0].rfind("MIDI ファイルが読み込めません\n", 0), 0u)
        << f.messages.shown[0];
    EXPECT_FALSE(f.player->Status().Playback().MidiLoaded);
    EXPECT_FALSE(f.player->Status().CloseRequested());
    f.PassGate();
    while (f.player->Status().SongTime() <= 1000)
        f.Frame();
    EXPECT_EQ(f.Playing(), 1) << "the keysounds still play";
}

TEST(Play, PausedUpAndDownStepTheClockSilently) {
    PlayFixture f;
    f.Write("song/a.bms", Bytes("#WAV01 k.wav\n#00001:01\n#00101:01\n"));
    f.Write("song/k.wav", Flat(100, 100));
    f.Start("song/a.bms");
    f.PassGate();
    for (int i = 0; i < 20; ++i)
        f.Frame();
    f.player->KeyDown(Key::F4); // pause
    ASSERT_EQ(f.player->Status().Mode(), ScreenPaused);
    const int32_t at = f.player->Status().SongTime();
    f.keys.Press(Key::Down);
    for (int i = 0; i < 10; ++i)
        f.Frame();
    EXPECT_EQ(f.player->Status().SongTime(), at + 500) << "ten frames of Down: 500 ms";
    f.keys.Release(Key::Down);
    f.keys.Press(Key::K); // Up, by its letter key
    f.Frame();
    EXPECT_EQ(f.player->Status().SongTime(), at + 450);
    f.keys.ReleaseAll();
    EXPECT_EQ(f.Playing(), 0) << "the 1000 ms sound was passed without playing";
    EXPECT_EQ(f.player->Status().Playback().EventCursors[SoundEventsIndex], 0)
        << "cursors reset while paused";
}

namespace {

// Measure 0 lasts 2 ms, so both base changes (red, then a broken JPEG) fall in
// one frame; the layer image 3 (green, black in its corner) comes at the start
// of measure 2.
struct BgaFixture : PlayFixture {
    BgaFixture() {
        Write("song/a.bms",
              Bytes("#BMP01 red.bmp\n#BMP02 blue.jpg\n#BMP03 green.BMP\n#00002:0.001\n"
                    "#00004:0102\n#00207:03\n"));
        Write("song/red.bmp", SolidBmp(0xFF0000, false));
        Write("song/green.BMP", SolidBmp(0x00FF00, true));
        Write("song/blue.jpg", {1, 2, 3}); // never shown: the second change of its frame
        Start("song/a.bms");
    }
    const ChartSession& Session() const { return player->Status().CurrentChart(); }
};

} // namespace

TEST(Play, ABrokenBackgroundImageIsReportedAndLaterOnesStillLoad) {
    BgaFixture f;
    ASSERT_EQ(f.messages.shown.size(), 1u) << "the broken JPEG is reported";
    EXPECT_NE(f.messages.shown[0].find("/blue.jpg: JPEG エラー #"), std::string::npos);
    EXPECT_TRUE(f.Session().BgaSurfaces[1] != nullptr);
    EXPECT_TRUE(f.Session().BgaSurfaces[3] != nullptr) << "images after a broken one still load";
    EXPECT_EQ(f.Session().GameState.BgaLayerImage, 255);
}

TEST(Play, BackgroundImagesChangeAtMostOncePerFrame) {
    BgaFixture f;
    f.PassGate();
    while (f.player->Status().SongTime() <= 1002)
        f.Frame();
    EXPECT_EQ(f.Session().GameState.BgaBaseImage, 1) << "only the first change of the frame";
    EXPECT_EQ(f.Back().Pixel(100, 100), 0xF800);
}

TEST(Play, TheLayerImageIsDrawnOverTheBase) {
    BgaFixture f;
    f.PassGate();
    const double layerAt = f.Session().Chart.MeasureStart[2];
    while (f.player->Status().SongTime() <= layerAt)
        f.Frame();
    EXPECT_EQ(f.Session().GameState.BgaLayerImage, 3);
    EXPECT_EQ(f.Back().Pixel(100, 100), 0x07E0) << "the layer over the base";
    EXPECT_EQ(f.Back().Pixel(0, 0), 0xF800) << "black in the layer lets the base through";
}

TEST(Play, ACompileErrorIsNeverPlayed) {
    PlayFixture f;
    f.Write("song/a.bms", Bytes("#00011:01\n#00x11:01\n"));
    f.Start("song/a.bms");
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0], f.dir.File("song/a.bms") + ":2: '00x' は整数ではありません");
    EXPECT_TRUE(f.player->Status().CloseRequested());
    EXPECT_EQ(f.player->Status().ExitCode(), 1);
}

TEST(Render, SongTimesRoundDownToTheirMixFrame) {
    EXPECT_EQ(MixFramesOfSongTime(0), 0);
    EXPECT_EQ(MixFramesOfSongTime(1), 44) << "44.1 frames";
    EXPECT_EQ(MixFramesOfSongTime(1000), 44100);
    EXPECT_EQ(MixFramesOfSongTime(-1), -45) << "before the start, still the earlier frame";
    EXPECT_EQ(MixFramesOfSongTime(-1000), -44100);
    EXPECT_EQ(MixFrameOfTick(1010, 10), 44100);
    EXPECT_EQ(MixFrameOfTick(5, 0xFFFFFFFBu), 441) << "across the tick counter's wrap";
}

TEST(Render, EveryKeysoundStartsAtItsExactSample) {
    TempDir dir;
    tools::WriteProgramAssets(dir.Folder());
    std::filesystem::create_directories(dir.File("song"));
    // A click; notes at 1000, 1500, 2000 ms, 2000 + 2000/3 ms and a tempo change.
    WriteFileAtomic(dir.File("song/click.wav"), Flat(20, 7000));
    WriteFileAtomic(
        dir.File("song/a.bms"),
        Bytes("#BPM 120\n#WAV01 click.wav\n#00011:0101\n#00111:010101\n#00203:F0\n#00211:01\n"));
    CommandLine cl;
    cl.ProgramFolder = dir.Folder();
    cl.RenderWav = dir.File("out.wav");
    cl.Arguments = {dir.File("song/a.bms")};
    cl.FrameMs = 16; // frames do not line up with events
    ASSERT_EQ(RunPlayer(cl), 0);
    const std::vector<uint8_t> wav = ReadWholeFile(dir.File("out.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    std::vector<size_t> starts;
    size_t quiet = 1000;
    for (size_t i = 44; i + 3 < wav.size(); i += 4) {
        const int16_t left = int16_t(wav[i] | wav[i + 1] << 8);
        if (left != 0 && quiet >= 100) starts.push_back((i - 44) / 4);
        quiet = left != 0 ? 0 : quiet + 1;
    }
    // An event at t ms (3666 for 3666.67) is sample t x 44.1, rounded down.
    EXPECT_EQ(starts, (std::vector<size_t>{44100, 88200, 132300, 161670, 191085, 220500}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav.tmp")));
}
