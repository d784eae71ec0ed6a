// The screen flow: the one place that decides which screen runs. The screens
// and the chart loader report what happened (a ScreenOutcome); the flow
// answers with the next screen, and says when the program ends because there
// is nothing to go back to (a chart named on the command line).
#pragma once

#include "play/GameFlow.h"

#include <optional>

namespace tappo {

class ScreenFlow {
  public:
    // What the screens read.
    const GameFlow& State() const { return state_; }
    Screen Current() const { return Screen(state_.Screen); }
    bool ChartActive() const { return state_.ChartActive; }

    // Start-up: the select screen, or the screen that says the command-line
    // file is no chart.
    void Begin(Screen first);
    // A chart starts to load: the play screen from now on, its loading
    // screen first.
    void ChartStarted();
    // The chart search found nothing: the screen that says so, unless a
    // command-line file was refused already.
    void NoChartsFound();
    // Follows what a screen or the load reported. `chartList` tells whether
    // the select screen has charts to go back to. Returns the exit code when
    // the program ends with it.
    std::optional<int> Follow(ScreenOutcome outcome, bool chartList);

  private:
    GameFlow state_;
};

} // namespace tappo
