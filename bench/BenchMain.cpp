// Benchmark entry, with helper modes for the side-by-side report
// (bench/report.sh), which times peers as separate programs:
//   --write-chart FILE [MEASURES CHANNELS OBJECTS]  a generated chart (default:
//                                                   the large one, 1000 x 20 x 64)
//   --media-chart / --song-chart / --song-tree      make the media chart, the
//                                                   real song's chart or the
//                                                   search tree, print its path
//   --time compile|load-media|search PATH           milliseconds of one run
#include "files/Files.h"
#include "formats/Picture.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tappo::bench {
std::string GenerateChart(int measures, int channels, int objects);
std::string MediaChartPath();
std::string SongChartPath();
std::string SongTreePath();
double TimeCompile(const std::string& path);
double TimeMediaLoad(const std::string& chartPath);
double TimeSearch(const std::string& dir);
} // namespace tappo::bench

namespace {

int Helper(int argc, char** argv) {
    using namespace tappo::bench;
    const std::string mode = argv[1];
    if (mode == "--write-chart" && (argc == 3 || argc == 6)) {
        const int m = argc == 6 ? std::atoi(argv[3]) : 1000,
                  c = argc == 6 ? std::atoi(argv[4]) : 20, o = argc == 6 ? std::atoi(argv[5]) : 64;
        if (m < 1 || m > 1000 || c < 1 || c > 20 || o < 1 || o > 1000) {
            std::fprintf(stderr, "chart size out of range (1-1000 x 1-20 x 1-1000)\n");
            return 2;
        }
        const std::string text = GenerateChart(m, c, o);
        tappo::WriteFileAtomic(argv[2], std::vector<uint8_t>(text.begin(), text.end()));
        return 0;
    }
    if (mode == "--media-chart" && argc == 2)
        return std::printf("%s\n", MediaChartPath().c_str()), 0;
    if (mode == "--song-chart" && argc == 2) return std::printf("%s\n", SongChartPath().c_str()), 0;
    if (mode == "--song-tree" && argc == 2) return std::printf("%s\n", SongTreePath().c_str()), 0;
    if (mode == "--time" && argc == 4) {
        const std::string what = argv[2], path = argv[3];
        double ms = -1;
        if (what == "compile") ms = TimeCompile(path);
        if (what == "load-media") ms = TimeMediaLoad(path);
        if (what == "search") ms = TimeSearch(path);
        if (ms < 0) return std::fprintf(stderr, "unknown --time target %s\n", what.c_str()), 2;
        return std::printf("%.4f\n", ms), 0;
    }
    std::fprintf(stderr, "unknown helper arguments\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "--", 2) == 0 &&
        std::strncmp(argv[1], "--benchmark", 11) != 0) {
        try {
            return Helper(argc, argv);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tappo_bench: %s\n", e.what());
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
