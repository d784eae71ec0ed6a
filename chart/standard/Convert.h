// The standard reading's chart as the value the play screen consumes: the same
// event lists, file names and header values the exact compiler builds, plus
// the beat timeline the arrows scroll with.
#pragma once

#include "chart/CompiledChart.h"
#include "chart/Reading.h"
#include "chart/standard/Compiler.h"

#include <string>
#include <string_view>
#include <vector>

namespace tappo::standard {

// The compiled-chart value of a standard chart whose file is `path`. Its
// notes are in the chart's own key layout, and folded onto the four arrow
// lanes per player as well (the arrows alone with `arrowLanes`).
CompiledChart ToCompiled(const Chart& source, const std::string& path, bool arrowLanes = false);

// Reads and compiles `path` the standard way (a ".bmson" file as bmson). Only
// a file that cannot be read, or a bmson chart that does not read, throws
// (CompileError, the chart being `before` as the exact compile starts it).
Chart CompileFile(const std::string& path, const Options& options,
                  const ChartCarryOver& before = {});
// A chart file that does not read: what() names the file ("FILE: reason"),
// Reason() is the reader's message alone.
class ChartFileError : public Error {
  public:
    ChartFileError(const std::string& path, const std::string& reason);
    const std::string& Reason() const { return reason_; }

  private:
    std::string reason_;
};

// The header values the select screen shows, read the standard way: title,
// artist, genre, level, tempo, MIDI file and player mode (defaults for those
// the chart leaves out). Throws when the file cannot be read, and
// ChartFileError for a bmson chart that does not read.
void ScanHeader(const std::string& path, const ChartReading& reading, PlaySettings& state,
                ChartHeader& header);

// The title alone, as ScanHeader reads it, without reading the notes:
// cheap enough to run over a whole chart list. Throws when the file cannot
// be read, or is a bmson file that does not read.
std::string ScanTitle(const std::string& path, const ChartReading& reading);

// The values of "#BANNER", "#STAGEFILE" and "#PREVIEW" (the last of each, ""
// when missing), read without compiling the chart; control flow is not followed.
struct Pictures {
    std::string Banner, StageFile;
    std::string Preview; // a sound, not a picture: the song's preview
};
Pictures ScanPictures(std::string_view bytes);
// The file a chart's "#BANNER" / "#STAGEFILE" names, found in its folder as
// the chart's other files are; "" when the chart names none, the file does
// not exist or the chart cannot be read.
std::string BannerFile(const std::string& chartPath);
// The files `chart` (read from `chartPath`) names that are not in its folder,
// each as "<header> <name as written>" ("WAV01 kick.wav", "MIDIFILE song.mid"),
// found as the player finds them (other letter case, "\" between folders,
// the other extensions of sounds and pictures).
std::vector<std::string> MissingFiles(const Chart& chart, const std::string& chartPath);
std::string StageFile(const std::string& chartPath);
// The sound a chart's "#PREVIEW" (a bmson chart's "preview_music") names,
// found as its keysounds are (other letter case, the other sound extensions);
// "" when there is none.
std::string PreviewFile(const std::string& chartPath);

} // namespace tappo::standard
