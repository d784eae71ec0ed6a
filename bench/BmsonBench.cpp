// Reading a bmson chart of a million notes (1000 measures x 16 lanes x 64
// notes) against the standard reading of the same notes written as BMS, both
// compiled and converted into the compiled chart as the player does.
#include "chart/standard/Bmson.h"
#include "chart/standard/Compiler.h"
#include "chart/standard/Convert.h"
#include "files/Files.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace tappo::bench {
namespace {

constexpr int Measures = 1000, Lanes = 16, PerMeasure = 64;
// bmson lane 0-15 and the BMS channel of the same key.
const char* Channel[Lanes] = {"01", "11", "12", "13", "14", "15", "18", "19",
                              "16", "21", "22", "23", "24", "25", "28", "29"};

int SlotOf(int measure, int lane, int k) {
    return 1 + (measure * Lanes * PerMeasure + lane * PerMeasure + k) % (standard::SlotCount - 1);
}

std::string Bms() {
    std::string text = "#TITLE Generated\r\n#BPM 150\r\n#PLAYER 3\r\n";
    for (int i = 1; i < standard::SlotCount; ++i)
        text += "#WAV" + standard::SlotText(i) + " sound" + std::to_string(i) + ".wav\r\n";
    for (int m = 0; m < Measures; ++m)
        for (int lane = 0; lane < Lanes; ++lane) {
            char head[16];
            std::snprintf(head, sizeof head, "#%03d%s:", m, Channel[lane]);
            text += head;
            for (int k = 0; k < PerMeasure; ++k)
                text += standard::SlotText(SlotOf(m, lane, k));
            text += "\r\n";
        }
    return text;
}

// The same notes: sound channel i plays slot i + 1's sound, 240 pulses a beat.
std::string Bmson() {
    std::vector<std::string> notes(standard::SlotCount - 1);
    for (int m = 0; m < Measures; ++m)
        for (int lane = 0; lane < Lanes; ++lane)
            for (int k = 0; k < PerMeasure; ++k) {
                std::string& n = notes[size_t(SlotOf(m, lane, k) - 1)];
                n += n.empty() ? "" : ",";
                n += "{\"x\":" + std::to_string(lane) +
                     ",\"y\":" + std::to_string((m * PerMeasure + k) * 15) +
                     ",\"l\":0,\"c\":false}";
            }
    std::string text = R"({"version":"1.0.0","info":{"title":"Generated","init_bpm":150,)"
                       R"("resolution":240},"sound_channels":[)";
    for (size_t i = 0; i < notes.size(); ++i)
        text += std::string(i ? "," : "") + "{\"name\":\"sound" + std::to_string(i + 1) +
                ".wav\",\"notes\":[" + notes[i] + "]}";
    return text + "]}";
}

void Report(benchmark::State& state, size_t bytes) {
    const double notes = double(Measures) * Lanes * PerMeasure;
    state.counters["notes"] = notes;
    state.counters["MB"] = double(bytes) / 1e6;
}

void BM_BmsonMillionNotes(benchmark::State& state) {
    // With the room past its end that the player's file read leaves.
    std::string text = Bmson();
    text.reserve(text.size() + FileReadSlack);
    for (auto _ : state) {
        const auto chart =
            std::make_unique<standard::Chart>(standard::CompileBmson(text, false, text.capacity()));
        benchmark::DoNotOptimize(standard::ToCompiled(*chart, "/bench/chart.bmson"));
    }
    Report(state, text.size());
}
BENCHMARK(BM_BmsonMillionNotes)->Unit(benchmark::kMillisecond);

void BM_BmsonMillionNotesAsBms(benchmark::State& state) {
    const std::string text = Bms();
    for (auto _ : state) {
        const auto chart =
            std::make_unique<standard::Chart>(standard::Compile(text, standard::Options{}));
        benchmark::DoNotOptimize(standard::ToCompiled(*chart, "/bench/chart.bms"));
    }
    Report(state, text.size());
}
BENCHMARK(BM_BmsonMillionNotesAsBms)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tappo::bench
