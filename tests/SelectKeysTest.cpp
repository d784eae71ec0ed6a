// The select screen on a long list: Home, End and the letter keys jump, a
// held arrow key speeds up; and the song preview.
#include "HeadlessPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <thread>

using namespace tappo;
using namespace tappo::test;

namespace {

// One folder of 1,000 charts: "apple" 0-499, "Banana" 500-997, "Kite" 998,
// "9 Lives" 999; made once for the tests that walk it.
const std::string& LongListFolder() {
    static TempDir folder;
    static const bool written = [] {
        // Written plainly: a thousand synced writes take seconds.
        for (int i = 0; i < 1000; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "c%04d.bms", i);
            const std::string title = i < 500   ? "apple"
                                      : i < 998 ? "Banana"
                                      : i < 999 ? "Kite"
                                                : "  9 Lives";
            std::ofstream(folder.File(name)) << "#TITLE " << title << "\n#BPM 120\n";
        }
        return true;
    }();
    static const std::string path = written ? folder.Folder() : "";
    return path;
}

struct LongList : HeadlessPlayer {
    LongList() {
        songsFolder = LongListFolder();
        Start({});
        // The first letter key starts reading the titles beside the frames
        // (no title starts with q); the letter keys below find them all read.
        player->KeyDown(Key::Q);
        for (int i = 0; i < 10000 && !player->Status().SelectView().TitlesRead(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int Index() const { return player->Status().Songs().ChartIndex; }
};

} // namespace

TEST(SelectKeys, HomeEndAndTheLettersJump) {
    LongList f;
    ASSERT_EQ(f.player->Status().Songs().ChartList.size(), 1000u);
    const std::vector<std::pair<Key, int>> steps = {
        {Key::End, 999},    {Key::Home, 0},  {Key::B, 500}, {Key::B, 501},
        {Key::Digit9, 999}, {Key::A, 0},     {Key::Q, 0},    // no title starts with q
        {Key::K, 0},        {Key::End, 999}, {Key::B, 500}}; // K walks, it does not jump
    for (const auto& [key, index] : steps) {
        f.player->KeyDown(key);
        EXPECT_EQ(f.Index(), index) << int(key);
    }
    f.Frames(SlideFrames + 1);
    EXPECT_EQ(f.player->Status().CurrentChart().Header.Title, "Banana")
        << "the header shown follows";
}

TEST(SelectKeys, TitlesAreReadBesideTheFramesAndAJumpWaitsForThem) {
    std::promise<void> go;
    const std::shared_future<void> gate = go.get_future().share();
    TitleInitials titles;
    titles.Start({"a", "b", "c"}, 1, [gate](const std::string& path) {
        gate.wait();
        return std::string(path == "c" ? " Cat" : "dog");
    });
    EXPECT_EQ(titles.Next(0, 'c').found, TitleInitials::Found::NotYet)
        << "answered at once while the titles are being read";
    go.set_value();
    for (int i = 0; i < 10000 && !titles.Done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const TitleInitials::Jump cat = titles.Next(0, 'c');
    EXPECT_EQ(cat.found, TitleInitials::Found::Yes);
    EXPECT_EQ(cat.index, 2u);
    EXPECT_EQ(titles.Next(2, 'd').index, 0u) << "round the list";
    EXPECT_EQ(titles.Next(0, 'x').found, TitleInitials::Found::No);
}

TEST(SelectKeys, TitlesAreReadOnceALetterIsPressedAndKeptOverTheFullScreenToggle) {
    HeadlessPlayer f;
    f.Write("s/a.bms", Bytes("#TITLE apple\n"));
    f.Write("s/b.bms", Bytes("#TITLE Banana\n"));
    f.Start({});
    f.Frames(101); // a steady frame rate lets F3 work
    EXPECT_FALSE(f.player->Status().SelectView().TitlesRead()) << "no letter pressed, nothing read";
    f.player->KeyDown(Key::B);
    for (int i = 0; i < 10000 && !f.player->Status().SelectView().TitlesRead(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    f.Frame();
    EXPECT_EQ(f.player->Status().Songs().ChartIndex, 1);
    f.player->KeyDown(Key::F3); // the presenter opens again: the same list
    EXPECT_TRUE(f.player->Status().SelectView().TitlesRead()) << "kept, not read again";
    f.player->KeyDown(Key::A);
    f.Frame();
    EXPECT_EQ(f.player->Status().Songs().ChartIndex, 0);
}

TEST(SelectKeys, AHeldArrowRepeatsFasterAndCrossesAThousandChartsInSeconds) {
    LongList f;
    f.keys.Press(Key::Up);
    int crossed = 0, frames = 0, previous = f.Index();
    int crossedAt300ms = -1;
    while (crossed < 999 && frames < 1000) {
        f.Frame();
        ++frames;
        crossed += (f.Index() - previous + 1000) % 1000;
        previous = f.Index();
        if (frames == 30) crossedAt300ms = crossed;
    }
    EXPECT_LE(crossedAt300ms, 2) << "at first a held key walks as single presses do";
    EXPECT_LE(frames * 10, 4500) << "1,000 charts in a few seconds";
    f.keys.ReleaseAll();
    f.Frames(SlideFrames + 1);
    const int stopped = f.Index();
    f.Frames(50);
    EXPECT_EQ(f.Index(), stopped) << "released, the cursor rests";
    EXPECT_EQ(RepeatStepsDue(RepeatDelayMs - 1), 0);
}

TEST(SelectKeys, ThePreviewPlaysAfterHalfASecondAndStopsOnAMoveOrAStart) {
    HeadlessPlayer f;
    f.reading = StandardReading();
    f.Write("s/a.bms", Bytes("#TITLE a\n#PREVIEW Preview.WAV\n#WAV01 k.wav\n#00111:01\n"));
    f.Write("s/b.bms", Bytes("#TITLE b\n#PREVIEW gone.wav\n"));
    f.Write("s/preview.ogg",
            tools::EncodeWav16(std::vector<int16_t>(44100 * 5, 300), 1, 44100)); // a WAV named .ogg
    f.Write("s/k.wav", tools::EncodeWav16(std::vector<int16_t>(441, 100), 1, 44100));
    f.Start({});
    const SongPreview& preview = f.player->Status().Preview();
    f.Frames(40);
    EXPECT_EQ(preview.Playing(), "") << "not before half a second";
    f.Frames(15);
    EXPECT_EQ(preview.Playing(), f.dir.File("s/preview.ogg")) << "found as keysounds are";
    EXPECT_EQ(f.Playing(), 1);
    f.keys.Tap(Key::Up);
    f.Frame();
    EXPECT_EQ(preview.Playing(), "") << "the cursor moved";
    EXPECT_EQ(f.Playing(), 0);
    f.Frames(80);
    EXPECT_EQ(f.Playing(), 0) << "b's preview file is missing";
    f.keys.Tap(Key::Up);
    f.Frames(SlideFrames + 60);
    ASSERT_EQ(preview.Playing(), f.dir.File("s/preview.ogg"));
    f.keys.Tap(Key::Z);
    f.Frame();
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
    EXPECT_EQ(preview.Playing(), "") << "a chart started";
}
