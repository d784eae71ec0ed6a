#include "tools/Midi.h"

#include <algorithm>
#include <cmath>

namespace tappo::tools {
namespace {

void VarLen(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t bytes[5];
    int n = 0;
    bytes[n++] = uint8_t(v & 0x7F);
    while (v >>= 7)
        bytes[n++] = uint8_t(0x80 | (v & 0x7F));
    while (n)
        out.push_back(bytes[--n]);
}

struct Event {
    uint32_t tick;
    int order; // note-offs before note-ons at the same tick
    std::vector<uint8_t> bytes;
};

} // namespace

std::vector<uint8_t> EncodeMidi(const MidiSong& song) {
    std::vector<Event> events;
    const uint32_t tempo = uint32_t(std::lround(60000000.0 / song.Bpm));
    events.push_back(
        {0, 0, {0xFF, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)}});
    for (uint8_t c = 0; c < 16; ++c)
        if (song.Programs[c] || c == 0)
            events.push_back({0, 1, {uint8_t(0xC0 | c), song.Programs[c]}});
    for (const MidiNote& n : song.Notes) {
        events.push_back({n.Tick, 3, {uint8_t(0x90 | n.Channel), n.Key, n.Velocity}});
        events.push_back({n.Tick + n.Length, 2, {uint8_t(0x80 | n.Channel), n.Key, 0}});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<uint8_t> track;
    uint32_t last = 0;
    for (const Event& e : events) {
        VarLen(track, e.tick - last);
        last = e.tick;
        track.insert(track.end(), e.bytes.begin(), e.bytes.end());
    }
    VarLen(track, 0);
    for (uint8_t b : {0xFF, 0x2F, 0x00})
        track.push_back(b); // end of track

    const uint32_t size = uint32_t(track.size());
    const uint8_t header[22] = {'M',
                                'T',
                                'h',
                                'd',
                                0,
                                0,
                                0,
                                6,
                                0,
                                0,
                                0,
                                1,
                                uint8_t(song.TicksPerBeat >> 8),
                                uint8_t(song.TicksPerBeat),
                                'M',
                                'T',
                                'r',
                                'k',
                                uint8_t(size >> 24),
                                uint8_t(size >> 16),
                                uint8_t(size >> 8),
                                uint8_t(size)};
    std::vector<uint8_t> out;
    out.reserve(sizeof header + track.size());
    for (uint8_t b : header)
        out.push_back(b);
    for (uint8_t b : track)
        out.push_back(b);
    return out;
}

} // namespace tappo::tools
