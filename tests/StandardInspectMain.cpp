// Prints the standard reading's listing of a chart, for the timing oracle
// script (tests/standard_oracle.sh) until the player itself offers it.
//   tappo_standard_inspect CHART [SEED]
#include "chart/StandardCompiler.h"
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Picture.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s CHART [SEED]\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<uint8_t> bytes = tappo::ReadWholeFile(argv[1]);
        tappo::TStandardOptions options;
        if (argc == 3) {
            options.UseSeed = true;
            options.Seed = std::strtoull(argv[2], nullptr, 10);
        }
        const tappo::TStandardChart chart = tappo::CompileStandardChart(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), options);
        const std::string listing = tappo::StandardInspectListing(chart);
        std::fwrite(listing.data(), 1, listing.size(), stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
