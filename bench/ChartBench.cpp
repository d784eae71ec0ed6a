// Compile time of a large generated chart (1000 measures x 20 channels x 64
// objects, about 1.3 million objects) and of a typical one.
#include "chart/exact/Compiler.h"
#include "files/Files.h"
#include "formats/Picture.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace tappo::bench {

// Writes a chart of `measures` measures, `channels` channel lines each, with
// `objects` objects a line (ids cycling through 01-FF).
std::string GenerateChart(int measures, int channels, int objects) {
    static const int Channels[] = {1,  11, 13, 15, 16, 21, 23, 25, 26, 12,
                                   14, 17, 18, 19, 22, 24, 27, 28, 29, 4};
    std::string text = "#TITLE Generated\r\n#BPM 150\r\n#PLAYER 3\r\n";
    for (int i = 1; i < 256; ++i) {
        char def[40];
        std::snprintf(def, sizeof def, "#WAV%02X sound%02X.wav\r\n", i, i);
        text += def;
    }
    int id = 0;
    for (int m = 0; m < measures; ++m) {
        for (int c = 0; c < channels; ++c) {
            char head[16];
            std::snprintf(head, sizeof head, "#%03d%02d:", m, Channels[c % 20]);
            text += head;
            for (int k = 0; k < objects; ++k) {
                char obj[4];
                std::snprintf(obj, sizeof obj, "%02X", 1 + id++ % 255);
                text += obj;
            }
            text += "\r\n";
        }
    }
    return text;
}

namespace {

void Compile(benchmark::State& state, int measures, int channels, int objects) {
    const std::string text = GenerateChart(measures, channels, objects);
    for (auto _ : state)
        benchmark::DoNotOptimize(exact::Compile(text, "/bench/chart.bms", '.'));
    const double perCompile = double(measures) * channels * objects;
    state.counters["objects"] = perCompile;
    state.counters["objects/s"] =
        benchmark::Counter(perCompile * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CompileLargeChart(benchmark::State& state) {
    Compile(state, 1000, 20, 64);
}
BENCHMARK(BM_CompileLargeChart)->Unit(benchmark::kMillisecond);

void BM_CompileTypicalChart(benchmark::State& state) {
    Compile(state, 120, 6, 8);
}
BENCHMARK(BM_CompileTypicalChart)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tappo::bench

namespace tappo::bench {

// Milliseconds of one compile of the chart file `path` (read beforehand),
// after one untimed compile.
double TimeCompile(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    const std::string text(bytes.begin(), bytes.end());
    benchmark::DoNotOptimize(exact::Compile(text, path, '.'));
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(exact::Compile(text, path, '.'));
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace tappo::bench
