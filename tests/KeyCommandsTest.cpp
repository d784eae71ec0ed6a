// The keyboard commands: timing offset, toggles, full-screen toggle, pause and
// resume, restart and Esc, on a chart playing headless.
#include "HeadlessPlayer.h"
#include "tools/Midi.h"

#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

// A chart with a long sound at 1000 ms and 9000 ms, and eight beats of music.
void WriteSong(HeadlessPlayer& f) {
    tools::MidiSong song;
    song.Notes = {{0, 480 * 16, 0, 60, 90}};
    f.Write("song/music.mid", tools::EncodeMidi(song));
    f.Write("song/k.wav", tools::EncodeWav16(std::vector<int16_t>(44100 * 5, 100), 1, 44100));
    f.Write("song/a.bms", Bytes("#MIDIFILE music.mid\n#WAV01 k.wav\n#00011:01\n#00511:01\n"));
}

// That chart played from the command line.
struct KeyFixture : HeadlessPlayer {
    KeyFixture() {
        WriteSong(*this);
        Start({dir.File("song/a.bms")});
    }
};

} // namespace

TEST(KeyCommands, PageUpAndPageDownSetTheLateTime) {
    KeyFixture f;
    for (Key key : {Key::PageUp, Key::PageUp, Key::PageUp, Key::PageDown})
        f.player->KeyDown(key);
    EXPECT_EQ(f.player->Status().Playback().LateTime, 2);
    f.player->KeyDown(Key::Other); // other keys do nothing
    EXPECT_EQ(f.player->Status().Playback().LateTime, 2);
}

TEST(KeyCommands, FunctionKeysFlipTheToggles) {
    KeyFixture f;
    const PlayToggles before = f.player->Status().Toggles();
    for (Key key : {Key::F1, Key::F2, Key::F6, Key::F7})
        f.player->KeyDown(key);
    const PlayToggles& after = f.player->Status().Toggles();
    EXPECT_NE(after.ShowFps, before.ShowFps);
    EXPECT_NE(after.ShowBga, before.ShowBga);
    EXPECT_NE(after.StepTickOn, before.StepTickOn);
    EXPECT_NE(after.WarpInPlay, before.WarpInPlay);
}

TEST(KeyCommands, PauseCutsTheSoundsAndStopsTheClock) {
    KeyFixture f;
    f.RunTo(1500);
    EXPECT_EQ(f.Playing(), 1);
    EXPECT_EQ(f.Music(), MusicPlaying);
    f.player->KeyDown(Key::F4);
    EXPECT_EQ(f.player->Status().Mode(), ScreenPaused);
    EXPECT_EQ(f.Playing(), 0) << "sounds are cut";
    EXPECT_EQ(f.Music(), MusicStopped);
    const int32_t at = f.player->Status().SongTime();
    for (int i = 0; i < 50; ++i)
        f.Frame();
    EXPECT_EQ(f.player->Status().SongTime(), at) << "the clock stands still";
}

TEST(KeyCommands, ResumeGoesOnFromWhereThePauseStopped) {
    KeyFixture f;
    f.RunTo(1500);
    f.player->KeyDown(Key::F4);
    const int32_t at = f.player->Status().SongTime();
    for (int i = 0; i < 50; ++i)
        f.Frame();
    f.player->KeyDown(Key::F4);
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
    f.Frame();
    EXPECT_EQ(f.player->Status().SongTime(), at + 10) << "it goes on from where it stopped";
    EXPECT_EQ(f.Music(), MusicStopped) << "the music stays silent";
    EXPECT_EQ(f.Playing(), 0) << "cut sounds are not resumed";
}

TEST(KeyCommands, RestartWhilePausedPlaysFromTheStart) {
    KeyFixture f;
    f.RunTo(1500);
    f.player->KeyDown(Key::F4);
    f.player->KeyDown(Key::F5);
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
    f.Frame();
    EXPECT_EQ(f.player->Status().SongTime(), 10);
    f.RunTo(1010);
    EXPECT_EQ(f.Playing(), 1) << "the first sound plays again";
}

TEST(KeyCommands, FullScreenToggleIsIgnoredInTheFirstSecond) {
    KeyFixture f;
    const int opens = f.presenter.opens, closes = f.presenter.closes;
    EXPECT_TRUE(f.presenter.FullScreen());
    f.player->KeyDown(Key::F3);
    EXPECT_EQ(f.presenter.opens - opens + f.presenter.closes - closes, 0)
        << "no frame rate known yet";
    EXPECT_TRUE(f.presenter.FullScreen());
}

TEST(KeyCommands, FullScreenToggleRemakesTheDisplayAndTheClockRunsOn) {
    KeyFixture f, same;
    f.RunTo(500);
    same.RunTo(500);
    const int opens = f.presenter.opens, closes = f.presenter.closes;
    f.player->KeyDown(Key::F3);
    EXPECT_EQ(f.presenter.closes - closes, 1);
    EXPECT_EQ(f.presenter.opens - opens, 1);
    EXPECT_FALSE(f.presenter.FullScreen());
    const int32_t before = f.player->Status().SongTime();
    f.Frame();
    same.Frame();
    EXPECT_EQ(f.player->Status().SongTime(), before + 10) << "the clock runs on";
    int differing = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            differing += f.Back().Pixel(x, y) != same.Back().Pixel(x, y);
    EXPECT_EQ(differing, 0) << "the display's pictures are made again";
}

TEST(KeyCommands, EscFromAChartStartedInTheSelectScreen) {
    // The same chart, found below the program folder and started with Start.
    HeadlessPlayer f;
    WriteSong(f);
    f.Start({});
    f.keys.Tap(Key::Z);
    f.Frame();
    ASSERT_EQ(f.player->Status().Mode(), ScreenPlay);
    f.RunTo(1500);
    ASSERT_EQ(f.Playing(), 1);
    ASSERT_EQ(f.Music(), MusicPlaying);
    f.player->KeyDown(Key::F4);
    f.player->LeavePlay();
    EXPECT_FALSE(f.player->Status().CloseRequested());
    EXPECT_EQ(f.player->Status().Mode(), ScreenSelect);
    EXPECT_FALSE(f.player->Status().ChartActive());
    EXPECT_EQ(f.Playing(), 0);
    EXPECT_EQ(f.Music(), MusicStopped);
}

TEST(KeyCommands, MinusAndPlusSetTheVolumeAndABandShowsItForAMoment) {
    KeyFixture f;
    f.player->KeyDown(Key::Plus);
    EXPECT_EQ(f.player->SoundOutput().MasterVolume(), 100) << "no louder than 100";
    for (int i = 0; i < 3; ++i)
        f.player->KeyDown(Key::Minus);
    EXPECT_EQ(f.player->SoundOutput().MasterVolume(), 70);
    EXPECT_EQ(f.player->Status().Volume().Text(), "VOLUME 70");
    const auto bandAt = [&](int y) { return f.Back().Pixel(2, y) == 0x0841; };
    f.Frame();
    EXPECT_TRUE(bandAt(230)) << "the band along the bottom";
    EXPECT_FALSE(bandAt(120));
    f.Frames(VolumeBandMs / 10);
    EXPECT_FALSE(bandAt(230)) << "gone after a moment";
    for (int i = 0; i < 12; ++i)
        f.player->KeyDown(Key::Minus);
    EXPECT_EQ(f.player->SoundOutput().MasterVolume(), 0);
}

// The screen flow alone changes the screen; what each outcome leads to.
TEST(ScreenFlow, OutcomesLeadBackToTheSelectScreenOrEndTheProgram) {
    ScreenFlow flow;
    flow.Begin(ScreenSelect);
    flow.ChartStarted();
    EXPECT_EQ(flow.Follow(ScreenOutcome::Paused, true), std::nullopt);
    EXPECT_EQ(flow.Current(), ScreenPaused);
    flow.Follow(ScreenOutcome::Resumed, true);
    EXPECT_EQ(flow.Current(), ScreenPlay);
    EXPECT_EQ(flow.Follow(ScreenOutcome::SongOver, true), std::nullopt);
    EXPECT_EQ(flow.Current(), ScreenSelect);
    EXPECT_FALSE(flow.ChartActive());
    EXPECT_EQ(flow.Follow(ScreenOutcome::LeaveAsked, true), 0) << "Esc on the select screen ends";

    ScreenFlow commandLine;
    commandLine.ChartStarted();
    EXPECT_EQ(commandLine.Follow(ScreenOutcome::SongOver, false), 0);
    EXPECT_EQ(commandLine.Current(), ScreenPlay) << "the program ends where it stands";
    ScreenFlow broken;
    broken.ChartStarted();
    EXPECT_EQ(broken.Follow(ScreenOutcome::LoadFailed, false), 1) << "an error ends the program";
    EXPECT_FALSE(broken.ChartActive());
    ScreenFlow listed;
    listed.ChartStarted();
    EXPECT_EQ(listed.Follow(ScreenOutcome::LoadFailed, true), std::nullopt);
    EXPECT_EQ(listed.Current(), ScreenSelect);

    ScreenFlow refused;
    refused.Begin(ScreenNotAChart);
    refused.NoChartsFound();
    EXPECT_EQ(refused.Current(), ScreenNotAChart) << "the refusal stays the screen shown";
}
