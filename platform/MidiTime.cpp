#include "platform/MidiTime.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace tappo {
namespace {

struct TempoChange {
    int64_t Tick = 0;
    uint32_t MicrosPerQuarter = 500000;
};

uint32_t BigEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

// A variable-length quantity at `pos`, at most four bytes; false past `end`.
bool ReadVarLen(const uint8_t* data, size_t end, size_t& pos, uint32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= end) return false;
        const uint8_t b = data[pos++];
        out = (out << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

// The tempo changes of one track chunk's events, from `pos` to `end`.
void ReadTrackTempos(const uint8_t* data, size_t pos, size_t end,
                     std::vector<TempoChange>& tempos) {
    int64_t tick = 0;
    uint8_t status = 0;
    while (pos < end) {
        uint32_t delta = 0;
        if (!ReadVarLen(data, end, pos, delta) || pos >= end) return;
        tick += delta;
        if (data[pos] & 0x80) status = data[pos++];
        if (status == 0xFF || status == 0xF0 || status == 0xF7) {
            uint8_t type = 0;
            if (status == 0xFF) {
                if (pos >= end) return;
                type = data[pos++];
            }
            uint32_t length = 0;
            if (!ReadVarLen(data, end, pos, length) || length > end - pos) return;
            if (status == 0xFF && type == 0x51 && length == 3)
                tempos.push_back({tick, BigEndian(data + pos, 3)});
            pos += length;
            status = status == 0xFF ? 0 : status; // meta and sysex cancel running status
        } else if (status >= 0x80) {
            pos += (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        } else {
            return; // data without a status
        }
    }
}

} // namespace

int64_t MidiTickAtMs(const uint8_t* data, size_t size, int64_t ms) {
    if (size < 14 || BigEndian(data, 4) != 0x4D546864 || ms <= 0) return 0; // "MThd"
    const size_t headerEnd = 8 + size_t(BigEndian(data + 4, 4));
    const uint32_t division = BigEndian(data + 12, 2);
    if (division == 0 || headerEnd > size) return 0;
    if (division & 0x8000) { // frames a second and ticks a frame
        const int fps = 256 - int(division >> 8);
        return ms * fps * int64_t(division & 0xFF) / 1000;
    }
    std::vector<TempoChange> tempos;
    for (size_t pos = headerEnd; pos + 8 <= size;) {
        const size_t length = BigEndian(data + pos + 4, 4);
        const size_t end = std::min(size, pos + 8 + length);
        if (BigEndian(data + pos, 4) == 0x4D54726B) ReadTrackTempos(data, pos + 8, end, tempos);
        if (length > size - pos - 8) break;
        pos = end;
    }
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.Tick < b.Tick; });
    TempoChange now;
    double elapsedUs = 0;
    const double targetUs = double(ms) * 1000;
    for (const TempoChange& next : tempos) {
        const double spanUs = double(next.Tick - now.Tick) * now.MicrosPerQuarter / division;
        if (elapsedUs + spanUs >= targetUs) break;
        elapsedUs += spanUs;
        now = next;
    }
    if (now.MicrosPerQuarter == 0) return now.Tick;
    return now.Tick + int64_t(std::floor((targetUs - elapsedUs) * division / now.MicrosPerQuarter));
}

} // namespace tappo
