#include "app/ScreenFlow.h"

namespace tappo {

void ScreenFlow::Begin(Screen first) {
    state_.Screen = first;
    state_.ChartActive = false;
}

void ScreenFlow::ChartStarted() {
    state_.Screen = ScreenPlay;
    state_.ChartActive = true;
}

void ScreenFlow::NoChartsFound() {
    if (state_.Screen != ScreenNotAChart) state_.Screen = ScreenNoCharts;
}

std::optional<int> ScreenFlow::Follow(ScreenOutcome outcome, bool chartList) {
    switch (outcome) {
    case ScreenOutcome::Paused:
        if (state_.Screen == ScreenPlay) state_.Screen = ScreenPaused;
        return std::nullopt;
    case ScreenOutcome::Resumed:
        state_.Screen = ScreenPlay;
        return std::nullopt;
    case ScreenOutcome::SongOver:
        // A command-line chart's end ends the program where it stands.
        if (!chartList) return 0;
        state_.Screen = ScreenSelect;
        state_.ChartActive = false;
        return std::nullopt;
    case ScreenOutcome::LoadFailed: {
        // A command-line chart that does not compile ends the program with
        // an error; otherwise the select screen shows again.
        state_.ChartActive = false;
        if (!chartList) return 1;
        state_.Screen = ScreenSelect;
        return std::nullopt;
    }
    case ScreenOutcome::LeaveAsked: {
        // Leaving play where there is nothing to go back to, or leaving the
        // select screen itself, ends the program.
        const bool ends = !chartList || !state_.ChartActive;
        state_.Screen = ScreenSelect;
        state_.ChartActive = false;
        if (ends) return 0;
        return std::nullopt;
    }
    }
    return std::nullopt;
}

} // namespace tappo
