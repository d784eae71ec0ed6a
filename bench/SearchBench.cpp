// Chart search over a large song collection (2,000 folders of 5 charts and
// their keysounds and pictures) against `find -iname '*.bms'` on the same
// tree, both with a warm cache.
#include "bench/BenchFiles.h"
#include "files/FileSearch.h"

#include <benchmark/benchmark.h>
#include <cstdlib>

namespace tappo::bench {
namespace {

// 2,000 song folders, each with five charts, three sounds and a picture.
std::string SongsTree() {
    return SongTree(
        "search", {0, 2000, "Song ", true, {"sound0.wav", "sound1.wav", "sound2.wav", "back.bmp"}});
}

void BM_SearchCharts(benchmark::State& state) {
    FileSearch search;
    search.Directory = SongsTree();
    search.SearchName = "*.bms";
    search.Recursive = true;
    size_t found = 0;
    search.OnFound = [&](const std::string& name, const FoundFile&) {
        benchmark::DoNotOptimize(name.data());
        ++found;
        return true;
    };
    for (auto _ : state)
        search.Search();
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
