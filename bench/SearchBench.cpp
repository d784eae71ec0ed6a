// Chart search over a large song collection (2,000 folders of 5 charts and
// their keysounds and pictures) against `find -iname '*.bms'` on the same
// tree, both with a warm cache.
#include "files/Files.h"
#include "formats/Picture.h"
#include "files/SearchFile.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

namespace tappo::bench {
namespace {

std::string SongsTree() {
    const std::string dir = (std::filesystem::temp_directory_path() / "tappo-bench-search" / "").string();
    if (std::filesystem::exists(dir + "done")) return dir;
    const std::vector<uint8_t> empty;
    for (int f = 0; f < 2000; ++f) {
        const std::string folder = dir + "Song " + std::to_string(f) + "/";
        std::filesystem::create_directories(folder);
        for (int c = 0; c < 5; ++c) WriteFileAtomic(folder + "chart" + std::to_string(c) + (c % 2 ? ".BMS" : ".bms"), empty);
        for (int k = 0; k < 3; ++k) WriteFileAtomic(folder + "sound" + std::to_string(k) + ".wav", empty);
        WriteFileAtomic(folder + "back.bmp", empty);
    }
    WriteFileAtomic(dir + "done", empty);
    return dir;
}

void BM_SearchCharts(benchmark::State& state) {
    TSearchFile search;
    search.Directory = SongsTree();
    search.SearchName = "*.bms";
    search.Recursive = true;
    size_t found = 0;
    search.OnFind = [&](const std::string& name, const TSearchFileData&, bool&) {
        benchmark::DoNotOptimize(name.data());
        ++found;
    };
    for (auto _ : state) search.Search();
    state.counters["charts"] = double(found) / double(state.iterations());
}
BENCHMARK(BM_SearchCharts)->Unit(benchmark::kMillisecond);

// The floor: the same listing by find(1), started as a process.
void BM_SearchFindFloor(benchmark::State& state) {
    const std::string command = "find '" + SongsTree() + "' -iname '*.bms' > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
}
BENCHMARK(BM_SearchFindFloor)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tappo::bench
