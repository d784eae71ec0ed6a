// The charts found below the program folder and the one the select screen shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

struct SongList {
    std::vector<std::string> ChartList; // full paths, in the order found
    int32_t ChartIndex = 0;
    int32_t SlideDirection = 1;
    // Changes whenever ChartList does, so that what was made for one list
    // (the letter keys' titles) can tell whether it still holds.
    uint64_t Generation = 0;

    // The chart the select screen shows; empty when there is none.
    std::string Selected() const {
        const size_t i = size_t(ChartIndex);
        return ChartIndex >= 0 && i < ChartList.size() ? ChartList[i] : std::string();
    }
};

} // namespace tappo
