// Files the benchmarks make once and keep in the temporary folder.
#pragma once

#include <string>
#include <vector>

namespace tappo::bench {

// "tappo-bench-<name>/" in the temporary folder, made if missing.
std::string BenchFolder(const std::string& name);

// A song collection in BenchFolder(name), made once: `packs` pack folders of
// `songs` song folders each (with `packs` 0, the songs lie directly in it),
// each song folder named `songPrefix` and its number, holding five empty
// charts ("chart0.bms" ..., every other one ending ".BMS" when `mixedCase`)
// and the empty files `others`.
struct SongTreeShape {
    int packs = 0;
    int songs = 0;
    std::string songPrefix;
    bool mixedCase = false;
    std::vector<std::string> others;
};
std::string SongTree(const std::string& name, const SongTreeShape& shape);

} // namespace tappo::bench
