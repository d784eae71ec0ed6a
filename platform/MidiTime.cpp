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

// A channel message of a track: its tick, status byte and two data bytes.
struct ChannelEvent {
    int64_t Tick = 0;
    uint8_t Status = 0, Data1 = 0, Data2 = 0;
};

// The note and controller messages of one track chunk, up to tick `last`.
void ReadTrackNotes(const uint8_t* data, size_t pos, size_t end, int64_t last,
                    std::vector<ChannelEvent>& events) {
    int64_t tick = 0;
    uint8_t status = 0;
    while (pos < end) {
        uint32_t delta = 0;
        if (!ReadVarLen(data, end, pos, delta) || pos >= end) return;
        tick += delta;
        if (tick > last) return;
        if (data[pos] & 0x80) status = data[pos++];
        if (status == 0xFF || status == 0xF0 || status == 0xF7) {
            if (status == 0xFF && ++pos > end) return;
            uint32_t length = 0;
            if (!ReadVarLen(data, end, pos, length) || length > end - pos) return;
            pos += length;
            status = 0;
            continue;
        }
        if (status < 0x80) return; // data without a status
        const size_t bytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        if (bytes > end - pos) return;
        const uint8_t type = status & 0xF0;
        if (type == 0x80 || type == 0x90 || type == 0xB0)
            events.push_back({tick, status, data[pos], data[pos + 1]});
        pos += bytes;
    }
}

// Each track chunk's events in `read`, from the header's end; false when the
// file is not MIDI.
template <class F> bool ForEachTrack(const uint8_t* data, size_t size, F read) {
    if (size < 14 || BigEndian(data, 4) != 0x4D546864) return false; // "MThd"
    const size_t headerEnd = 8 + size_t(BigEndian(data + 4, 4));
    if (headerEnd > size) return false;
    for (size_t pos = headerEnd; pos + 8 <= size;) {
        const size_t length = BigEndian(data + pos + 4, 4);
        const size_t end = std::min(size, pos + 8 + length);
        if (BigEndian(data + pos, 4) == 0x4D54726B) read(pos + 8, end); // "MTrk"
        if (length > size - pos - 8) break;
        pos = end;
    }
    return true;
}

} // namespace

std::vector<HeldMidiNote> MidiNotesHeldAt(const uint8_t* data, size_t size, int64_t tick) {
    std::vector<ChannelEvent> events;
    ForEachTrack(data, size,
                 [&](size_t from, size_t end) { ReadTrackNotes(data, from, end, tick, events); });
    // Tracks are played one after the other at each tick, as the player does.
    std::stable_sort(events.begin(), events.end(),
                     [](const ChannelEvent& a, const ChannelEvent& b) { return a.Tick < b.Tick; });
    std::vector<HeldMidiNote> held;
    bool pedal[16] = {};
    for (const ChannelEvent& e : events) {
        const uint8_t channel = e.Status & 0x0F, type = e.Status & 0xF0;
        auto sameKey = [&](const HeldMidiNote& n) {
            return n.Channel == channel && n.Key == e.Data1 && !n.Sustained;
        };
        auto onChannel = [&](const HeldMidiNote& n) { return n.Channel == channel; };
        if (type == 0x90 && e.Data2 > 0) {
            held.push_back({channel, e.Data1, e.Data2, false});
        } else if (type == 0x80 || type == 0x90) {
            for (HeldMidiNote& n : held)
                if (sameKey(n)) n.Sustained = true; // released: gone unless the pedal holds it
            if (!pedal[channel])
                std::erase_if(held, [&](const HeldMidiNote& n) {
                    return n.Channel == channel && n.Key == e.Data1 && n.Sustained;
                });
        } else if (type == 0xB0 && e.Data1 == 64) {
            pedal[channel] = e.Data2 >= 64;
            if (!pedal[channel])
                std::erase_if(held,
                              [&](const HeldMidiNote& n) { return onChannel(n) && n.Sustained; });
        } else if (type == 0xB0 && (e.Data1 == 120 || e.Data1 == 123)) {
            std::erase_if(held, onChannel);
        }
    }
    return held;
}

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
