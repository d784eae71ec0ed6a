#include "chart/Listing.h"

#include "chart/ShiftJis.h"

#include <charconv>

namespace tappo {

// std::to_chars writes as printf does in the "C" locale, without its cost on
// listings of millions of objects.
std::string ListingNumber(double v) {
    char buffer[64];
    return std::string(
        buffer,
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15).ptr);
}

std::string ListingMillis(double v) {
    char buffer[400]; // room for any double
    return std::string(
        buffer, std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3).ptr);
}

void AppendListingLine(std::string& out, std::string_view name, std::string_view value) {
    out += name;
    out += ' ';
    out += value;
    out += '\n';
}

void AppendListingHeader(const ListingHeader& header, std::string& out) {
    AppendListingLine(out, "Title", ChartTextToUtf8(header.Title));
    AppendListingLine(out, "Artist", ChartTextToUtf8(header.Artist));
    AppendListingLine(out, "Genre", ChartTextToUtf8(header.Genre));
    AppendListingLine(out, "PlayLevel", std::to_string(header.PlayLevel));
    AppendListingLine(out, "Bpm", ListingNumber(header.Bpm));
    AppendListingLine(out, "PlayerMode", std::to_string(header.PlayerMode));
    AppendListingLine(out, "MidiFileName", ChartTextToUtf8(header.MidiFileName));
}

} // namespace tappo
