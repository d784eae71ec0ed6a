// Moving play to another point of the song: the clock, the event cursors, the
// background images, the keysounds still sounding there and the music, all as
// if the song had played up to it.
#pragma once

#include "chart/CompiledChart.h"
#include "play/PlayFrame.h"

#include <cstdint>
#include <optional>

namespace tappo {

// The song time measure `measure` starts at (the chart's own measure numbers);
// none for a measure before 0 or past the chart's last measure with objects.
std::optional<int32_t> MeasureStartTime(const ChartData& chart, int measure);
// The time of measure line `line`: the start of measure `line`, or for the
// line after the chart's last measure with objects, that measure's end.
std::optional<int32_t> MeasureLineTime(const ChartData& chart, int line);
// The measure song time `songTime` lies in (0 before the first).
int MeasureAt(const ChartData& chart, int32_t songTime);
// Whether play can start at song time `songTime`: 0 up to the last sound.
bool SongTimeInChart(const ChartData& chart, int32_t songTime);

// Each list's cursor on its last record before `songTime` (0 when there is
// none; the step ticks' only while they sound, as play moves it only then);
// the arrow lanes' cursors go back to their start and the next frame moves
// them on to the first arrow still on the screen.
void PlaceCursors(PlayState& play, const EventLists& events, int32_t songTime, bool stepTicksOn);

// Play at song time `songTime` from `tick` on: every sound stopped, then the
// clock, the cursors, the images of that time (a video from its own start),
// the keysounds that started before it and still sound, each from its own
// sample there, and the music at that point of the piece.
void SeekTo(PlayScene& scene, int32_t songTime, int32_t tick);

// The loop from the line of measure `first` to that of `last` (`last` may be
// the line closing the chart's last measure); none when it would be empty.
std::optional<PlayLoop> LoopBetween(const ChartData& chart, int first, int last);

// Frames a sound starting at song time `songTime` plays before the loop's end
// mark cuts it, as a seek would; WholeSound where no loop ends after that time.
uint32_t FramesBeforeLoopEnd(const PlayState& play, int64_t songTime);
// Play that reached the loop's end mark, its clock at `now` (past the mark),
// goes on from the start mark: song time and events are moved back by the
// passage's length, the start mark falls on the very mix frame of the end
// mark, the keysounds sounding at the start mark resume there and the music
// jumps there within the same mix block. On the last pass play stops at the
// end mark instead.
void JumpToLoopStart(PlayScene& scene, int32_t now, int32_t tick);

} // namespace tappo
