// Where a point of a standard MIDI file's playing time lies in its ticks, and
// the notes that sound there: the music follows the song clock after a seek.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tappo {

// The tick of the file that plays `ms` milliseconds after its start, from its
// division and the tempo changes of every track (500000 us a quarter until the
// first). A file that does not read as MIDI gives 0; reading stops at the end
// of each track chunk and of the file.
int64_t MidiTickAtMs(const uint8_t* data, size_t size, int64_t ms);

// A note sounding at a tick of the file: started at or before it and not yet
// released, or released while the sustain pedal holds it (`Sustained`).
struct HeldMidiNote {
    uint8_t Channel = 0, Key = 0, Velocity = 0;
    bool Sustained = false;
    bool operator==(const HeldMidiNote&) const = default;
};

// The notes of every track sounding at tick `tick` (a note that starts on it
// included, one that ends on it not), in the order they started. A file that
// does not read as MIDI has none; reading stops where a track does not read.
std::vector<HeldMidiNote> MidiNotesHeldAt(const uint8_t* data, size_t size, int64_t tick);

} // namespace tappo
