// The twelve event lists a compiled chart plays from. A record is an event
// time in milliseconds and, for sounds and images, the object id as written in
// the chart. Records keep true time order at any time; their text form is the
// seven-digit time followed by the id.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

// A sound's slice that runs to the sound's end.
inline constexpr uint32_t WholeSound = UINT32_MAX;

struct EventRecord {
    int64_t Time = 0;
    char Id[2] = {0, 0}; // {0, 0}: a time-only record
    // The standard reading's slot (1-1295, base 36); 0 in the exact reading,
    // whose ids are read as hexadecimal.
    uint16_t WideSlot = 0;
    // The standard reading's sounds of chart channel 01 (background music):
    // the last to give up their channel when every channel is busy.
    bool Background = false;
    // The part of the sound a bmson note plays, in mix frames (44.1 kHz): it
    // starts SliceStart frames into the sound and lasts SliceFrames. BMS
    // sounds play whole.
    uint32_t SliceStart = 0;
    uint32_t SliceFrames = WholeSound;

    bool HasId() const { return Id[0] != 0; }
    // The id's value as a slot number: WideSlot when set, else two
    // hexadecimal digits.
    int Slot() const;
    // "0004600" or "000460001".
    std::string Text() const;
};

using EventList = std::vector<EventRecord>;

// Index of each list among the twelve (also the index of its cursor).
enum EventListIndex : int {
    SoundEventsIndex = 0,
    StepTickEventsIndex = 1,
    BgaBaseEventsIndex = 2,
    BgaLayerEventsIndex = 3,
    LaneNotesIndex = 4, // LaneNotes[player][lane] is 4 + (player - 1) * 4 + lane
};

struct EventLists {
    std::array<EventList, 12> Lists;

    EventList& SoundEvents() { return Lists[SoundEventsIndex]; }
    const EventList& SoundEvents() const { return Lists[SoundEventsIndex]; }
    EventList& StepTickEvents() { return Lists[StepTickEventsIndex]; }
    EventList& BgaBaseEvents() { return Lists[BgaBaseEventsIndex]; }
    EventList& BgaLayerEvents() { return Lists[BgaLayerEventsIndex]; }
    // player 1 or 2, lane 0 to 3
    EventList& LaneNotes(int player, int lane) {
        return Lists[size_t(LaneNotesIndex + (player - 1) * 4 + lane)];
    }
    const EventList& LaneNotes(int player, int lane) const {
        return Lists[size_t(LaneNotesIndex + (player - 1) * 4 + lane)];
    }
    const EventList& operator[](int i) const { return Lists[size_t(i)]; }

    void SortEventLists();
};

// Name of list i as the inspector prints it ("SoundEvents", "LaneNotes[1][0]" ...).
std::string EventListName(int index);

// Time text: at least seven digits, zero-padded, with a sign when negative.
std::string FormatTime(int64_t time);

} // namespace tappo
