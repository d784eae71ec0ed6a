// Chart media loading (every keysound slot and 256 background images) against
// reading the same bytes, and the offline render's speed against real time.
#include "app/Runner.h"
#include "bench/BenchFiles.h"
#include "chart/FileLookup.h"
#include "chart/exact/Compiler.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "media/Media.h"
#include "platform/Display.h"
#include "tools/Assets.h"
#include "tools/Jpeg.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>

namespace tappo::bench {
namespace {

// 255 keysounds of half a second (22.05 kHz mono and 44.1 kHz stereo) and 256
// images of 640 x 480 (BMP and JPEG), with the chart naming them all.
std::string MediaChart() {
    const std::string dir = BenchFolder("media");
    if (std::filesystem::exists(dir + "chart.bms")) return dir + "chart.bms";
    std::string chart = "#BPM 150\r\n";
    for (int i = 1; i < 256; ++i) {
        const bool stereo = i % 2 == 0;
        const int rate = stereo ? 44100 : 22050, channels = stereo ? 2 : 1;
        std::vector<int16_t> s(size_t(rate / 2 * channels));
        for (size_t k = 0; k < s.size(); ++k)
            s[k] = int16_t(6000 * std::sin(double(k) * 0.01 * i));
        char name[32];
        std::snprintf(name, sizeof name, "k%03d.wav", i);
        WriteFileAtomic(dir + name, tools::EncodeWav16(s, channels, rate));
        char def[48];
        std::snprintf(def, sizeof def, "#WAV%02X %s\r\n", i, name);
        chart += def;
    }
    Image picture(640, 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            picture.At(x, y) = uint32_t(x * 0x10203 + y * 0x30201);
    const std::vector<uint8_t> bmp = EncodeBmp(BitmapFromPicture(picture));
    const std::vector<uint8_t> jpg = tools::EncodeJpeg(picture);
    for (int i = 0; i < 256; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, i % 2 ? "b%03d.jpg" : "b%03d.bmp", i);
        WriteFileAtomic(dir + name, i % 2 ? jpg : bmp);
        char def[48];
        std::snprintf(def, sizeof def, "#BMP%02X %s\r\n", i, name);
        chart += def;
    }
    WriteFileAtomic(dir + "chart.bms", std::vector<uint8_t>(chart.begin(), chart.end()));
    return dir + "chart.bms";
}

struct Compiled {
    std::unique_ptr<CompiledChart> compiled;
    const ChartData* chart;
    explicit Compiled(const std::string& path)
        : compiled(std::make_unique<CompiledChart>(exact::CompileFile(path, '.'))),
          chart(&compiled->Data) {}
};

// A chart and what loading its media needs: the sound component, a headless
// display and the slots a load fills (kept from one load to the next, as the
// player keeps its surfaces).
struct MediaLoad {
    Compiled c;
    ProblemLog problems;
    Mixer sound{problems};
    HeadlessPresenter presenter;
    Display display{presenter, nullptr};
    KeysoundBank slots;
    BgaBank surfaces;
    int32_t layer = 0;

    explicit MediaLoad(const std::string& chartPath)
        : c(chartPath), problems(c.compiled->SongFolder + "ddsd.debug") {
        display.Open();
    }
    void Sounds(FileResolver& files) {
        LoadKeysounds(slots, {.Chart = *c.chart,
                              .Sound = sound,
                              .ProgramFolder = c.compiled->SongFolder,
                              .Files = files});
    }
    void Images(FileResolver& files) {
        LoadBgaImages(BgaLoad{surfaces, *c.chart, display, layer, files});
    }
};

// Loads run on two threads: wall time, and the CPU time of both.
void LoadSounds(benchmark::State& state, const std::string& chartPath) {
    MediaLoad m(chartPath);
    for (auto _ : state) {
        FileResolver files;
        m.Sounds(files);
    }
}

void LoadImages(benchmark::State& state, const std::string& chartPath) {
    MediaLoad m(chartPath);
    for (auto _ : state) {
        FileResolver files;
        m.Images(files);
    }
}

void BM_LoadKeysounds(benchmark::State& state) {
    LoadSounds(state, MediaChart());
}
BENCHMARK(BM_LoadKeysounds)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_LoadBgaImages(benchmark::State& state) {
    LoadImages(state, MediaChart());
}
BENCHMARK(BM_LoadBgaImages)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_ReadSameBytes(benchmark::State& state) {
    Compiled c(MediaChart());
    for (auto _ : state) {
        for (const std::string& name : c.chart->WavFileNames)
            if (!name.empty()) benchmark::DoNotOptimize(ReadWholeFile(name));
        for (const std::string& name : c.chart->BmpFileNames)
            if (!name.empty()) benchmark::DoNotOptimize(ReadWholeFile(name));
    }
}
BENCHMARK(BM_ReadSameBytes)->Unit(benchmark::kMillisecond);

// One sound of ten seconds at 22.05 kHz named from every one of the 1,295
// slots of the standard reading, against decoding it once: a file named again
// is shared, not decoded again.
std::string TenSecondSound() {
    std::string path = BenchFolder("media") + "ten-seconds.wav";
    if (std::filesystem::exists(path)) return path;
    std::vector<int16_t> s(22050 * 10);
    for (size_t k = 0; k < s.size(); ++k)
        s[k] = int16_t(6000 * std::sin(double(k) * 0.03));
    WriteFileAtomic(path, tools::EncodeWav16(s, 1, 22050));
    return path;
}

void BM_OneSoundFromEverySlot(benchmark::State& state) {
    ChartData chart;
    chart.SlotLimit = WideSlotCount;
    for (int i = 1; i < WideSlotCount; ++i)
        chart.WavFileNames[size_t(i)] = TenSecondSound();
    const std::string folder = BenchFolder("media");
    ProblemLog problems(folder + "ddsd.debug");
    Mixer sound(problems);
    KeysoundBank slots;
    for (auto _ : state) {
        FileResolver files;
        LoadKeysounds(slots,
                      {.Chart = chart, .Sound = sound, .ProgramFolder = folder, .Files = files});
    }
}
BENCHMARK(BM_OneSoundFromEverySlot)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeThatSoundOnce(benchmark::State& state) {
    ProblemLog problems(BenchFolder("media") + "ddsd.debug");
    Mixer sound(problems);
    for (auto _ : state)
        benchmark::DoNotOptimize(sound.DecodeSample(TenSecondSound()));
}
BENCHMARK(BM_DecodeThatSoundOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// A run-length coded (RLE8 or RLE4) bitmap of `picture`'s low bits: runs of
// equal pixels, the way paint programs store flat backgrounds.
std::vector<uint8_t> EncodeRleBmp(const std::vector<uint8_t>& indices, int w, int h, bool four) {
    std::vector<uint8_t> codes;
    for (int y = h - 1; y >= 0; --y) {
        const uint8_t* row = &indices[size_t(y) * size_t(w)];
        for (int x = 0; x < w;) {
            int n = 1;
            while (x + n < w && n < 254 && row[x + n] == row[x])
                ++n;
            codes.push_back(uint8_t(n));
            codes.push_back(four ? uint8_t(row[x] << 4 | row[x]) : row[x]);
            x += n;
        }
        codes.push_back(0), codes.push_back(0);
    }
    codes.push_back(0), codes.push_back(1);
    const size_t colours = four ? 16 : 256, offBits = 14 + 40 + colours * 4;
    std::vector<uint8_t> out(offBits, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            out[at + size_t(k)] = uint8_t(v >> (8 * k));
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, uint32_t(offBits + codes.size()));
    put32(10, uint32_t(offBits));
    put32(14, 40), put32(18, uint32_t(w)), put32(22, uint32_t(h));
    out[26] = 1, out[28] = four ? 4 : 8, out[30] = four ? 2 : 1;
    put32(34, uint32_t(codes.size())), put32(46, uint32_t(colours));
    for (size_t i = 0; i < colours; ++i)
        put32(54 + 4 * i, uint32_t(i * 0x010305 + 0x203040) & 0xFFFFFF);
    out.insert(out.end(), codes.begin(), codes.end());
    return out;
}

// A real song's media: 165 keysounds at 22.05 kHz mono 16-bit of 0.2 to 2
// seconds, and 250 background images of 256 x 256 or 640 x 480, as 8-bit and
// 4-bit run-length coded and 24-bit bitmaps, with a chart naming them all.
std::string SongChart() {
    const std::string dir = BenchFolder("song");
    if (std::filesystem::exists(dir + "song.bms")) return dir + "song.bms";
    std::string chart = "#BPM 150\r\n";
    auto define = [&](const char* kind, int slot, const std::string& name) {
        char def[64];
        std::snprintf(def, sizeof def, "#%s%02X %s\r\n", kind, slot, name.c_str());
        chart += def;
    };
    for (int i = 1; i <= 165; ++i) {
        std::vector<int16_t> s(size_t(22050 * (0.2 + 1.8 * double(i % 19) / 18)));
        for (size_t k = 0; k < s.size(); ++k)
            s[k] = int16_t(9000 * std::sin(double(k) * 0.003 * (i % 40 + 1)) *
                           std::exp(-double(k) / 20000));
        const std::string name = "s" + std::to_string(i) + ".wav";
        WriteFileAtomic(dir + name, tools::EncodeWav16(s, 1, 22050));
        define("WAV", i, name);
    }
    for (int i = 0; i < 250; ++i) {
        const bool large = i % 3 == 0;
        const int w = large ? 640 : 256, h = large ? 480 : 256;
        std::vector<uint8_t> indices(size_t(w) * size_t(h));
        // Flat bands and blocks, as drawn backgrounds are.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                indices[size_t(y) * size_t(w) + size_t(x)] =
                    uint8_t((x / 24 + y / 16 + i) % 14 + 1);
        std::vector<uint8_t> bytes;
        if (i % 5 == 0) {
            Image picture(w, h);
            for (size_t k = 0; k < indices.size(); ++k)
                picture.Rgb[k] = uint32_t(k * 0x010203 + indices[k] * 0x112233) & 0xFFFFFF;
            bytes = EncodeBmp(BitmapFromPicture(picture));
        } else {
            bytes = EncodeRleBmp(indices, w, h, i % 2 == 0);
        }
        const std::string name = "b" + std::to_string(i) + ".bmp";
        WriteFileAtomic(dir + name, bytes);
        define("BMP", i, name);
    }
    WriteFileAtomic(dir + "song.bms", std::vector<uint8_t>(chart.begin(), chart.end()));
    return dir + "song.bms";
}

void BM_SongLoadKeysounds(benchmark::State& state) {
    LoadSounds(state, SongChart());
}
BENCHMARK(BM_SongLoadKeysounds)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

void BM_SongLoadImages(benchmark::State& state) {
    LoadImages(state, SongChart());
}
BENCHMARK(BM_SongLoadImages)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The whole load as the player does it, and the floor: `cat` of the same files.
void BM_SongLoadAll(benchmark::State& state) {
    MediaLoad m(SongChart());
    for (auto _ : state) {
        FileResolver files;
        m.Sounds(files);
        m.Images(files);
    }
}
BENCHMARK(BM_SongLoadAll)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_SongCatFloor(benchmark::State& state) {
    SongChart();
    const std::string command = "cd '" + BenchFolder("song") + "' && cat *.wav *.bmp > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("cat failed");
}
BENCHMARK(BM_SongCatFloor)->Unit(benchmark::kMillisecond);

// Two minutes of keysounds only: 32 objects a measure over 8 sounds.
std::string RenderChart() {
    std::string dir = BenchFolder("render");
    tools::WriteProgramAssets(dir);
    std::string chart = "#BPM 120\r\n";
    for (int i = 1; i <= 8; ++i) {
        std::vector<int16_t> s(size_t(44100 / 4));
        for (size_t k = 0; k < s.size(); ++k)
            s[k] = int16_t(5000 * std::sin(double(k) * 0.02 * i) * std::exp(-double(k) / 4000));
        WriteFileAtomic(dir + "s" + std::to_string(i) + ".wav", tools::EncodeWav16(s, 1, 44100));
        chart += "#WAV0" + std::to_string(i) + " s" + std::to_string(i) + ".wav\r\n";
    }
    for (int m = 0; m < 60; ++m) {
        for (int ch : {11, 13, 15, 16}) {
            char head[16];
            std::snprintf(head, sizeof head, "#%03d%02d:", m, ch);
            chart += head;
            for (int k = 0; k < 8; ++k)
                chart += "0" + std::to_string(1 + (m + k + ch) % 8);
            chart += "\r\n";
        }
    }
    WriteFileAtomic(dir + "render.bms", std::vector<uint8_t>(chart.begin(), chart.end()));
    return dir;
}

void BM_RenderKeysoundsOnly(benchmark::State& state) {
    const std::string dir = RenderChart();
    CommandLine cl;
    cl.ProgramFolder = dir;
    cl.RenderWav = dir + "out.wav";
    cl.Arguments = {dir + "render.bms"};
    double audioSeconds = 0;
    for (auto _ : state) {
        RunPlayer(cl);
        audioSeconds += double(std::filesystem::file_size(cl.RenderWav) - 44) / (44100.0 * 4);
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MiB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_RenderKeysoundsOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace tappo::bench

namespace tappo::bench {

std::string MediaChartPath() {
    return MediaChart();
}
std::string SongChartPath() {
    return SongChart();
}

// Milliseconds to load every keysound and image of `chartPath` into empty
// slots, after one untimed load that warms the file cache.
double TimeMediaLoad(const std::string& chartPath) {
    double ms = 0;
    for (int round = 0; round < 2; ++round) {
        MediaLoad m(chartPath);
        const auto start = std::chrono::steady_clock::now();
        FileResolver files;
        m.Sounds(files);
        m.Images(files);
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                 .count();
    }
    return ms;
}

} // namespace tappo::bench

namespace tappo::bench {
namespace {

// One 640 x 480 run-length coded background of the song (argument 0: RLE4,
// 1: RLE8) drawn onto a 320 x 240 screen, run by run.
void BM_RleOntoScreen(benchmark::State& state) {
    SongChart();
    const std::vector<uint8_t> file =
        ReadWholeFile(BenchFolder("song") + (state.range(0) ? "b3.bmp" : "b6.bmp"));
    std::vector<uint16_t> out(320 * 240);
    BitmapData scratch;
    for (auto _ : state) {
        DrawBmpFileStretched(file.data(), file.size(),
                             {.Pixels = out.data(), .Width = 320, .Height = 240}, scratch);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_RleOntoScreen)->Arg(0)->Arg(1);

} // namespace
} // namespace tappo::bench
