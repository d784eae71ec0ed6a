#include "chart/EventLists.h"

#include "base/AsciiCase.h"
#include "chart/Convert.h"

#include <algorithm>
#include <cstdio>

namespace tappo {

int EventRecord::Slot() const {
    if (WideSlot != 0) return WideSlot;
    return HasId() && IsHexDigit(Id[0]) && IsHexDigit(Id[1])
               ? HexValue(Id[0]) * 16 + HexValue(Id[1])
               : 0;
}

std::string FormatTime(int64_t time) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%7.7lld", static_cast<long long>(time));
    return buffer;
}

std::string EventRecord::Text() const {
    std::string s = FormatTime(Time);
    if (HasId()) s.append(Id, 2);
    return s;
}

void EventLists::SortEventLists() {
    // By time, then by id with letter case ignored (0-9 before A-F). Stable,
    // so records that compare equal keep their file order.
    for (EventList& list : Lists) {
        std::stable_sort(list.begin(), list.end(), [&](const EventRecord& a, const EventRecord& b) {
            if (a.Time != b.Time) return a.Time < b.Time;
            if (AsciiUpper(a.Id[0]) != AsciiUpper(b.Id[0]))
                return AsciiUpper(a.Id[0]) < AsciiUpper(b.Id[0]);
            return AsciiUpper(a.Id[1]) < AsciiUpper(b.Id[1]);
        });
    }
}

std::string EventListName(int index) {
    switch (index) {
    case SoundEventsIndex:
        return "SoundEvents";
    case StepTickEventsIndex:
        return "StepTickEvents";
    case BgaBaseEventsIndex:
        return "BgaBaseEvents";
    case BgaLayerEventsIndex:
        return "BgaLayerEvents";
    default: {
        const int i = index - LaneNotesIndex;
        return "LaneNotes[" + std::to_string(1 + i / 4) + "][" + std::to_string(i % 4) + "]";
    }
    }
}

} // namespace tappo
