#include "formats/Midi.h"

#include <cstring>

namespace tappo {
namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
} // namespace

// A standard MIDI file: the "MThd" chunk (at least 6 bytes: format, track
// count, division), then chunks each lying wholly inside the file, among them
// as many "MTrk" chunks as the header counts. Chunks of other kinds are
// skipped, and bytes after the last counted track are ignored.
bool MidiStructureValid(const uint8_t* data, size_t size) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) return false;
    const uint64_t headerLength = BigEndian32(data + 4);
    if (headerLength < 6 || headerLength > size - 8) return false;
    const unsigned format = unsigned(data[8] << 8 | data[9]);
    const unsigned tracks = unsigned(data[10] << 8 | data[11]);
    if (format > 2 || tracks == 0) return false;
    uint64_t at = 8 + headerLength;
    for (unsigned found = 0; found < tracks;) {
        if (at + 8 > size) return false;
        const uint64_t length = BigEndian32(data + at + 4);
        if (length > size - at - 8) return false;
        if (std::memcmp(data + at, "MTrk", 4) == 0) ++found;
        at += 8 + length;
    }
    return true;
}

} // namespace tappo
