// What a bmson chart's JSON holds, as the reader takes it (BmsonReader.cpp),
// before anything is placed in time (Bmson.cpp).
#pragma once

#include "chart/standard/Bmson.h"
#include "chart/standard/Compiler.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tappo::standard {

// A note, a long note's start or end or a picture change at its pulse. Eight
// bytes, as a chart may hold two million of them and they are sorted by pulse.
struct Placed {
    enum Type : uint8_t { Sound, LongStart, LongEnd, BgaBase, BgaLayer, BgaPoor };
    uint64_t Y : 41 = 0; // up to MaxBmsonPulse
    // Sound channel + 1 (its slot is chosen once every channel is read); a
    // picture's bga_header entry + 1.
    uint64_t Slot : 14 = 0;
    uint64_t X : 5 = 0; // lane 1-16, 0 for the background (and every lane past 16)
    uint64_t What : 3 = Sound;
    uint64_t Continue : 1 = 0;
};
static_assert(sizeof(Placed) == 8);
static_assert(MaxBmsonPulse < (uint64_t(1) << 41) && MaxBmsonSoundChannels < (1 << 14) &&
                  SlotCount <= (1 << 14),
              "a pulse, a channel or a slot would not fit its field");

// A tempo change or a stop; its list and place in it name it in warnings.
struct PulseValue {
    uint64_t Y = 0;
    double Value = 0;
    const char* List = ""; // "bpm_events", "stopNotes", ...
    size_t Index = 0;
};

// A picture change as written: the picture by its bga_header id.
struct PictureEvent {
    Placed At;
    size_t NotesBefore = 0; // notes read before it: its place in reading order
    uint64_t Id = 0;
    const char* List = ""; // "bga.bga_events", ... for warnings
    size_t Index = 0;
};

// A document from this size on has the large buffers its reading fills made
// ready ahead by a helper thread (see PageWarmer).
inline constexpr size_t WarmBmsonFrom = size_t(4) << 20;

struct BmsonDocument {
    HeaderValues Header; // title, subtitle, artist, genre, level, tempo, pictures
    std::string ModeHint;
    std::string PreviewMusic; // the sound the select screen plays as the song's preview
    bool Popn = false;        // a "popn-" mode: lanes 1-9 are nine buttons
    bool Large = false;       // WarmBmsonFrom bytes or more: memory is made ready ahead
    uint64_t Resolution = 0;  // pulses a beat
    std::vector<uint64_t> Lines;
    std::vector<PulseValue> Tempos, Stops;
    std::vector<std::string> SoundNames; // of channel 0, 1, ...
    std::vector<Placed> Notes;           // in reading order
    std::vector<Placed> SortSpace;       // room for the notes sorted by pulse
    std::vector<uint64_t> PictureIds;    // bga_header, in its order
    std::vector<std::string> PictureNames;
    std::vector<PictureEvent> Pictures; // in reading order
    std::vector<std::string> Warnings;  // what was left out or read otherwise, and why
    // The JSON reader's memory, freed by whoever finishes with the document
    // (with the notes read from large files, on a helper thread).
    std::shared_ptr<void> ReaderMemory;
};

// Reads bmson bytes (see CompileBmson); with `headerOnly` only "version" and
// "info". Throws BmsonError.
BmsonDocument ReadBmsonDocument(std::string_view bytes, bool headerOnly, size_t capacity);

} // namespace tappo::standard
