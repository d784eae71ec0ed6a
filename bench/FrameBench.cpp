// Frame costs against their floor, one 320 x 240 frame copy: the warp
// animation alone, a whole select-screen frame, a whole play frame of a demo
// chart without music (background image, keyed layer, receptors and arrows),
// the colour-keyed blit on its own, the error-screen frame, and a play frame
// of a measure packed with notes.
#include "app/Player.h"
#include "effects/Warp.h"
#include "files/Files.h"
#include "platform/Font.h"
#include "tools/Assets.h"
#include "tools/DemoSongs.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tappo;

namespace {

std::string AssetFolder() {
    static const std::string folder = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "tappo-bench-assets/").string();
        tools::WriteProgramAssets(dir);
        return dir;
    }();
    return folder;
}

// The demo songs in a folder of their own (the asset folder must stay without
// charts for the error screen), plus a copy of the first demo chart
// without its #MIDIFILE line, so that its play frames carry no music.
std::string SongsFolder() {
    static const std::string folder = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "tappo-bench-songs/").string();
        tools::WriteDemoSongs(dir);
        const std::string song = dir + "demo1-morning-steps/";
        std::ifstream in(song + "morning.bms", std::ios::binary);
        std::string text, line;
        while (std::getline(in, line))
            if (line.rfind("#MIDIFILE", 0) != 0) text += line + "\n";
        WriteFileAtomic(song + "nomusic.bms", std::vector<uint8_t>(text.begin(), text.end()));
        return dir;
    }();
    return folder;
}

class SilentBox : public MessageBox {
  public:
    void Show(const std::string&) override {}
};

// One headless player: the player with its clock, presenter and fonts.
struct BenchPlayer {
    VirtualClock clock;
    HeadlessPresenter presenter;
    SilentBox box;
    TextRenderer fonts;
    std::unique_ptr<Player> player;

    BenchPlayer(const std::string& songs, const std::vector<std::string>& args,
                bool standard = false) {
        player = std::make_unique<Player>(PlayerServices{
            clock, presenter, box, &fonts, AssetFolder(), {songs}, MixerOutput::Pull, 512});
        ChartReading reading;
        reading.Standard = standard;
        player->UseReading(reading);
        player->StartUp(args);
        player->OpenDisplay();
    }
    void Frame() {
        clock.Advance(10);
        player->Tick();
    }
};

// The floor every frame is measured against: copying one whole back surface.
void BM_FrameCopy(benchmark::State& state) {
    Surface back, source;
    back.SetSize(320, 240);
    source.SetSize(320, 240);
    for (int i = 0; i < 320 * 240; ++i)
        source.Bits()[i] = uint16_t(i * 2654435761u >> 16);
    for (auto _ : state) {
        std::memcpy(back.Bits(), source.Bits(), 320 * 240 * 2);
        benchmark::DoNotOptimize(back.Bits());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameCopy);

// A whole-screen blit that skips the key colour, on a picture that is half key.
void BM_KeyedBlit(benchmark::State& state) {
    Surface back, layer;
    back.SetSize(320, 240);
    layer.SetSize(320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            layer.SetPixel(x, y, (x / 7 + y / 5) % 2 ? uint16_t(x * 37 + y) : 0);
    layer.SetColorKey(0);
    for (auto _ : state) {
        back.Draw(0, 0, Bounds(0, 0, 320, 240), &layer, true);
        benchmark::DoNotOptimize(back.Bits());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_KeyedBlit);

void BM_UpdateWarp(benchmark::State& state) {
    auto warp = std::make_unique<WarpEffect>(AssetFolder());
    for (auto _ : state) {
        warp->UpdateWarp();
        benchmark::DoNotOptimize(warp->WarpImage.MirrorLine(0)[0]);
    }
}
BENCHMARK(BM_UpdateWarp);

void BM_UpdateWarpPortable(benchmark::State& state) {
    auto warp = std::make_unique<WarpEffect>(AssetFolder());
    for (auto _ : state) {
        warp->UpdateWarpPortable();
        benchmark::DoNotOptimize(warp->WarpImage.MirrorLine(0)[0]);
    }
}
BENCHMARK(BM_UpdateWarpPortable);

// The warp picture onto the back surface, as the select screen draws it.
void BM_DrawWarp(benchmark::State& state) {
    auto warp = std::make_unique<WarpEffect>(AssetFolder());
    warp->UpdateWarp();
    Surface back;
    back.SetSize(320, 240);
    for (auto _ : state) {
        back.Canvas().Draw(0, 0, warp->WarpImage);
        benchmark::DoNotOptimize(back.Bits());
    }
}
BENCHMARK(BM_DrawWarp);

// The select screen standing on the demo songs: warp, texts, banner, sprites.
void BM_SelectFrame(benchmark::State& state) {
    BenchPlayer player(SongsFolder(), {});
    for (int i = 0; i < 50; ++i)
        player.Frame();
    for (auto _ : state)
        player.Frame();
    state.counters["frames"] = double(player.player->Status().FramesRun());
}
BENCHMARK(BM_SelectFrame);

// Play frames of a demo chart without music from its fifth measure on, where
// the background image, the keyed layer and the arrows are all drawn. The
// player starts over (untimed) before the song ends.
void BM_PlayFrameNoMusic(benchmark::State& state) {
    const std::vector<std::string> args{SongsFolder() + "demo1-morning-steps/nomusic.bms"};
    auto player = std::make_unique<BenchPlayer>(SongsFolder(), args);
    auto toStart = [&] {
        while (!player->player->Status().SongStarted() ||
               player->player->Status().SongTime() < 8000)
            player->Frame();
    };
    toStart();
    for (auto _ : state) {
        player->Frame();
        if (player->player->Status().SongTime() > 50000) {
            state.PauseTiming();
            player = std::make_unique<BenchPlayer>(SongsFolder(), args);
            toStart();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_PlayFrameNoMusic);

// A chart with 500,000 notes in its second measure (125,000 on each of four
// keys, in lines of 124 as the exact reading allows), written once; with
// `longNotes` they are long notes (channels 51-54, 62,500 on each key) for the
// standard reading.
std::string DenseChart(bool longNotes = false) {
    static const std::string notes = [] {
        const std::string dir =
            (std::filesystem::temp_directory_path() / "tappo-bench-dense/").string();
        std::filesystem::create_directories(dir);
        std::string text = "#PLAYER 1\n#BPM 120\n#WAV01 none.wav\n";
        std::string line = "#00111:";
        for (int i = 0; i < 124; ++i)
            line += "01";
        for (const char* channel : {"11", "12", "13", "14"})
            for (int notes = 0; notes < 125000; notes += 124) {
                line.replace(4, 2, channel);
                text += line.substr(0, 7 + 2 * size_t(std::min(124, 125000 - notes))) + "\n";
            }
        WriteFileAtomic(dir + "dense.bms", std::vector<uint8_t>(text.begin(), text.end()));
        return dir + "dense.bms";
    }();
    static const std::string held = [] {
        const std::vector<uint8_t> bytes = ReadWholeFile(notes);
        std::string text(bytes.begin(), bytes.end());
        for (size_t at = text.find("\n#0011"); at != std::string::npos;
             at = text.find("\n#0011", at + 1))
            text[at + 5] = '5';
        std::string path = notes.substr(0, notes.size() - 4) + "-held.bms";
        WriteFileAtomic(path, std::vector<uint8_t>(text.begin(), text.end()));
        return path;
    }();
    return longNotes ? held : notes;
}

// Play frames while that measure fills the lanes (song time 1.5 s to 3.5 s):
// arrows by the hundred thousand, on a few hundred rows. Argument 0: the exact
// reading's arrows; 1: the standard reading's key lanes; 2: the same with
// long notes.
void BM_PlayFrameDenseMeasure(benchmark::State& state) {
    const std::vector<std::string> args{DenseChart(state.range(0) == 2)};
    std::unique_ptr<BenchPlayer> player;
    auto toStart = [&] {
        player = std::make_unique<BenchPlayer>(AssetFolder(), args, state.range(0) > 0);
        while (!player->player->Status().SongStarted() ||
               player->player->Status().SongTime() < 1500)
            player->Frame();
    };
    toStart();
    for (auto _ : state) {
        player->Frame();
        if (player->player->Status().SongTime() > 3500) {
            state.PauseTiming();
            toStart();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_PlayFrameDenseMeasure)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ErrorScreenFrame(benchmark::State& state) {
    BenchPlayer player("", {});
    for (auto _ : state)
        player.Frame();
    state.counters["frames"] = double(player.player->Status().FramesRun());
}
BENCHMARK(BM_ErrorScreenFrame);

// A standard chart over a still picture (0) or over a 640 x 480 MPEG-1 video
// at 30 frames a second (1), made once with the ffmpeg tool. The frames run
// as live play does (the decoder on its own thread is not waited for), so the
// play frame's own cost is measured: a video frame only adds the copy of a
// picture the decoder has ready.
std::string VideoChart(bool video) {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / "tappo-bench-video/").string();
        std::filesystem::create_directories(d);
        const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc2=s=640x480:r=30:d=60 "
                                 "-pix_fmt yuv420p -c:v mpeg1video -q:v 4 " +
                                 d +
                                 "bg.mpg && ffmpeg -v error -y -f lavfi -i "
                                 "testsrc2=s=640x480:d=1 -frames:v 1 " +
                                 d + "still.bmp";
        if (std::system(make.c_str()) != 0) return std::string();
        for (const char* bg : {"bg.mpg", "still.bmp"}) {
            const std::string text =
                std::string("#BPM 120\n#BMP01 ") + bg + "\n#00004:01\n#03111:01\n";
            WriteFileAtomic(d + bg + ".bms", std::vector<uint8_t>(text.begin(), text.end()));
        }
        return d;
    }();
    return dir.empty() ? dir : dir + (video ? "bg.mpg.bms" : "still.bmp.bms");
}

void BM_PlayFrameVideoBackground(benchmark::State& state) {
    const std::string chart = VideoChart(state.range(0) != 0);
    if (chart.empty()) {
        state.SkipWithError("no ffmpeg tool to make the video with");
        return;
    }
    auto player = std::make_unique<BenchPlayer>(SongsFolder(), std::vector{chart}, true);
    auto toStart = [&] {
        while (!player->player->Status().SongStarted() ||
               player->player->Status().SongTime() < 1500)
            player->Frame();
    };
    toStart();
    for (auto _ : state) {
        player->Frame();
        if (player->player->Status().SongTime() > 55000) {
            state.PauseTiming();
            player = std::make_unique<BenchPlayer>(SongsFolder(), std::vector{chart}, true);
            toStart();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_PlayFrameVideoBackground)->Arg(0)->Arg(1);

} // namespace
