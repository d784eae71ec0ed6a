// The keyboard commands: timing offset, toggles, full-screen toggle, pause and
// resume, restart and Esc, on a chart playing headless.
#include "HeadlessForm.h"
#include "tools/Midi.h"

#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

// A chart with a long sound at 1000 ms and 9000 ms, and eight beats of music.
struct TKeyFixture : THeadlessForm {
    TKeyFixture() {
        tools::TMidiSong song;
        song.Notes = {{0, 480 * 16, 0, 60, 90}};
        Write("song/music.mid", tools::EncodeMidi(song));
        Write("song/k.wav", tools::EncodeWav16(std::vector<int16_t>(44100 * 5, 100), 1, 44100));
        Write("song/a.bms", Bytes("#MIDIFILE music.mid\n#WAV01 k.wav\n#00011:01\n#00511:01\n"));
        Start({dir.File("song/a.bms")});
    }
};

} // namespace

TEST(KeyCommands, OffsetAndToggles) {
    TKeyFixture f;
    for (int key : {vk::PageUp, vk::PageUp, vk::PageUp, vk::PageDown}) f.form->FormKeyDown(key);
    EXPECT_EQ(f.form->Play.LateTime, 2);
    const TPlayToggles before = f.form->Toggles;
    for (int key : {vk::F1, vk::F2, vk::F6, vk::F7}) f.form->FormKeyDown(key);
    EXPECT_NE(f.form->Toggles.ShowFps, before.ShowFps);
    EXPECT_NE(f.form->Toggles.ShowBga, before.ShowBga);
    EXPECT_NE(f.form->Toggles.StepTickOn, before.StepTickOn);
    EXPECT_NE(f.form->Toggles.WarpInPlay, before.WarpInPlay);
    f.form->FormKeyDown('A'); // other keys do nothing
    EXPECT_EQ(f.form->Play.LateTime, 2);
}

TEST(KeyCommands, PauseAndResume) {
    TKeyFixture f;
    f.RunTo(1500);
    EXPECT_EQ(f.Playing(), 1);
    EXPECT_EQ(f.form->MediaPlayer1.Mode(), MusicPlaying);
    f.form->FormKeyDown(vk::F4);
    EXPECT_EQ(f.form->Flow.GameMode, ModePaused);
    EXPECT_EQ(f.Playing(), 0) << "sounds are cut";
    EXPECT_EQ(f.form->MediaPlayer1.Mode(), MusicStopped);
    const int32_t at = f.form->Play.SongTime;
    for (int i = 0; i < 50; ++i) f.Frame();
    EXPECT_EQ(f.form->Play.SongTime, at) << "the clock stands still";
    f.form->FormKeyDown(vk::F4);
    EXPECT_EQ(f.form->Flow.GameMode, ModePlay);
    f.Frame();
    EXPECT_EQ(f.form->Play.SongTime, at + 10) << "it goes on from where it stopped";
    EXPECT_EQ(f.form->MediaPlayer1.Mode(), MusicStopped) << "the music stays silent";
    EXPECT_EQ(f.Playing(), 0) << "cut sounds are not resumed";
}

TEST(KeyCommands, RestartWhilePausedPlaysFromTheStart) {
    TKeyFixture f;
    f.RunTo(1500);
    f.form->FormKeyDown(vk::F4);
    f.form->FormKeyDown(vk::F5);
    EXPECT_EQ(f.form->Flow.GameMode, ModePlay);
    f.Frame();
    EXPECT_EQ(f.form->Play.SongTime, 10);
    f.RunTo(1010);
    EXPECT_EQ(f.Playing(), 1) << "the first sound plays again";
}

TEST(KeyCommands, FullScreenToggleNeedsFortyFramesPerSecond) {
    TKeyFixture f;
    int initialised = 0, finalised = 0;
    auto init = f.form->DXDraw1.OnInitialize;
    auto final = f.form->DXDraw1.OnFinalize;
    f.form->DXDraw1.OnInitialize = [&] { ++initialised, init(); };
    f.form->DXDraw1.OnFinalize = [&] { ++finalised, final(); };
    EXPECT_TRUE(f.presenter.FullScreen());
    f.form->FormKeyDown(vk::F3);
    EXPECT_EQ(initialised + finalised, 0) << "ignored in the first second";
    f.RunTo(500);
    f.form->FormKeyDown(vk::F3);
    EXPECT_EQ(finalised, 1);
    EXPECT_EQ(initialised, 1);
    EXPECT_FALSE(f.presenter.FullScreen());
    EXPECT_TRUE(f.form->ArrowSprites[0] != nullptr) << "the display's pictures are made again";
    const int32_t before = f.form->Play.SongTime;
    f.Frame();
    EXPECT_EQ(f.form->Play.SongTime, before + 10) << "the clock runs on";
}

TEST(KeyCommands, EscFromAChartStartedInTheSelectScreen) {
    TKeyFixture f;
    f.form->Songs.ChartList = {f.dir.File("song/a.bms")};
    f.RunTo(1500);
    f.form->FormKeyDown(vk::F4);
    f.form->FormKeyPress(vk::Escape);
    EXPECT_FALSE(f.form->CloseRequested());
    EXPECT_EQ(f.form->Flow.GameMode, ModeSelect);
    EXPECT_FALSE(f.form->Flow.ChartActive);
    EXPECT_EQ(f.Playing(), 0);
    EXPECT_EQ(f.form->MediaPlayer1.Mode(), MusicStopped);
}
