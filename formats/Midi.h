// Standard MIDI files, as far as the player checks them itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tappo {

// The check the music player makes before accepting a file: the header chunk
// and the track chunks it counts, all inside the file.
bool MidiStructureValid(const uint8_t* data, size_t size);

} // namespace tappo
