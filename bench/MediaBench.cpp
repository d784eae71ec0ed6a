// Chart media loading (every keysound slot and 256 background images) against
// reading the same bytes, and the offline render's speed against real time.
#include "app/Runner.h"
#include "chart/Compiler.h"
#include "chart/FileLookup.h"
#include "chart/Media.h"
#include "files/Files.h"
#include "platform/Display.h"
#include "formats/Picture.h"
#include "tools/Assets.h"
#include "tools/Jpeg.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <sys/resource.h>

namespace tappo::bench {
namespace {

std::string Folder(const std::string& name) {
    const std::string dir = (std::filesystem::temp_directory_path() / ("tappo-bench-" + name) / "").string();
    std::filesystem::create_directories(dir);
    return dir;
}

// 255 keysounds of half a second (22.05 kHz mono and 44.1 kHz stereo) and 256
// images of 640 x 480 (BMP and JPEG), with the chart naming them all.
std::string MediaChart() {
    const std::string dir = Folder("media");
    if (std::filesystem::exists(dir + "chart.bms")) return dir + "chart.bms";
    std::string chart = "#BPM 150\r\n";
    for (int i = 1; i < 256; ++i) {
        const bool stereo = i % 2 == 0;
        const int rate = stereo ? 44100 : 22050, channels = stereo ? 2 : 1;
        std::vector<int16_t> s(size_t(rate / 2 * channels));
        for (size_t k = 0; k < s.size(); ++k) s[k] = int16_t(6000 * std::sin(double(k) * 0.01 * i));
        char name[32];
        std::snprintf(name, sizeof name, "k%03d.wav", i);
        WriteFileAtomic(dir + name, tools::EncodeWav16(s, channels, rate));
        char def[48];
        std::snprintf(def, sizeof def, "#WAV%02X %s\r\n", i, name);
        chart += def;
    }
    TPicture picture(640, 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) picture.At(x, y) = uint32_t(x * 0x10203 + y * 0x30201);
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

struct TCompiled {
    std::unique_ptr<TCompiledChart> compiled;
    const TChartData* chart;
    explicit TCompiled(const std::string& path)
        : compiled(std::make_unique<TCompiledChart>(CompileChartFile(path, '.'))),
          chart(&compiled->Data) {}
};

void BM_LoadKeysounds(benchmark::State& state) {
    TCompiled c(MediaChart());
    TDDSD sound(TSoundOutput::Pull, Folder("media") + "ddsd.debug");
    TKeysoundSlots slots;
    for (auto _ : state) {
        TFileResolver files;
        LoadKeysounds(slots, *c.chart, sound, Folder("media"), files);
    }
}
BENCHMARK(BM_LoadKeysounds)->Unit(benchmark::kMillisecond);

void BM_LoadBgaImages(benchmark::State& state) {
    TCompiled c(MediaChart());
    THeadlessPresenter presenter;
    TDXDraw display(presenter, nullptr);
    display.Initialize();
    TBgaSurfaces surfaces;
    int32_t layer = 0;
    for (auto _ : state) {
        TFileResolver files;
        LoadBgaImages(surfaces, *c.chart, display, layer, files);
    }
}
BENCHMARK(BM_LoadBgaImages)->Unit(benchmark::kMillisecond);

void BM_ReadSameBytes(benchmark::State& state) {
    TCompiled c(MediaChart());
    for (auto _ : state) {
        for (const std::string& name : c.chart->WavFileNames)
            if (!name.empty()) benchmark::DoNotOptimize(ReadWholeFile(name));
        for (const std::string& name : c.chart->BmpFileNames)
            if (!name.empty()) benchmark::DoNotOptimize(ReadWholeFile(name));
    }
}
BENCHMARK(BM_ReadSameBytes)->Unit(benchmark::kMillisecond);

// Two minutes of keysounds only: 32 objects a measure over 8 sounds.
std::string RenderChart() {
    const std::string dir = Folder("render");
    tools::WriteProgramAssets(dir);
    std::string chart = "#BPM 120\r\n";
    for (int i = 1; i <= 8; ++i) {
        std::vector<int16_t> s(size_t(44100 / 4));
        for (size_t k = 0; k < s.size(); ++k) s[k] = int16_t(5000 * std::sin(double(k) * 0.02 * i) * std::exp(-double(k) / 4000));
        WriteFileAtomic(dir + "s" + std::to_string(i) + ".wav", tools::EncodeWav16(s, 1, 44100));
        chart += "#WAV0" + std::to_string(i) + " s" + std::to_string(i) + ".wav\r\n";
    }
    for (int m = 0; m < 60; ++m) {
        for (int ch : {11, 13, 15, 16}) {
            char head[16];
            std::snprintf(head, sizeof head, "#%03d%02d:", m, ch);
            chart += head;
            for (int k = 0; k < 8; ++k) chart += "0" + std::to_string(1 + (m + k + ch) % 8);
            chart += "\r\n";
        }
    }
    WriteFileAtomic(dir + "render.bms", std::vector<uint8_t>(chart.begin(), chart.end()));
    return dir;
}

void BM_RenderKeysoundsOnly(benchmark::State& state) {
    const std::string dir = RenderChart();
    TCommandLine cl;
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
