// Song folders as packs made on Windows arrive today: charts saved as UTF-8
// with a byte-order mark, names in other encodings and letter case, keysounds
// re-encoded, pictures in PNG, and hundreds of files to load.
#include "HeadlessPlayer.h"
#include "chart/FileLookup.h"
#include "chart/ShiftJis.h"
#include "chart/exact/HeaderScan.h"
#include "chart/exact/Lines.h"
#include "files/Files.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace tappo {
namespace {

using test::Bytes;
using test::HeadlessPlayer;
using test::TempDir;

void Touch(const TempDir& dir, const std::string& name, const std::string& text = "x") {
    std::filesystem::create_directories(std::filesystem::path(dir.File(name)).parent_path());
    WriteFileAtomic(dir.File(name), Bytes(text));
}

TEST(Utf8Chart, AByteOrderMarkDoesNotHideTheFirstHeaderKey) {
    PlaySettings state;
    ChartHeader header;
    exact::ScanHeaderLines(exact::SplitLines("\xEF\xBB\xBF#TITLE \xE3\x81\x82\r\n#PLAYLEVEL 7\r\n"),
                           state, header, '.');
    EXPECT_EQ(header.Title, "\xE3\x81\x82");
    EXPECT_EQ(state.PlayLevel, 7);
    // Only a mark at the very start is taken away.
    EXPECT_EQ(exact::SplitLines("a\n\xEF\xBB\xBF"
                                "b")[1],
              "\xEF\xBB\xBF"
              "b");
}

TEST(Utf8Chart, TextIsShownAsUtf8WhereItIsAndConvertedWhereNot) {
    EXPECT_EQ(ChartTextToUtf8("\xE3\x83\x91\xE3\x83\x83\xE3\x82\xAF"), "パック");
    EXPECT_EQ(ChartTextToUtf8("\x83\x70\x83\x62\x83\x4E"), "パック");
    EXPECT_EQ(ChartTextToUtf8("plain"), "plain");
}

TEST(FileResolver, ListsEachFolderOnceForAWholeChart) {
    TempDir dir;
    for (int i = 0; i < 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "sounds/S%03d.WAV", i);
        Touch(dir, name);
    }
    FileResolver files;
    EXPECT_EQ(files.Find(dir.File("sounds/s000.wav")), dir.File("sounds/S000.WAV"));
    const int afterOne = files.Listings();
    for (int i = 0; i < 300; ++i) {
        char name[32], stored[32];
        std::snprintf(name, sizeof name, "sounds\\s%03d.wav", i);
        std::snprintf(stored, sizeof stored, "sounds/S%03d.WAV", i);
        EXPECT_EQ(files.Find(dir.Folder() + name), dir.File(stored));
    }
    EXPECT_EQ(files.Listings(), afterOne) << "no folder is listed again";
    EXPECT_EQ(files.Find(dir.File("sounds/missing.wav")), "");
}

TEST(FileResolver, MatchesNamesAcrossShiftJisAndUtf8) {
    TempDir dir;
    Touch(dir, "\xE9\x9F\xB3/Bell.wav"); // 音, stored as UTF-8
    Touch(dir, "\x8F\xE0/chime.wav");    // 鐘, stored as raw Shift-JIS bytes
    FileResolver files;
    // A Shift-JIS chart names the UTF-8 folder, a UTF-8 chart the Shift-JIS one.
    EXPECT_EQ(files.Find(dir.Folder() + "\x89\xB9\\bell.WAV"), dir.File("\xE9\x9F\xB3/Bell.wav"));
    EXPECT_EQ(files.Find(dir.Folder() + "\xE9\x90\x98\\CHIME.wav"), dir.File("\x8F\xE0/chime.wav"));
    EXPECT_EQ(files.Find(dir.Folder() + "\x8F\xE0\\chime.wav"), dir.File("\x8F\xE0/chime.wav"));
}

TEST(FileResolver, FallsBackToOtherExtensionsUnderTheSameStemInOrder) {
    TempDir dir;
    Touch(dir, "kick.flac");
    Touch(dir, "Kick.ogg");
    Touch(dir, "snare.wav");
    Touch(dir, "snare.ogg");
    Touch(dir, "hat.mp3");
    Touch(dir, "back.PNG");
    FileResolver files;
    EXPECT_EQ(files.FindWithFallback(dir.File("kick.wav"), SoundFallbacks), dir.File("Kick.ogg"))
        << ".ogg first";
    EXPECT_EQ(files.FindWithFallback(dir.File("snare.wav"), SoundFallbacks), dir.File("snare.wav"))
        << "the named file wins";
    EXPECT_EQ(files.FindWithFallback(dir.File("HAT"), SoundFallbacks), dir.File("hat.mp3"));
    EXPECT_EQ(files.FindWithFallback(dir.File("back.bmp"), PictureFallbacks), dir.File("back.PNG"));
    EXPECT_EQ(files.FindWithFallback(dir.File("none.wav"), SoundFallbacks), "");
}

TEST(FileResolver, OnlyRegularFilesCountAndLooseMatchesAreTheSameEverywhere) {
    TempDir dir;
    // A FIFO under the chart's name must not hide the re-encoded file.
    ASSERT_EQ(mkfifo(dir.File("kick.wav").c_str(), 0600), 0);
    Touch(dir, "kick.ogg");
    Touch(dir, "snare.WAV");
    Touch(dir, "Snare.wav");
    FileResolver files;
    EXPECT_EQ(files.FindWithFallback(dir.File("kick.wav"), SoundFallbacks), dir.File("kick.ogg"));
    // Two names that both match loosely: the first in byte order, on any file system.
    EXPECT_EQ(files.Find(dir.File("SNARE.wav")), dir.File("Snare.wav"));
}

// A song folder with `count` keysounds (tiny WAV files) and a chart using them.
void WriteManySounds(HeadlessPlayer& f, int count) {
    std::string chart = "#PLAYER 1\n#BPM 120\n";
    const std::vector<int16_t> click(64, 1000);
    for (int i = 1; i <= count; ++i) {
        char name[16], line[40];
        std::snprintf(name, sizeof name, "s%02X.wav", i);
        std::snprintf(line, sizeof line, "#WAV%02X %s\n", i, name);
        f.Write(std::string("song/") + name, tools::EncodeWav16(click, 1, 44100));
        chart += line;
    }
    chart += "#00111:01\n";
    f.Write("song/chart.bms", Bytes(chart));
}

TEST(Loading, EscDuringTheLoadLeavesPlayAsInPlay) {
    HeadlessPlayer f;
    WriteManySounds(f, 40);
    int calls = 0;
    f.keepLoading = [&] { return ++calls < 10; };
    f.Start({});
    f.keys.Press(Key::Z);
    f.Frame();
    f.keys.ReleaseAll();
    EXPECT_EQ(calls, 10) << "the load stopped at the user's word";
    EXPECT_EQ(f.player->Status().Mode(), ScreenSelect);
    EXPECT_FALSE(f.player->Status().ChartActive());
    EXPECT_FALSE(f.player->Status().CloseRequested());
}

TEST(Loading, EscDuringTheLoadOfACommandLineChartEndsTheProgram) {
    // There is nothing to go back to.
    HeadlessPlayer g;
    WriteManySounds(g, 40);
    g.keepLoading = [] { return false; };
    g.Start({g.dir.File("song/chart.bms")});
    EXPECT_TRUE(g.player->Status().CloseRequested());
}

TEST(Loading, ALongLoadRedrawsItsProgressBarNowAndThen) {
    HeadlessPlayer f;
    WriteManySounds(f, 40);
    int calls = 0;
    // Each file takes 30 ms: the bar is drawn about every fourth file, not every one.
    f.keepLoading = [&] {
        ++calls;
        f.clock.Advance(30);
        return true;
    };
    f.Start({});
    const long before = f.presenter.Presents();
    f.keys.Press(Key::Z);
    f.Frame();
    f.keys.ReleaseAll();
    EXPECT_EQ(calls, 40);
    const long redraws = f.presenter.Presents() - before - 2; // the loading screen and the frame
    EXPECT_GE(redraws, 8);
    EXPECT_LE(redraws, 14);
    EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
}

TEST(Loading, TheBarShowsTheShareOfFilesDone) {
    Surface back;
    back.SetSize(320, 240);
    back.Fill(0);
    DrawLoadingBar(back, 320, 240, 1, 4);
    const int y = back.Height() / 2 - 12 + 3, x0 = back.Width() / 4, width = back.Width() / 2;
    EXPECT_EQ(back.Pixel(x0 + 2, y), 0xFFFF) << "the first quarter is filled";
    EXPECT_EQ(back.Pixel(x0 + 2 + (width - 4) / 4 - 1, y), 0xFFFF);
    EXPECT_EQ(back.Pixel(x0 + width / 2, y), 0) << "the rest is empty";
    EXPECT_EQ(back.Pixel(x0, y), 0x8410) << "framed";
}

// The middle of the banner where it rests on the select screen.
constexpr int BannerMiddleX = 121 + 40, BannerMiddleY = 120 + 26;

std::vector<uint8_t> SolidPng(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> rgba;
    for (int i = 0; i < w * h; ++i)
        rgba.insert(rgba.end(), {r, g, b, 255});
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(w), image.height = uint32_t(h), image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

TEST(Banner, IsBuiltFromAPngWhereTheFolderHasNoBitmap) {
    HeadlessPlayer f;
    f.Write("song/chart.bms", Bytes("#TITLE png\n"));
    f.Write("song/Back.png", SolidPng(64, 48, 255, 0, 0));
    f.Start({});
    f.Frame();
    EXPECT_TRUE(std::filesystem::exists(BannerCachePath(f.dir.File("song"))))
        << "the built banner is kept";
    // Red in the middle of the banner, where the disk mask keeps the picture.
    EXPECT_EQ(f.Back().Pixel(BannerMiddleX, BannerMiddleY), 0xF800);
}

TEST(Banner, APictureThatDoesNotReadShowsTheBlankDiskNotThePreviousBanner) {
    HeadlessPlayer f;
    f.Write("a/chart.bms", Bytes("#TITLE red\n"));
    f.Write("a/red.png", SolidPng(64, 48, 255, 0, 0));
    f.Write("b/chart.bms", Bytes("#TITLE broken\n"));
    f.Write("b/broken.png", Bytes("\x89PNG\r\n\x1a\nGARBAGE"));
    f.Start({});
    f.Frame();
    ASSERT_EQ(f.Back().Pixel(BannerMiddleX, BannerMiddleY), 0xF800);
    f.messages.shown.clear();
    f.keys.Tap(Key::Right); // to folder b
    f.Frames(1 + SlideFrames);
    ASSERT_EQ(f.player->Status().Songs().Selected(), f.dir.File("b/chart.bms"));
    EXPECT_EQ(f.messages.shown.size(), 1u) << "the broken picture is reported";
    EXPECT_NE(f.Back().Pixel(BannerMiddleX, BannerMiddleY), 0xF800)
        << "not the red banner of the chart before";
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("b/disk.bmp")));
}

} // namespace
} // namespace tappo
