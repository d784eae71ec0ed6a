// Song clock and event cursors.
#pragma once

#include "audio/SongClock.h"

#include <array>
#include <cstdint>
#include <optional>

namespace tappo {

// The passage played over and over: its marks on measure lines (the chart's
// own measure numbers) and their song times. Play that reaches the end mark
// goes on from the start mark, within the same mix block.
struct PlayLoop {
    std::optional<int> StartMeasure, EndMeasure;
    int32_t StartTime = 0, EndTime = 0; // song times of the marks, once both are set
    // Arrivals at the end mark; play ends at arrival `LastPass` (0: it loops on).
    int Passes = 0;
    int LastPass = 0;
    // The mix frame play ended at on its last pass; -1 until then.
    int64_t FinalFrame = -1;
    // Sounds started before the loop was set may run past its end: the next
    // joint stops every channel before it.
    bool Unbounded = false;
    bool Runs() const { return StartMeasure && EndMeasure && (LastPass == 0 || Passes < LastPass); }
};

struct PlayState {
    int32_t SongStartTick = 0; // tick of song time 0; 0: the clock has not started
    int32_t SongTime = 0;
    int32_t PrevSongTime = 0;
    bool SongEnded = false;
    int32_t PauseTick = 0;
    int32_t LateTime = 0;
    std::array<int32_t, 12> EventCursors{};
    bool MidiLoaded = false;
    // Live play on the sound clock: the mix frame of song time 0, the steered
    // song clock, and the start tick it last set (a start tick changed by
    // resume or restart sets the sound clock anew).
    bool OnSoundClock = false;
    int64_t SongStartFrame = 0;
    SongClock LiveClock;
    int32_t LiveStartTick = 0;
    // Live through the playback rate's stage: how far ahead of the picture
    // keysounds are found (the stage's lag in song ms; 0 without it).
    int32_t SoundLookaheadMs = 0;
    // Where the song starts once its clock runs (a seek at the start); 0: the top.
    int32_t StartAt = 0;
    // The mix frames the last seek moved the song's frames by, so that the
    // time it went to falls on the exact mix frame of its tick where the mix
    // follows the clock (a render from a start point is the tail of the
    // whole render).
    int64_t SeekFrameShift = 0;
    // The background images the song opened with, for a seek back before their first change.
    int32_t OpeningBaseImage = 0;
    int32_t OpeningLayerImage = 0;
    PlayLoop Loop;
};

} // namespace tappo
