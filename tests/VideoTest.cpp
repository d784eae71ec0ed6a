// Video backgrounds of the standard reading, made here with the ffmpeg tool:
// each frame of the test pattern shows its own number as ten black or white
// stripes (bit k of the number in stripe k, left to right), which the
// picture on the display is read back by.
#include "media/Video.h"
#include "HeadlessPlayer.h"
#include "base/Report.h"
#include "formats/Picture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tappo::test {
namespace {

bool HaveFfmpeg() {
    return std::system("command -v ffmpeg > /dev/null 2>&1") == 0;
}

// Four seconds at 30 frames a second of the numbered pattern, in `codec`.
void MakeVideo(const std::string& path, const std::string& codec, const std::string& size,
               const std::string& extra = "") {
    const std::string pattern =
        "nullsrc=s=10x2:r=30:d=4,geq=lum='if(mod(floor(N/pow(2,X)),2),235,16)':cb=128:cr=128,"
        "scale=" +
        size + ":flags=neighbor,format=yuv420p";
    const std::string command = "ffmpeg -v error -y -f lavfi -i \"" + pattern + "\" " + extra +
                                " -c:v " + codec + " -q:v 2 \"" + path + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The frame number the display shows, read from the stripes below the
// receptors (between the lanes' lines).
int ShownFrame(const Surface& back) {
    int n = 0;
    for (int k = 0; k < 10; ++k) {
        const uint16_t p = back.Pixel(32 * k + 25, 130);
        if (((p >> 5) & 63) > 32) n |= 1 << k;
    }
    return n;
}

// The frame of the pattern at `ms` after its start.
int FrameAt(int64_t ms) {
    return int(std::min<int64_t>(ms * 30 / 1000, 119));
}

std::string Log(const HeadlessPlayer& f) {
    std::ifstream in(f.dir.File("ddsd.debug"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A standard chart whose background is `video` from measure 0 (song time 1000).
struct VideoChart : HeadlessPlayer {
    std::string console;
    ConsoleSink before;
    explicit VideoChart(const std::string& video, const std::string& more = "") {
        before = SetConsoleSink([this](const std::string& line) { console += line; });
        reading = StandardReading();
        mixFollowsClock = true;
        Write("s/a.bms",
              Bytes("#BPM 120\n#BMP01 " + video + "\n#00004:01\n" + more + "#00311:02\n"));
    }
    ~VideoChart() { SetConsoleSink(before); }
    void Play() {
        Start({dir.File("s/a.bms")});
        ASSERT_TRUE(PassGate());
    }
};

class Video : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg tool to make the test videos with";
    }
};

} // namespace

// Each video shows the frame of (song time - event time), within one frame,
// and holds its last frame once it ends. The container is known by content:
// the MPEG-1 file is named ".bmp". A keyed still on the layer channel is
// drawn over the video.
TEST_F(Video, ShowsTheFrameOfTheSongTime) {
    const struct {
        std::string name, codec, size, extra;
    } videos[] = {{"bg.bmp", "mpeg1video", "256:256", "-f mpeg"},
                  {"bg.mpg", "mpeg1video", "640:480", ""},
                  {"bg.wmv", "wmv2", "640:480", ""},
                  {"bg.mp4", "libx264", "256:256", ""}};
    for (const auto& v : videos) {
        SCOPED_TRACE(v.name);
        VideoChart f(v.name, "#BMP02 layer.bmp\n#00007:02\n");
        MakeVideo(f.dir.File("s/" + v.name), v.codec, v.size, v.extra);
        // Black (the colour key), with a red square at the right.
        BitmapData layer;
        layer.Width = 320, layer.Height = 240, layer.BitCount = 24;
        layer.Pixels.assign(320 * 240, 0);
        for (int y = 120; y < 140; ++y)
            for (int x = 290; x < 310; ++x)
                layer.Pixels[size_t(y) * 320 + size_t(x)] = 0xFF0000;
        f.Write("s/layer.bmp", EncodeBmp(layer));
        f.Play();
        ASSERT_TRUE(f.player->Status().CurrentChart().BgaVideos[1]) << f.console;
        for (int32_t t : {1000, 1500, 2234, 3800, 4999, 6500}) {
            f.RunTo(t);
            const int expected = FrameAt(f.player->Status().SongTime() - 1000);
            EXPECT_NEAR(ShownFrame(f.Back()), expected, 1)
                << "at " << f.player->Status().SongTime();
        }
        EXPECT_EQ(f.Back().Pixel(300, 130), RgbValueToPixel(0xFF0000)) << "the layer";
        EXPECT_EQ(f.console, "");
    }
}

// The pause's step keys and the restart show the frame of their song time;
// a switch to a still and back starts the video again.
TEST_F(Video, PauseStepRestartAndSwitchingBackShowTheFrameOfTheirTime) {
    VideoChart f("bg.mpg", "#BMP02 still.bmp\n#00104:02\n#00204:01\n");
    MakeVideo(f.dir.File("s/bg.mpg"), "mpeg1video", "256:256");
    BitmapData still;
    still.Width = still.Height = 8, still.BitCount = 24;
    still.Pixels.assign(64, 0x0000FF);
    f.Write("s/still.bmp", EncodeBmp(still));
    f.Play();
    f.RunTo(2500);
    f.player->KeyDown(Key::F4);
    for (int i = 0; i < 20; ++i) { // back a second
        f.keys.Tap(Key::Up);
        f.Frame();
    }
    EXPECT_NEAR(ShownFrame(f.Back()), FrameAt(f.player->Status().SongTime() - 1000), 1);
    EXPECT_LT(f.player->Status().SongTime(), 1600);
    f.player->KeyDown(Key::F4);
    f.player->KeyDown(Key::F5);
    f.RunTo(1700);
    EXPECT_NEAR(ShownFrame(f.Back()), FrameAt(f.player->Status().SongTime() - 1000), 1);
    f.RunTo(3500);
    EXPECT_EQ(f.Back().Pixel(300, 130), RgbValueToPixel(0x0000FF)) << "the still";
    f.RunTo(5500); // the video again, from its start at 5000
    EXPECT_NEAR(ShownFrame(f.Back()), FrameAt(f.player->Status().SongTime() - 5000), 1);
}

// A video the layer channel starts while the base channel plays it plays
// from its own start there; the base goes on. Its first frame is black, the
// colour key: the picture is the base's frame alone then.
TEST_F(Video, TheLayerStartsTheBasesVideoFromItsOwnStart) {
    VideoChart f("bg.mpg", "#00107:01\n");
    MakeVideo(f.dir.File("s/bg.mpg"), "mpeg1video", "256:256");
    f.Play();
    f.RunTo(3005);
    EXPECT_NEAR(ShownFrame(f.Back()), FrameAt(f.player->Status().SongTime() - 1000), 1);
    f.RunTo(4500);
    const ChartSession& session = f.player->Status().CurrentChart();
    ASSERT_TRUE(session.LayerSurfaces[1]);
    EXPECT_NEAR(ShownFrame(*session.BgaSurfaces[1]), FrameAt(f.player->Status().SongTime() - 1000),
                1);
    EXPECT_NEAR(ShownFrame(*session.LayerSurfaces[1]),
                FrameAt(f.player->Status().SongTime() - 3000), 1);
}

// A video followed by gigabytes of a sparse file's zeros ends where its data
// ends, at once: opening, analysing and decoding never read the tail. Slots
// naming the file under other names (letter case, a hard link) share its
// opening, and each plays it from its own start.
TEST_F(Video, ALongEmptyTailAndOtherNamesOfTheFileCostNoReading) {
    VideoChart f("bg.mpg", "#BMP02 BG.MPG\n#BMP03 link.mpg\n#00104:02\n#00204:03\n");
    const std::string path = f.dir.File("s/bg.mpg");
    MakeVideo(path, "mpeg1video", "256:256");
    std::filesystem::resize_file(path, uintmax_t(2) << 30);
    std::filesystem::create_hard_link(path, f.dir.File("s/link.mpg"));
    const auto decoder = VideoDecoder::OpenFile(path, 320, 240);
    int frames = 0;
    while (decoder->Next())
        ++frames;
    EXPECT_EQ(frames, 120);
    EXPECT_EQ(decoder->Problem(), "");
    f.Play();
    for (size_t slot = 1; slot <= 3; ++slot)
        EXPECT_TRUE(f.player->Status().CurrentChart().BgaVideos[slot]) << slot;
    f.RunTo(3500); // slot 2 from song time 3000
    EXPECT_NEAR(ShownFrame(f.Back()), FrameAt(500), 1);
    f.RunTo(6000); // slot 3 from song time 5000
    EXPECT_NEAR(ShownFrame(f.Back()), FrameAt(1000), 1);
    EXPECT_EQ(Log(f), "");
}

// Live play far behind the song never waits for the decoder: the frame shown
// at once is one decoded before, and the decoder, skipping frames (only key
// frames while more than a second behind), soon shows the song's frame. The
// decoder is the one opened at load: the file is gone by then.
TEST_F(Video, LivePlayCatchesUpWithoutWaiting) {
    TempDir dir;
    const std::string path = dir.File("bg.mpg");
    MakeVideo(path, "mpeg1video", "256:256");
    Surface surface;
    surface.SetSize(320, 240);
    BgaVideo video(path, surface);
    EXPECT_EQ(ShownFrame(surface), 0);
    std::filesystem::remove(path);
    video.Start(0);
    video.Show(0, false);
    video.Show(3000, false); // three seconds on in one frame
    int shown = ShownFrame(surface);
    EXPECT_LE(shown, int(BgaVideo::FramesAhead)) << "waited for the decoder";
    // Far more time than the decoder needs, however loaded the machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (shown < FrameAt(3000) - 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        video.Show(3000, false);
        ASSERT_GE(ShownFrame(surface), shown) << "went back";
        shown = ShownFrame(surface);
    }
    EXPECT_NEAR(shown, FrameAt(3000), 1);
    EXPECT_EQ(video.TakeProblem(), "");
}

// A file cut short, a file with sound only and frames over 4096 pixels wide
// are reported once, with their names, in the problem log and on the
// console; the chart plays on.
TEST_F(Video, BrokenVideosAreReportedAndTheChartPlays) {
    for (const std::string kind : {"cut", "sound", "huge"}) {
        SCOPED_TRACE(kind);
        VideoChart f("bg.mp4");
        const std::string path = f.dir.File("s/bg.mp4");
        if (kind == "cut") {
            MakeVideo(path, "libx264", "256:256");
            std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        } else {
            const std::string input =
                kind == "sound" ? "sine=d=2 \""
                                : "color=s=4100x2:d=0.2 -pix_fmt yuv420p -f yuv4mpegpipe \"";
            std::string command = "ffmpeg -v error -y -f lavfi -i " + input;
            command += path + "\"";
            ASSERT_EQ(std::system(command.c_str()), 0);
        }
        f.Play();
        EXPECT_FALSE(f.player->Status().CurrentChart().BgaVideos[1]);
        f.RunTo(3000);
        EXPECT_EQ(f.player->Status().Mode(), ScreenPlay);
        EXPECT_NE(Log(f).find("bg.mp4"), std::string::npos) << Log(f);
        if (kind == "huge") {
            EXPECT_NE(Log(f).find("4100 x 2"), std::string::npos) << Log(f);
        }
        std::string shown = f.console;
        for (const std::string& text : f.messages.shown)
            shown += text;
        EXPECT_NE(shown.find("bg.mp4"), std::string::npos) << shown;
    }
}

// The exact reading shows bitmaps only: a video there fails as any file
// that is no bitmap does.
TEST_F(Video, ExactReadingTakesNoVideo) {
    VideoChart f("bg.mpg");
    MakeVideo(f.dir.File("s/bg.mpg"), "mpeg1video", "256:256");
    f.reading = ChartReading();
    f.Play();
    EXPECT_FALSE(f.player->Status().CurrentChart().BgaVideos[1]);
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0], f.dir.File("s/bg.mpg") + ": ビットマップイメージが不正です");
}

} // namespace tappo::test
