#include "bench/BenchFiles.h"

#include "files/Files.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>

namespace tappo::bench {

std::string BenchFolder(const std::string& name) {
    std::string dir =
        (std::filesystem::temp_directory_path() / ("tappo-bench-" + name) / "").string();
    std::filesystem::create_directories(dir);
    return dir;
}

std::string SongTree(const std::string& name, const SongTreeShape& shape) {
    std::string dir = BenchFolder(name);
    if (std::filesystem::exists(dir + "done")) return dir;
    const std::vector<uint8_t> empty;
    auto song = [&](const std::string& folder) {
        std::filesystem::create_directories(folder);
        for (int c = 0; c < 5; ++c)
            WriteFileAtomic(folder + "chart" + std::to_string(c) +
                                (shape.mixedCase && c % 2 ? ".BMS" : ".bms"),
                            empty);
        for (const std::string& other : shape.others)
            WriteFileAtomic(folder + other, empty);
    };
    for (int a = 0; a < std::max(shape.packs, 1); ++a) {
        const std::string pack = shape.packs > 0 ? dir + "pack" + std::to_string(a) + "/" : dir;
        for (int b = 0; b < shape.songs; ++b)
            song(pack + shape.songPrefix + std::to_string(b) + "/");
    }
    WriteFileAtomic(dir + "done", empty);
    return dir;
}

} // namespace tappo::bench
