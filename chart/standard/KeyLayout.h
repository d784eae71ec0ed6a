// The key layout of a standard chart, and its notes lane by lane in that
// layout: what the play screen draws when it shows each key in its own lane.
#pragma once

#include "chart/KeyLanes.h"
#include "chart/standard/Compiler.h"

#include <memory>
#include <string_view>

namespace tappo::standard {

// The layout a chart is written for, from the keys its notes and long notes
// use (channels 11-29 and 51-69; invisible notes and mines do not count), its
// "#PLAYER" and its file name: a ".pms" file (or a bmson chart for pop'n) has
// nine buttons; otherwise a
// chart with notes for the second player, or "#PLAYER" 2 or more, has two
// sides, and a chart using keys 6 and 7 (channels x8, x9) seven keys a side.
KeyLayout KeyLayoutOf(const Chart& chart, std::string_view path);

// The lane, counted from the left, of `key` (1-9, as in the channel) of
// `player` (1 or 2) in `layout`; -1 where the layout has no lane for it.
// Key 6 is the scratch, on the outer side of each side (left of player 1's
// keys, right of player 2's); key 7 (the pedal) shares the scratch lane; keys
// 8 and 9 are the sixth and seventh keys. The nine buttons are keys 1-5 of
// player 1 and 2-5 of player 2, or, for charts written with one player's
// channels, keys 1-5, 8, 9, 6, 7 of player 1.
int KeyLaneOf(KeyLayout layout, int player, int key);

// Every note and long note of the chart in the lanes of `layout`, each at the
// beat of its player time. A long note without an end is a note; mines and
// invisible notes are not drawn.
std::shared_ptr<const KeyLanes> BuildKeyLanes(const Chart& chart, KeyLayout layout);

} // namespace tappo::standard
