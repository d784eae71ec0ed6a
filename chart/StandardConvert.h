// The standard reading's chart as the value the play screen consumes: the same
// event lists, file names and header values the exact compiler builds, plus
// the beat timeline the arrows scroll with.
#pragma once

#include "chart/Compiler.h"
#include "chart/StandardCompiler.h"

#include <string>
#include <string_view>

namespace tappo {

// How charts are read: the exact reading, or the standard one with its
// #RANDOM choice.
struct ChartReading {
    bool Standard = false;
    StandardOptions Options;
    // Live play: each compile draws its #RANDOM values from a fresh seed
    // (Options then only gives the decimal separator).
    bool DrawAtRandom = false;
};

// The compiled-chart value of a standard chart whose file is `path`.
CompiledChart StandardToCompiled(const StandardChart& chart, const std::string& path);

// Reads and compiles `path` the standard way. Only a file that cannot be read
// throws (CompileError, the chart being `before` as the exact compile starts it).
StandardChart CompileStandardChartFile(const std::string& path, const StandardOptions& options,
                                       const ChartCarryOver& before = {});
// Either reading of the file, as a compiled chart. Throws CompileError.
CompiledChart CompileChartFileAs(const ChartReading& reading, const std::string& path,
                                 char decimalSeparator, const ChartCarryOver& before = {});

// The header values the select screen shows, read the standard way: title,
// artist, genre, level, tempo, MIDI file and player mode (defaults for those
// the chart leaves out). Throws when the file cannot be read.
void ScanStandardChartHeader(const std::string& path, const ChartReading& reading,
                             PlaySettings& state, ChartHeader& header);

// The values of "#BANNER" and "#STAGEFILE" (the last of each, "" when
// missing), read without compiling the chart; control flow is not followed.
struct StandardPictures {
    std::string Banner, StageFile;
};
StandardPictures ScanStandardPictures(std::string_view bytes);
// The file a chart's "#BANNER" / "#STAGEFILE" names, found in its folder as
// the chart's other files are; "" when the chart names none, the file does
// not exist or the chart cannot be read.
std::string StandardBannerFile(const std::string& chartPath);
std::string StandardStageFile(const std::string& chartPath);

} // namespace tappo
