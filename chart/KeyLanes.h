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

// A note as the play screen draws it, on the beats the notes scroll by (the
// beat of its player millisecond, as the arrows have).
struct KeyNote {
    double Beat = 0;    // the note, or the head of a long note
    double EndBeat = 0; // the tail of a long note; Beat for a note
    // The latest EndBeat of this note and every note before it in its lane:
    // it never goes down, so the first note still on the screen is found by a
    // binary search, long notes whose head has scrolled away included.
    double ReachBeat = 0;
    bool Long = false;
};

struct KeyLanes {
    KeyLayout Layout = KeyLayout::Keys7;
    // KeyLaneCount(Layout) lanes, left to right, each in order of its heads.
    std::vector<std::vector<KeyNote>> Lanes;
};

} // namespace tappo
