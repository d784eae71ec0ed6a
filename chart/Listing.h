// Text pieces shared by the chart listings of both readings: numbers written
// the same way in each, and the header lines every listing opens with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tappo {

// "%.15g": the shortest exact-enough form of a tempo or beat.
std::string ListingNumber(double v);
// "%.3f": milliseconds.
std::string ListingMillis(double v);

// "<name> <value>\n".
void AppendListingLine(std::string& out, std::string_view name, std::string_view value);

// The chart's own description, as the chart file wrote it (Shift-JIS or UTF-8).
struct ListingHeader {
    std::string_view Title, Artist, Genre;
    int32_t PlayLevel = 0;
    double Bpm = 0;
    int32_t PlayerMode = 0;
    std::string_view MidiFileName;
};

// Title, Artist, Genre, PlayLevel, Bpm, PlayerMode and MidiFileName, their
// texts in UTF-8.
void AppendListingHeader(const ListingHeader& header, std::string& out);

} // namespace tappo
