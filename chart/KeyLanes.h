// A standard chart's notes key by key: the key layout the chart is written
// for and, for each of its lanes, the notes and long notes the play screen
// draws there. The exact reading has none (its charts play on the four arrow
// lanes per player).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tappo {

// The key layouts charts are written for: five or seven keys and a scratch on
// one side, ten or fourteen keys on two sides, or nine buttons (".pms").
enum class KeyLayout : uint8_t { Keys5, Keys7, Keys10, Keys14, Buttons9 };

// "5K", "7K", "10K", "14K" or "9B": the layout's short name.
std::string_view KeyLayoutName(KeyLayout layout);
// How many lanes the layout has (scratch lanes included): 6, 8, 12, 16 or 9.
int KeyLaneCount(KeyLayout layout);

// A long note as the play screen draws it. Notes lie on the beats the notes
// scroll by (the beat of their player millisecond, as the arrows have).
struct KeyLongNote {
    double Beat = 0;    // head
    double EndBeat = 0; // tail
    // The latest EndBeat of this long note and every one before it in its
    // lane: it never goes down, so the first long note still on the screen is
    // found by a binary search, those whose head has scrolled away included.
    double ReachBeat = 0;
};

// One lane's notes (their beats) and long notes, each in time order.
struct KeyLane {
    std::vector<double> Notes;
    std::vector<KeyLongNote> LongNotes;
};

struct KeyLanes {
    KeyLayout Layout = KeyLayout::Keys7;
    std::vector<KeyLane> Lanes; // KeyLaneCount(Layout) lanes, left to right
};

} // namespace tappo
