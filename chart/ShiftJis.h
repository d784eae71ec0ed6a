// Chart text is Shift-JIS (code page 932) bytes; the screen, the terminal and
// file names want UTF-8. Conversion happens only at those edges.
#pragma once

#include <string>
#include <string_view>

namespace tappo {

// Invalid or cut-off bytes become U+FFFD; the rest converts as CP932 does
// (0x5C stays a backslash, NEC and IBM extensions included).
std::string Cp932ToUtf8(std::string_view bytes);

// Chart text for the screen: newer charts are saved as UTF-8 and are shown as
// they are; anything else is Shift-JIS and converted.
std::string ChartTextToUtf8(std::string_view bytes);

// True when `bytes` is well-formed UTF-8 (plain ASCII included).
bool IsValidUtf8(std::string_view bytes);
// True for a byte that starts a double-byte Shift-JIS character.
constexpr bool IsShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
// The longest prefix of `text` of at most `maxBytes` bytes that ends on a
// character boundary: of UTF-8 when the text is UTF-8, else of Shift-JIS.
std::string_view CutAtCharacter(std::string_view text, size_t maxBytes);

} // namespace tappo
