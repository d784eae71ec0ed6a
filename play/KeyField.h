// The note field of a standard chart in its own key layout: each key its own
// lane (scratch lanes wider), a receptor at the top of each lane, notes as
// bars in the key's colour and long notes as held bars from head to tail,
// scrolling up by beats as the arrows do.
#pragma once

#include "chart/KeyLanes.h"
#include "platform/SpriteSheet.h"
#include "platform/Surface.h"

#include <vector>

namespace tappo {

// Colours of the "KeyNotes" sprite's columns.
enum KeyColour : int {
    KeyWhite = 0,
    KeyBlue = 1,
    KeyScratch = 2,
    KeyYellow = 3,
    KeyGreen = 4,
    KeyRed = 5,
    KeyColourCount = 6
};

// Where a lane lies on the 320-pixel screen, and its colour.
struct KeyLanePlace {
    int X = 0, Width = 0;
    KeyColour Colour = KeyWhite;
};
// The lanes of `layout` from left to right: scratch and keys 1-7 (or 1-5) of
// the first side from x = 8, the second side mirrored against the right edge,
// the nine buttons in the middle; every layout fits within 8-312.
std::vector<KeyLanePlace> KeyLanePlaces(KeyLayout layout);

// The row where notes reach the receptors (the middle of the receptor row).
inline constexpr int KeyHitLine = 40;

// One frame of the key lanes on `back`. `nowBeat` is the beat shown at the
// song time; a note `b` beats later lies (b - nowBeat) * pixelsPerBeat below
// the hit line. `onBeat` lights the receptors. False when `sheet` is not a
// sheet of key sprites (the caller draws the arrows instead).
bool DrawKeyField(Surface& back, const SpriteCell& sheet, const KeyLanes& lanes, double nowBeat,
                  double pixelsPerBeat, bool onBeat);

} // namespace tappo
