// Loading a song pack's keysounds when they ship as Ogg Vorbis under the names
// the chart gives as ".wav": the player's whole path (resolver with its stem
// fallback, decode, conversion to the mix format) against the floor, decoding
// the same files with libsndfile in a plain loop.
#include "audio/Mixer.h"
#include "chart/FileLookup.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tappo {
namespace {

constexpr int OggFiles = 1000;

// 1,000 Ogg files of 0.3 s at 44.1 kHz mono, written once per run.
const std::string& OggFolder() {
    static const std::string folder = [] {
        std::string dir =
            (std::filesystem::temp_directory_path() / "tappo-bench-ogg").string() + "/";
        std::filesystem::create_directories(dir);
        std::vector<int16_t> tone(13230);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = int16_t(9000 * std::sin(0.07 * double(i)) * std::exp(-double(i) / 4000.0));
        for (int k = 0; k < OggFiles; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "k%04d.ogg", k);
            if (std::filesystem::exists(dir + name)) continue;
            SF_INFO info{};
            info.channels = 1, info.samplerate = 44100,
            info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
            SNDFILE* f = sf_open((dir + name).c_str(), SFM_WRITE, &info);
            if (!f) continue;
            sf_writef_short(f, tone.data(), sf_count_t(tone.size()));
            sf_close(f);
        }
        return dir;
    }();
    return folder;
}

void BM_LoadOggKeysoundsAsThePlayerDoes(benchmark::State& state) {
    const std::string& dir = OggFolder();
    ProblemLog problems("/dev/null");
    Mixer sound(problems);
    for (auto _ : state) {
        FileResolver files;
        std::vector<std::unique_ptr<Sample>> samples;
        for (int k = 0; k < OggFiles; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "K%04d.wav", k);
            samples.push_back(sound.LoadSample(files.FindWithFallback(dir + name, SoundFallbacks)));
        }
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["files"] = OggFiles;
}
BENCHMARK(BM_LoadOggKeysoundsAsThePlayerDoes)->Unit(benchmark::kMillisecond);

void BM_DecodeOggFilesInAPlainLoop(benchmark::State& state) {
    const std::string& dir = OggFolder();
    for (auto _ : state) {
        for (int k = 0; k < OggFiles; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "k%04d.ogg", k);
            SF_INFO info{};
            SNDFILE* f = sf_open((dir + name).c_str(), SFM_READ, &info);
            if (!f) continue;
            std::vector<int16_t> pcm(size_t(info.frames) * size_t(info.channels));
            sf_readf_short(f, pcm.data(), info.frames);
            sf_close(f);
            benchmark::DoNotOptimize(pcm.data());
        }
    }
    state.counters["files"] = OggFiles;
}
BENCHMARK(BM_DecodeOggFilesInAPlainLoop)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tappo
