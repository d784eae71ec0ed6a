// Song clock, event cursors and the user's play toggles.
#pragma once

#include <array>
#include <cstdint>

namespace tappo {

struct PlayState {
    int32_t SongStartTick = 0; // tick of song time 0; 0: the clock has not started
    int32_t SongTime = 0;
    int32_t PrevSongTime = 0;
    bool SongEnded = false;
    int32_t PauseTick = 0;
    int32_t LateTime = 0;
    std::array<int32_t, 12> EventCursors{};
    bool MidiLoaded = false;
};

struct PlayToggles {
    bool ShowFps = false;
    bool ShowBga = true;
    bool StepTickOn = false;
    bool WarpInPlay = false;
};

} // namespace tappo
