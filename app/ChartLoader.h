// The chart loader: the road of a chart from its path to the first play
// frame, the same for a chart named on the command line and for Start on the
// select screen: the loading screen, the compile, the sounds, the images.
// It reports how the load ended as a ScreenOutcome; the screen flow decides
// what runs next.
#pragma once

#include "app/NoticeBand.h"
#include "audio/Mixer.h"
#include "base/Errors.h"
#include "base/Translate.h"
#include "chart/FileLookup.h"
#include "chart/Reading.h"
#include "files/ProblemLog.h"
#include "media/ChartSession.h"
#include "media/Media.h"
#include "platform/Display.h"
#include "platform/Music.h"
#include "platform/Timer.h"
#include "play/GameFlow.h"
#include "play/PlayState.h"

#include <functional>
#include <optional>
#include <string>

namespace tappo {

// A chart's compile error as every locale shows it: "FILE:LINE: text", or
// "FILE: text" where the line is not known; the text alone where it names
// the file already.
std::string CompileErrorText(const std::string& path, const CompileError& e);

// The loading screen's bar under its text: `done` of `total` files (none
// when `total` is 0) on a screen of the given size.
void DrawLoadingBar(Surface& back, int screenWidth, int screenHeight, int done, int total);

inline constexpr const char* TextLoading = ForCatalogue("Now Loading ...");

// What the loader works on; the player owns all of it.
struct ChartLoaderParts {
    Display& Video;
    TickSource& Clock;
    ChartSession& Session;
    PlayState& Play;
    Mixer& Sound;
    ProblemLog& Problems; // where sound, picture, video and MIDI problems go
    MusicPlayer& Music;
    const GameFlow& Flow;
    const ChartReading& Reading; // with the locale's decimal separator
    const std::string& ProgramFolder;
    // The songs folders: a chart's names are kept inside the one holding it.
    const std::vector<std::string>& SongsFolders;
    // Shows an error (a box, or the notice band) and goes on.
    std::function<void(const std::string&)> ReportError;
    // Between two files of a load: false when the user asked to stop it.
    std::function<bool()> KeepLoading;
};

class ChartLoader {
  public:
    explicit ChartLoader(ChartLoaderParts parts) : p_(std::move(parts)) {}

    // Loads the chart at `path` for play; the screen is the play screen
    // already. Without the display yet (a command-line chart), its images
    // wait for LoadImagesOnDisplay. None when play can start with the next
    // frame; LoadFailed when the chart did not compile (reported), LeaveAsked
    // when the load was stopped.
    std::optional<ScreenOutcome> Load(const std::string& path);
    // The images of the chart loaded before the display was made; the
    // loading screen ends with them.
    void LoadImagesOnDisplay();
    // The loading screen without a bar: the chart's stage picture while a
    // chart loads, the text.
    void ShowLoadingScreen() { DrawLoadingProgress(0, 0); }
    // Whether the chart's "#STAGEFILE" picture is held (only while it loads).
    bool HoldsStagePicture() const { return !stagePicture_.Rgb.empty(); }

  private:
    void LoadStagePicture(const std::string& chartPath);
    // The loading screen with a bar under its text for `done` of `total` files.
    void DrawLoadingProgress(int done, int total);
    bool CompileChart(const std::string& path);
    // Says why a chart that compiled plays less than its file holds.
    void ReportUnreadText(const std::string& path);
    bool LoadChartSounds(FileResolver& files);
    bool LoadChartImages(FileResolver& files);
    // Between two files of a load: the progress bar now and then, and the
    // user's chance to stop the load.
    bool LoadProgress(int done, int total);

    ChartLoaderParts p_;
    Image stagePicture_;           // the loading chart's "#STAGEFILE"; empty when none
    uint32_t lastLoadingDraw_ = 0; // tick of the last loading picture
    int loadTotal_ = 0;            // files of the load in progress
    // The folder the chart's files are kept in: every name the resolver
    // tries, the sound and picture fallbacks too, stays inside it.
    std::string filesRoot_;
};

} // namespace tappo
