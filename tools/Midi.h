// A small Standard MIDI File writer (format 0) for the demo songs and tests.
#pragma once

#include <cstdint>
#include <vector>

namespace tappo::tools {

struct MidiNote {
    uint32_t Tick = 0;
    uint32_t Length = 0;
    uint8_t Channel = 0;
    uint8_t Key = 60;
    uint8_t Velocity = 100;
};

struct MidiSong {
    int TicksPerBeat = 480;
    double Bpm = 120;
    uint8_t Programs[16] = {}; // General MIDI program per channel
    std::vector<MidiNote> Notes;
};

std::vector<uint8_t> EncodeMidi(const MidiSong& song);

} // namespace tappo::tools
