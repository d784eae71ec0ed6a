// The play screen's clock and event playback: the song clock, keysounds on the
// first free channel at their times, step ticks, background image changes and
// the end of the song. The chart plays by itself; nothing is judged.
#pragma once

#include "audio/LiveFeed.h"
#include "audio/Mixer.h"
#include "chart/CompiledChart.h"
#include "files/ProblemLog.h"
#include "media/ChartSession.h"
#include "media/Media.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/Music.h"
#include "platform/Timer.h"
#include "play/GameFlow.h"
#include "play/NoteField.h"
#include "play/PlayState.h"
#include "screen/ScreenServices.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tappo {

// What a play frame reads and writes; the player owns all of it. The screen
// is read from `Flow`; what changes it is reported to `Report`, which the
// player's screen flow follows at once.
struct PlayScene {
    const GameFlow& Flow;
    PlayState& Play;
    const PlayToggles& Toggles;
    // The chart loaded: its values, events, keysounds, pictures and videos.
    ChartSession& Session;
    Mixer& Sound;
    MusicPlayer& Music;
    Controller& Input;
    const ScreenServices& Services;
    const Rect& FullScreenRect; // the background images' destination
    TickSource& Clock;
    // Draws the background when no images are shown, the overlay, receptors and arrows.
    NoteFieldPainter& NoteField;
    std::function<void(ScreenOutcome)> Report;
    // Set when the mix runs in step with the clock from this tick (headless
    // runs and offline renders): keysounds and music then start at the exact
    // mix frame of their song time instead of with the next mixed block.
    std::optional<uint32_t> MixClockStart;
    // Where the videos' problems are reported.
    ProblemLog& Problems;
    // The sound device's feed, whose sound clock live play follows; null
    // without a device (headless runs, renders).
    const LiveFeed* LiveSound;
};

// Frame of the mix at tick `tick` of a clock the mix follows from `tick0`.
int64_t MixFrameOfTick(uint32_t tick, uint32_t tick0);
// Mix frames from song time 0 to `songTime` ms, rounded down (toward the
// earlier frame, also for times before the start), so that every sound of a
// render lands on the same sample whatever the frame length.
int64_t MixFramesOfSongTime(int64_t songTime);

// Where a sound of song time `songTime` starts in the mix: on the clock the
// mix follows (headless), on the sound clock (live), or -1: with the next block.
int64_t FrameOfSongTime(const PlayScene& scene, int64_t songTime);

void PlayFrame(PlayScene& scene);
// Sets the song clock to `songTime` at `tick`: while paused it stands there,
// playing it runs on from there (on the sound clock in live play, on the
// exact mix frame of `tick` where the mix follows the clock). The frame's
// window starts there.
void SetSongTime(PlayScene& scene, int32_t songTime, int32_t tick);

// The play screen: plays the loaded chart frame by frame, pauses and
// restarts it. It uses what PlayScene names.
class PlayScreen {
  public:
    explicit PlayScreen(PlayScene scene) : scene_(std::move(scene)) {}

    void Frame() { PlayFrame(scene_); }
    // F4: pauses play with every sound stopped, or resumes it where it stood.
    void TogglePause();
    // F5: plays the chart again from its start, also from the pause.
    void Restart();
    // Play `measures` measures on (back when negative) from the start of the
    // measure it is in, at most back to measure 0; false, with nothing
    // changed, past the chart's last measure or before the song runs.
    bool SeekMeasures(int measures);
    // I and O: the loop's start or end mark on the line of the measure
    // playing. With both marks set they are put in order; play already past
    // the end mark goes to the start mark at once. False, with nothing
    // changed, for a loop that would be empty.
    bool MarkLoop(bool start);
    // Backspace: no loop. Sounds playing, cut short at its end mark, play on whole.
    void ClearLoop();
    // The chart plays or stands paused, its clock started.
    bool Running() const;

  private:
    PlayScene scene_;
};
// Starts keysound `slot` (256: the step tick) on the first channel that is not
// playing; dropped when all are busy. `songTime` is its event's time. With
// the standard reading's mixing the mixer picks the channel (Mixer::StartVoice);
// `background` marks a chart channel-01 sound; a bmson sound plays its slice
// (sliceFrames frames from sliceStart, in the standard reading's mixing).
void PlayKeysound(PlayScene& scene, int slot, int64_t songTime, bool background = false,
                  uint32_t sliceStart = 0, uint32_t sliceFrames = WholeSound);
// Stops every channel and, when it is open, the music (pause, restart).
void StopEverything(PlayScene& scene);

inline constexpr int StartGateFrameRate = 40;

} // namespace tappo
