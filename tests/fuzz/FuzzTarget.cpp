// A libFuzzer target for one reader, named at build time (TAPPO_FUZZ_READER).
#include "tests/fuzz/Feeders.h"

#include <cstdio>
#include <cstdlib>

namespace {
tappo::fuzz::Feeder feeder = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    feeder = tappo::fuzz::FeederNamed(TAPPO_FUZZ_READER);
    if (!feeder) {
        std::fprintf(stderr, "no reader named %s\n", TAPPO_FUZZ_READER);
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    feeder(data, size);
    return 0;
}
