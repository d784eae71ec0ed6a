// Command-line options of tappoplayer.
#pragma once

#include "app/Settings.h"
#include "chart/Reading.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tappo {

struct CommandLine {
    bool Help = false;
    bool Version = false;
    bool Windowed = false;
    bool Headless = false;
    long Frames = -1; // headless: end after this many frames; -1 runs on
    int FrameMs = 10; // headless: virtual milliseconds per frame
    int Scale = 0;    // window scale; 0 = the largest that fits the desktop
    std::vector<std::pair<long, std::string>> Screenshots; // frame, PNG path
    // Folders searched for charts; empty: the program folder and the user's
    // data folder (DefaultSongFolders).
    std::vector<std::string> Songs;
    int AudioBufferFrames = 512;
    int Volume = 100;                // master volume, 0-100
    SongSort Sort = SongSort::Found; // the select screen's sort at start (from the settings)
    std::string RenderWav;           // render the chart offline into this WAV file
    std::string RenderVideo;         // render the chart offline into this video file (.mkv, .mp4)
    int VideoScale = 4;              // --render-video: screen pixels scaled up by this
    int VideoFps = 60;               // --render-video: frames a second
    int VideoCrf = -1;               // --render-video: the encoder's quality; -1: its default
    std::string VideoPreset;         // --render-video: x264's preset name; empty: the default
    std::string Inspect;             // chart to compile and list instead of playing
    std::string ChartImage;          // draw the chart as a score into this PNG file
    int ChartImageMeasures = 16;     // --chart-image: measures a column
    bool Standard = false;           // read charts the standard way instead of the exact one
    bool HasRandomSeed = false;
    uint64_t RandomSeed = 0;            // with HasRandomSeed: the seed every #RANDOM draws from
    bool ArrowLanes = false;            // --lanes arrows: standard charts on four arrow lanes
    std::vector<std::string> Arguments; // everything that is not an option
    std::string Error;                  // non-empty: the command line is wrong
    std::string ProgramFolder;          // not an option: empty means the executable's folder
    // A chart from the file manager: where the exact reading cannot read the
    // chart, the standard reading plays it.
    bool AutoReading = false;
    bool SaveSettings = false;       // write what the command line sets into the settings file
    bool Scan = false;               // --scan: update the song database, then exit
    bool Rescan = false;             // --rescan: --scan reading every chart again
    std::string LibraryDb;           // --library-db: the song database file; empty: the default
    std::string AddTable;            // --add-table: a difficulty table to fetch and store
    bool UpdateTables = false;       // --update-tables: fetch every table again
    std::vector<std::string> Tables; // the settings file's "table =" lines
    Settings Given; // the values the command line sets, as a settings file holds them
    // Where CHART starts: --start-measure (a measure of the chart) or
    // --start-ms (a song time); neither: the top.
    std::optional<int> StartMeasure;
    std::optional<int32_t> StartMs;
    double ScrollFactor = 1.0;  // --scroll-speed: the arrows' spread, 0.5-4
    int RatePercent = 100;      // --rate: the playback rate in percent, 50-200
    bool RateKeepsPitch = true; // false with --rate-pitch: the pitch moves with the rate
    // --loop FROM-TO: the passage between two measure lines played over and
    // over; --loop-count N: play ends after N passes (0: not given; a render
    // then plays the passage once, other runs loop on).
    std::optional<std::pair<int, int>> LoopMeasures;
    int LoopCount = 0;
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
// The settings file's values for everything the command line leaves unset.
void ApplySettings(CommandLine& cl, const Settings& saved);
// The passes after which a run with a loop ends: --loop-count, else one for
// a render and none (it loops on) for other runs.
int LoopPassesOf(const CommandLine& cl);
std::string UsageText();
// The chart reading the command line asks for. Without --random-seed each
// #RANDOM takes 1, unless `drawAtRandom` (live play): then each chart draws
// from a fresh seed.
ChartReading ChartReadingOf(const CommandLine& cl, bool drawAtRandom);
// A chart is named by its extension, ".bms" in any letter case (so a file
// named just ".bms" is a chart too); for the standard reading also ".bme"
// (seven keys), ".bml" (long notes), ".pms" (nine buttons) and ".bmson".
bool HasChartExtension(const std::string& path, bool standard = false);

} // namespace tappo
