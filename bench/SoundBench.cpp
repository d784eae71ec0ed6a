// Sound costs: the mixer with 32 or 256 busy channels (and the synthesiser, or
// the limiter), WAV loading against a raw read of the same bytes, and the
// chart search over a large tree against find(1).
#include "audio/Mixer.h"
#include "audio/TestAccess.h"
#include "bench/BenchFiles.h"
#include "files/FileSearch.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "platform/Music.h"
#include "tools/Assets.h"
#include "tools/Midi.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace tappo::bench {
namespace {

std::string WriteTone(const std::string& path, int rate, int channels, double seconds) {
    std::vector<int16_t> s(size_t(rate * seconds) * size_t(channels));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(8000 * std::sin(double(i) * 0.05));
    WriteFileAtomic(path, tools::EncodeWav16(s, channels, rate));
    return path;
}

constexpr int Block = 512;

void SetCounters(benchmark::State& state) {
    // Share of one core that mixing takes at 44.1 kHz.
    state.counters["realtime_share"] =
        benchmark::Counter(double(state.iterations()) * Block / MixRate,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Mixes blocks with every channel busy on one sample, restarting them as they end.
void MixBusy(benchmark::State& state, Mixer& sound) {
    const std::string dir = BenchFolder("mix");
    auto sample = sound.LoadSample(WriteTone(dir + "tone.wav", 44100, 2, 30));
    const int channels = sound.ChannelCount();
    for (int c = 0; c < channels; ++c)
        sound.SetChannelSample(c, sample.get());
    std::vector<int16_t> out(Block * 2);
    for (auto _ : state) {
        if (sound.ChannelStatus(channels - 1) == 0)
            for (int c = 0; c < channels; ++c)
                sound.PlayChannel(c);
        sound.Mix(out.data(), Block);
        benchmark::DoNotOptimize(out.data());
    }
    SetCounters(state);
}

void BM_Mix32Channels(benchmark::State& state) {
    ProblemLog problems(BenchFolder("mix") + "ddsd.debug");
    Mixer sound(problems);
    MixBusy(state, sound);
}
BENCHMARK(BM_Mix32Channels);

// The standard reading's mix: 256 busy channels summed and clipped as the
// exact reading's are, then the same through the limiter. The tone of every
// channel in phase sums to +36 dBFS, so the limiter works on every frame.
void BM_Mix256Channels(benchmark::State& state) {
    ProblemLog problems(BenchFolder("mix") + "ddsd.debug");
    Mixer sound(problems);
    sound.UseStandardMixing(true);
    MixerTestAccess::SetLimiter(sound, false);
    MixBusy(state, sound);
}
BENCHMARK(BM_Mix256Channels);

void BM_Mix256ChannelsLimited(benchmark::State& state) {
    ProblemLog problems(BenchFolder("mix") + "ddsd.debug");
    Mixer sound(problems);
    sound.UseStandardMixing(true);
    MixBusy(state, sound);
}
BENCHMARK(BM_Mix256ChannelsLimited);

// The same at a playback rate: 512 output frames take rate x 512 song frames
// of the mix, then the time-stretcher (pitch kept) or the resampler. Beside
// BM_Mix256ChannelsLimited the difference is the rate's own cost.
void BM_Mix256ChannelsAtRate(benchmark::State& state) {
    ProblemLog problems(BenchFolder("mix") + "ddsd.debug");
    Mixer sound(problems);
    sound.UseStandardMixing(true);
    sound.SetPlaybackRate(int(state.range(0)), state.range(1) != 0);
    MixBusy(state, sound);
}
BENCHMARK(BM_Mix256ChannelsAtRate)
    ->ArgNames({"percent", "keepPitch"})
    ->Args({50, 1})
    ->Args({75, 1})
    ->Args({150, 1})
    ->Args({200, 1})
    ->Args({75, 0});

// The limiter alone on a block over full scale, against the clip it replaces.
void LimitBench(benchmark::State& state, bool limiter) {
    std::vector<int32_t> mix(Block * 2);
    for (size_t i = 0; i < mix.size(); ++i) {
        const size_t frame = i / 2;
        mix[i] = int32_t(90000 * std::sin(double(frame) * 0.03));
    }
    std::vector<int16_t> out(Block * 2);
    Limiter limit;
    for (auto _ : state) {
        if (limiter)
            limit.Process(mix.data(), out.data(), Block);
        else
            for (size_t i = 0; i < mix.size(); ++i)
                out[i] = int16_t(std::clamp<int32_t>(mix[i], -32768, 32767));
        benchmark::DoNotOptimize(out.data());
    }
    SetCounters(state);
}
void BM_ClipBlock(benchmark::State& state) {
    LimitBench(state, false);
}
BENCHMARK(BM_ClipBlock);
void BM_LimitBlock(benchmark::State& state) {
    LimitBench(state, true);
}
BENCHMARK(BM_LimitBlock);

void BM_Mix32ChannelsAndSynth(benchmark::State& state) {
    const std::string dir = BenchFolder("mix");
    ProblemLog problems(dir + "ddsd.debug");
    Mixer sound(problems);
    tools::MidiSong song; // a busy piece: eight-note chords every eighth note for ten minutes
    for (uint32_t t = 0; t < 480 * 2400; t += 240)
        for (uint8_t k = 0; k < 8; ++k)
            song.Notes.push_back({t, 230, uint8_t(k % 4), uint8_t(48 + k * 3), 90});
    WriteFileAtomic(dir + "busy.mid", tools::EncodeMidi(song));
    MusicPlayer music;
    music.FileName = dir + "busy.mid";
    music.Open();
    music.Play();
    sound.AddSource(&music);
    MixBusy(state, sound);
    sound.RemoveSource(&music);
}
BENCHMARK(BM_Mix32ChannelsAndSynth);

void LoadBench(benchmark::State& state, int rate, int channels) {
    const std::string dir = BenchFolder("wav");
    const std::string path =
        WriteTone(dir + "load" + std::to_string(rate) + ".wav", rate, channels, 10);
    ProblemLog problems(dir + "ddsd.debug");
    Mixer sound(problems);
    for (auto _ : state)
        benchmark::DoNotOptimize(sound.LoadSample(path));
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(path)));
}
void BM_LoadWav44kStereo(benchmark::State& state) {
    LoadBench(state, 44100, 2);
}
void BM_LoadWav22kMono(benchmark::State& state) {
    LoadBench(state, 22050, 1);
}
BENCHMARK(BM_LoadWav44kStereo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWav22kMono)->Unit(benchmark::kMillisecond);

void BM_ReadRawBytes(benchmark::State& state) {
    const std::string dir = BenchFolder("wav");
    const std::string path = WriteTone(dir + "load44100.wav", 44100, 2, 10);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadWholeFile(path));
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReadRawBytes)->Unit(benchmark::kMillisecond);

// 2,000 folders (40 x 50, two levels) holding 10,000 charts.
std::string ChartTree() {
    return SongTree("tree", {40, 50, "song", false, {"kick.wav"}});
}

void BM_SearchTree(benchmark::State& state) {
    FileSearch search;
    search.Directory = ChartTree();
    search.SearchName = "*.bms";
    search.Recursive = true;
    size_t found = 0;
    search.OnFound = [&](const std::string&, const FoundFile&) {
        ++found;
        return true;
    };
    for (auto _ : state)
        search.Search();
    state.counters["charts"] = double(found) / double(state.iterations());
}
BENCHMARK(BM_SearchTree)->Unit(benchmark::kMillisecond);

void BM_FindCommand(benchmark::State& state) {
    const std::string command = "find " + ChartTree() + " -iname '*.bms' > /dev/null";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
}
BENCHMARK(BM_FindCommand)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tappo::bench

namespace tappo::bench {

std::string SongTreePath() {
    return ChartTree();
}

// Milliseconds of one recursive chart search below `dir`, after a warm-up search.
double TimeSearch(const std::string& dir) {
    FileSearch search;
    search.Directory = dir;
    search.SearchName = "*.bms";
    search.Recursive = true;
    search.OnFound = [](const std::string&, const FoundFile&) { return true; };
    search.Search();
    const auto start = std::chrono::steady_clock::now();
    search.Search();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace tappo::bench
