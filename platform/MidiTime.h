// Where a point of a standard MIDI file's playing time lies in its ticks: the
// music follows the song clock after a seek.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tappo {

// The tick of the file that plays `ms` milliseconds after its start, from its
// division and the tempo changes of every track (500000 us a quarter until the
// first). A file that does not read as MIDI gives 0; reading stops at the end
// of each track chunk and of the file.
int64_t MidiTickAtMs(const uint8_t* data, size_t size, int64_t ms);

} // namespace tappo
