// The chart compiler: turns a BMS chart into measure timing tables, twelve
// sorted event lists, the song's end time, the scroll speed and the lane
// positions. This is the one place that defines how the player reads BMS.
#pragma once

#include "chart/EventLists.h"
#include "chart/GameState.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tappo {

inline constexpr int MeasureCount = 1000;
inline constexpr int SlotCount = 256;

// Everything a compile builds.
struct TChartData {
    std::array<double, MeasureCount> MeasureLength{}; // ms
    std::array<double, MeasureCount> MeasureStart{};  // ms; measure 0 starts at 1000
    TEventLists Events;
    std::array<std::string, SlotCount> WavFileNames; // song folder + name, chart bytes
    std::array<std::string, SlotCount> BmpFileNames;
    int32_t LastSoundTime = 0;
    bool HasBga = false;
    bool HasBgaLayer = false;
    int LastObjectMeasure = -1; // highest measure holding an object; -1 for none
};

// The shared values a compile writes besides its own data.
struct TCompileTarget {
    TGameState& GameState;
    TChartHeader& Header;
    TChartData& Chart;
    std::string& SongFolder;
    char DecimalSeparator = '.';
};

// Steps up to the lane positions; keysounds and music are loaded by the caller.
// Throws the first error met; what was built before it stays built.
void CompileChart(const std::string& path, TCompileTarget& target);
// The same from chart text already in memory (`path` gives the song folder).
void CompileChartText(std::string_view text, const std::string& path, TCompileTarget& target);

// Song time of object k of n in measure m, and the step tick 20 ms before it
// (never below 0), computed in extended precision and truncated.
int64_t EventTime(int k, int n, int m, const TChartData& chart);
int64_t StepTime(int k, int n, int m, const TChartData& chart);
std::string FormatEventTime(int k, int n, int m, const TChartData& chart);
std::string FormatStepTime(int k, int n, int m, const TChartData& chart);

// Lane x of player 1 and 2 for a player mode; false leaves them as they are.
bool LanePositions(int32_t playerMode, int32_t& lane1X, int32_t& lane2X);

} // namespace tappo
