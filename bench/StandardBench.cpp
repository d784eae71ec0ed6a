// Compile time of the standard reading against the exact one on the same large
// generated chart (1000 measures x 20 channels x 64 objects, 1.28 million
// objects), and on a chart of the same size that uses base-36 ids, tempo
// changes and stops everywhere; and the standard compile with its conversion
// into the compiled chart, as the player runs it.
#include "chart/exact/Compiler.h"
#include "chart/standard/Compiler.h"
#include "chart/standard/Convert.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace tappo::bench {

std::string GenerateChart(int measures, int channels, int objects); // ChartBench.cpp

namespace {

// Like GenerateChart, with ids cycling through 01-ZZ and, in every measure, a
// tempo change (08) and a stop (09) on lines of their own.
std::string GenerateStandardChart(int measures, int channels, int objects) {
    static const char* Channels[] = {"01", "11", "13", "15", "16", "21", "23", "25", "26", "12",
                                     "14", "17", "18", "19", "22", "24", "51", "61", "D1", "04"};
    std::string text =
        "#TITLE Generated\r\n#BPM 150\r\n#PLAYER 3\r\n#BPM01 180\r\n#BPM02 150\r\n#STOP01 12\r\n";
    char buffer[64];
    for (int i = 1; i < standard::SlotCount; ++i) {
        std::snprintf(buffer, sizeof buffer, "#WAV%s sound%d.wav\r\n",
                      standard::SlotText(i).c_str(), i);
        text += buffer;
    }
    int id = 0;
    for (int m = 0; m < measures; ++m) {
        std::snprintf(buffer, sizeof buffer, "#%03d08:00010002\r\n#%03d09:0001\r\n", m, m);
        text += buffer;
        for (int c = 0; c < channels; ++c) {
            std::snprintf(buffer, sizeof buffer, "#%03d%s:", m, Channels[c % 20]);
            text += buffer;
            for (int k = 0; k < objects; ++k)
                text += standard::SlotText(1 + id++ % (standard::SlotCount - 1));
            text += "\r\n";
        }
    }
    return text;
}

void Report(benchmark::State& state, double objects) {
    state.counters["objects"] = objects;
    state.counters["objects/s"] =
        benchmark::Counter(objects * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ExactCompileLargeChart(benchmark::State& state) {
    const std::string text = GenerateChart(1000, 20, 64);
    for (auto _ : state)
        benchmark::DoNotOptimize(exact::Compile(text, "/bench/chart.bms", '.'));
    Report(state, 1000.0 * 20 * 64);
}
BENCHMARK(BM_ExactCompileLargeChart)->Unit(benchmark::kMillisecond);

void BM_StandardCompileLargeChart(benchmark::State& state) {
    const std::string text = GenerateChart(1000, 20, 64);
    for (auto _ : state)
        benchmark::DoNotOptimize(standard::Compile(text, standard::Options{}));
    Report(state, 1000.0 * 20 * 64);
}
BENCHMARK(BM_StandardCompileLargeChart)->Unit(benchmark::kMillisecond);

void BM_StandardCompileLargeBase36Chart(benchmark::State& state) {
    const std::string text = GenerateStandardChart(1000, 20, 64);
    for (auto _ : state)
        benchmark::DoNotOptimize(standard::Compile(text, standard::Options{}));
    Report(state, 1000.0 * 20 * 64);
}
BENCHMARK(BM_StandardCompileLargeBase36Chart)->Unit(benchmark::kMillisecond);

// What the player does with --standard: the compile, then the conversion into
// the compiled chart the play screen reads (event lists, sorted).
void BM_StandardCompileAndConvertLargeChart(benchmark::State& state) {
    const std::string text = GenerateChart(1000, 20, 64);
    for (auto _ : state) {
        const auto chart =
            std::make_unique<standard::Chart>(standard::Compile(text, standard::Options{}));
        benchmark::DoNotOptimize(standard::ToCompiled(*chart, "/bench/chart.bms"));
    }
    Report(state, 1000.0 * 20 * 64);
}
BENCHMARK(BM_StandardCompileAndConvertLargeChart)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tappo::bench
