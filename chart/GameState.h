// The chart header values that the loader, the select screen and the play
// screen share.
#pragma once

#include <cstdint>
#include <string>

namespace tappo {

struct PlaySettings {
    std::string Genre;
    int32_t PlayLevel = 0;
    int32_t BgaBaseImage = 0;  // 0-255
    int32_t BgaLayerImage = 0; // 0-255
    double ScrollSpeed = 0;    // pixels per millisecond
    double Bpm = 0;
    int32_t Lane1X = 0;
    int32_t Lane2X = 0;
};

// Text of the chart header, kept as the chart's own (CP932) bytes.
struct ChartHeader {
    std::string Title, Artist, MidiFileName;
    int32_t PlayerMode = 0;
    // What the standard reading also shows on the select screen, to tell the
    // charts of one song apart; the exact reading leaves them empty.
    std::string Subtitle;   // the chart's own bytes
    std::string Difficulty; // "BEGINNER" ... "INSANE"
    std::string KeyLayout;  // "7K", "14K", "9B" ...
    int32_t NoteCount = -1; // -1: not counted
};

} // namespace tappo
