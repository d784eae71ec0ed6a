// Which screen runs, as every screen reads it, and what a screen reports to
// the player's screen flow (app/ScreenFlow.h), which alone changes it.
#pragma once

#include <cstdint>

namespace tappo {

enum Screen : int32_t {
    ScreenNotAChart = -2, // the command-line file is not a chart
    ScreenNoCharts = -1,  // no chart below the program folder
    ScreenSelect = 0,
    ScreenPlay = 1,
    ScreenPaused = 2,
};

// Which screen runs, and whether a chart is loaded for play.
struct GameFlow {
    int32_t Screen = ScreenSelect;
    bool ChartActive = false;
};

// What happened on a screen or in a chart's load that may change the screen.
enum class ScreenOutcome {
    Paused,     // F4 in play
    Resumed,    // F4 in the pause, or F5: play runs (again)
    SongOver,   // the song has passed its end and every sound is quiet
    LeaveAsked, // Esc, or a load stopped before its end
    LoadFailed, // the chart did not compile
};

} // namespace tappo
