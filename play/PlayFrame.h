// The play screen's clock and event playback: the song clock, keysounds on the
// first free channel at their times, step ticks, background image changes and
// the end of the song. The chart plays by itself; nothing is judged.
#pragma once

#include "chart/Compiler.h"
#include "chart/GameState.h"
#include "chart/Media.h"
#include "media/Display.h"
#include "media/Input.h"
#include "media/Music.h"
#include "media/Sound.h"
#include "media/Timer.h"
#include "play/PlayState.h"

#include <functional>
#include <string>
#include <vector>

namespace tappo {

// Everything a play frame reads and writes, owned by the form.
struct TPlayScene {
    int32_t& GameMode;
    bool& ChartActive;
    const std::vector<std::string>& ChartList;
    TPlayState& Play;
    const TPlayToggles& Toggles;
    TGameState& GameState;
    TChartData& Chart;
    TKeysoundSlots& Keysounds;
    TBgaSurfaces& BgaSurfaces;
    TDDSD& Sound;
    TMediaPlayer& Music;
    TDXInput& Input;
    TDXDraw& Display;
    TDXTimer& Timer;
    IClock& Clock;
    TRect FullScreenRect;
    std::function<void()> Close;
    // When set, a keysound starts at this mix frame for its event's song time
    // instead of at the next mixed block (offline rendering: sample-exact).
    std::function<int64_t(int64_t songTime)> FrameOfSongTime;
    // The note field's drawing: background when no images are shown, overlay
    // texts and pause mark, receptors and arrows.
    std::function<void()> DrawBackground, DrawOverlay, DrawNoteField;
};

void PlayFrame(TPlayScene& scene);
// Starts keysound `slot` (256: the step tick) on the first channel that is not
// playing; dropped when all are busy. `songTime` is its event's time.
void PlayKeysound(TPlayScene& scene, int slot, int64_t songTime);
// Stops every channel and, when it is open, the music (pause, restart).
void StopEverything(TPlayScene& scene);

inline constexpr int StartGateFrameRate = 40;

} // namespace tappo
