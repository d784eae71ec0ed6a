// Benchmark entry. `tappo_bench --write-chart FILE` writes the large generated
// chart instead, so scripts can time the real binary on it.
#include "files/Files.h"
#include "formats/Picture.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

namespace tappo::bench {
std::string GenerateChart(int measures, int channels, int objects);
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-chart") == 0) {
        const std::string text = tappo::bench::GenerateChart(1000, 20, 64);
        tappo::WriteFileAtomic(argv[2], std::vector<uint8_t>(text.begin(), text.end()));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
