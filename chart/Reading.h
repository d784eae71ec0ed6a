// The choice between the two readings of a chart, and the compile and the
// --inspect listing in the reading chosen.
#pragma once

#include "chart/CompiledChart.h"
#include "chart/GameState.h"
#include "chart/Score.h"
#include "chart/standard/Compiler.h"

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace tappo {

// How charts are read: the exact reading, or the standard one with its
// #RANDOM choice. Whatever differs between the two is asked of it: which
// files are charts, how a chart is compiled, scanned, titled, bannered,
// previewed and listed, and what the screens and the mixer do for it.
struct ChartReading {
    bool Standard = false;
    standard::Options Options;
    // Live play: each compile draws its #RANDOM values from a fresh seed
    // (Options then only gives the decimal separator).
    bool DrawAtRandom = false;
    // The standard reading's notes on the four arrow lanes per player
    // (`--lanes arrows`) instead of each key in its own lane.
    bool ArrowLanes = false;

    // Whether `path` is a chart of this reading by its extension: ".bms", and
    // in the standard reading ".bme", ".bml", ".pms" and ".bmson" too.
    bool IsChartFile(const std::string& path) const;
    // The name pattern of the chart search: the standard reading looks at
    // every file (IsChartFile picks its charts), the exact one at ".bms" files.
    const char* SearchPattern() const { return Standard ? "*" : "*.bms"; }
    // The chart's header, with the reals read with Options.DecimalSeparator
    // first; throws when it cannot be read.
    void ScanHeader(const std::string& path, PlaySettings& state, ChartHeader& header) const;
    // A scan's error `e` of the chart at `path`: the reader's message alone,
    // as the select screen shows it beside the chart's path; and the report
    // naming the file, empty when `e` names it already.
    static std::string ScanErrorReason(const std::exception& e);
    std::string ScanErrorReport(const std::string& path, const std::exception& e) const;
    // A chart's title (its own bytes) for the select screen's letter keys,
    // safe to run on a helper thread: the standard reading reads the title
    // alone (throwing when it cannot), the exact one what the header scan reaches.
    std::function<std::string(const std::string& path)> TitleReader() const;
    // The picture a chart names as its banner, "#STAGEFILE" and the sound it
    // names as its preview; "" where it names none or the reading shows none.
    std::string BannerOf(const std::string& chartPath) const;
    std::string StageFileOf(const std::string& chartPath) const;
    std::string PreviewOf(const std::string& chartPath) const;
    // The select screen's details (subtitle, key layout, difficulty, level
    // and note count), and the mix on 256 voices through the limiter, the
    // chart's videos and the problem log, which the standard reading adds.
    bool ShowsDetails() const { return Standard; }
    bool MixesOnVoices() const { return Standard; }
    bool PlaysVideos() const { return Standard; }
    bool LogsProblems() const { return Standard; }
    // Why a chart that compiled holds less than its file (`bytes`): UTF-16
    // text, which only the standard reading reads, or a NUL byte that ends
    // the text. Empty when neither.
    std::string UnreadTextReason(std::string_view bytes) const;
};
// `reading` with the standard reading's reals read with `decimalSeparator`
// first (the locale's), "." after it.
ChartReading WithSeparator(ChartReading reading, char decimalSeparator);

// Either reading of the file, as a compiled chart. Throws CompileError.
CompiledChart CompileChartFileAs(const ChartReading& reading, const std::string& path,
                                 char decimalSeparator, const ChartCarryOver& before = {});

// The --inspect listing of `path` in either reading; the standard reading lists
// its own view of the chart (warnings, tempo changes, stops, every object with
// its beat). Throws the compile's error.
std::string InspectChart(const std::string& path, char decimalSeparator,
                         const ChartReading& reading);

// The chart at `path` as a score in either reading (the standard one with
// its arrow lanes as asked). Throws the compile's error.
ChartScore ScoreChartFile(const std::string& path, char decimalSeparator,
                          const ChartReading& reading);

} // namespace tappo
