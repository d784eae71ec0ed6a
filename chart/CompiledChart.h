// The compiled chart: what either reading makes of a chart file, and what the
// play screen, the media loaders and the inspector read.
#pragma once

#include "base/Errors.h"
#include "chart/EventLists.h"
#include "chart/GameState.h"
#include "chart/KeyLanes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tappo {
namespace standard {
struct BeatScroller;
}

inline constexpr int MeasureCount = 1000;
// The exact reading's slots "00" to "FF"; the standard reading's "00" to "ZZ"
// (base 36). The tables hold the wider range; a chart uses its SlotLimit.
inline constexpr int SlotCount = 256;
inline constexpr int WideSlotCount = 36 * 36;

// Everything a compile builds.
struct ChartData {
    std::array<double, MeasureCount> MeasureLength{}; // ms
    std::array<double, MeasureCount> MeasureStart{};  // ms; measure 0 starts at 1000
    EventLists Events;
    std::array<std::string, WideSlotCount> WavFileNames; // song folder + name, chart bytes
    std::array<std::string, WideSlotCount> BmpFileNames;
    int SlotLimit = SlotCount; // slots in use: SlotCount, or WideSlotCount (standard reading)
    int32_t LastSoundTime = 0;
    bool HasBga = false;
    bool HasBgaLayer = false;
    int LastObjectMeasure = -1; // highest measure holding an object; -1 for none
    // Percent every keysound is played at ("#VOLWAV", standard reading).
    int32_t KeysoundVolume = 100;
    // The standard reading's beats: the arrows and the measure phase follow
    // them. Null for the exact reading, whose arrows move with song time.
    std::shared_ptr<const standard::BeatScroller> BeatScroll;
    // The standard reading's notes key by key, in the chart's own key layout.
    // Null for the exact reading and where the four arrow lanes are asked for
    // (the play screen then draws the arrows).
    std::shared_ptr<const KeyLanes> Keys;
};

// The values a chart that does not set them keeps from the chart before it:
// title, artist, genre, level, player mode, lane positions and the layer
// image; the song folder stays until the compile has read the header.
struct ChartCarryOver {
    ChartHeader Header;
    PlaySettings GameState;
    std::string SongFolder;
};

// A compiled chart, complete in itself: what the play screen, the media
// loaders and the inspector read. The header and game state are the values the
// shared record takes when the chart is installed.
struct CompiledChart {
    ChartHeader Header;
    PlaySettings GameState;
    std::string SongFolder; // the chart's folder, with its trailing separator
    ChartData Data;
};

// The first error a compile meets. Callers keep what the compile built before
// it (the header values the select screen shows), so the error carries the
// chart as far as it got; its lists are incomplete and unsorted, never played.
// The line of the chart where the error was met goes with it where it is known.
class CompileError : public Error {
  public:
    CompileError(const std::string& text, std::shared_ptr<const CompiledChart> partial,
                 int line = 0)
        : Error(text), partial_(std::move(partial)), line_(line) {}
    const CompiledChart& Partial() const { return *partial_; }
    // The chart's line (from 1) the error was met on; 0 when not known.
    int Line() const { return line_; }

  private:
    std::shared_ptr<const CompiledChart> partial_;
    int line_ = 0;
};

// The chart a compile starts from: `before` with the tempo, base image, MIDI
// file name and everything of the chart data reset.
CompiledChart StartOfCompile(const ChartCarryOver& before);

// A chart file's bytes; a file that cannot be read is a CompileError whose
// partial chart is the start of a compile from `before`.
std::vector<uint8_t> ReadChartBytes(const std::string& path, const ChartCarryOver& before);
// Lane x of player 1 and 2 for a player mode; false leaves them as they are.
bool LanePositions(int32_t playerMode, int32_t& lane1X, int32_t& lane2X);

} // namespace tappo
