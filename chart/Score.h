// A chart as a score: its measures by beats, the notes in the lanes the play
// screen shows them in, the tempo changes and stops by beat, and the header
// lines a score shows at its top. Either reading makes one (chart/Reading's
// ScoreChartFile); the chart image draws it.
#pragma once

#include "chart/KeyLanes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

enum class ScoreNoteKind : uint8_t { Note, LongNote, Mine };

// A note in lane `Lane` (counted from the left of the whole layout) at
// `Beat` beats from the start of measure 0; a long note ends at `EndBeat`.
struct ScoreNote {
    double Beat = 0;
    double EndBeat = 0;
    int Lane = 0;
    ScoreNoteKind Kind = ScoreNoteKind::Note;
};

// A tempo change (Value in beats a minute) or a stop (Value in milliseconds)
// at `Beat`.
struct ScoreMark {
    double Beat = 0;
    double Value = 0;
};

struct ChartScore {
    // Header text in UTF-8.
    std::string Title, Artist, Genre;
    int32_t Level = 0;
    int NoteCount = 0;
    double MinBpm = 0, MaxBpm = 0;
    // Four arrow lanes per player (the exact reading, or --lanes arrows) with
    // `Players` sides, or each key in its own lane of `Layout`.
    bool ArrowLanes = true;
    int Players = 1;
    KeyLayout Layout = KeyLayout::Keys7;
    // Beats of each measure, from measure 0 to the last one holding an object
    // (at least one measure).
    std::vector<double> MeasureBeats;
    std::vector<ScoreNote> Notes;
    std::vector<ScoreMark> Tempos, Stops;

    int LaneCount() const { return ArrowLanes ? 4 * Players : KeyLaneCount(Layout); }
};

} // namespace tappo
