// Chart text is Shift-JIS (code page 932) bytes; the screen, the terminal and
// file names want UTF-8. Conversion happens only at those edges.
#pragma once

#include <string>
#include <string_view>

namespace tappo {

// Invalid or cut-off bytes become U+FFFD; the rest converts as CP932 does
// (0x5C stays a backslash, NEC and IBM extensions included).
std::string Cp932ToUtf8(std::string_view bytes);

// The first byte of a double-byte character, whose second byte may look like
// ASCII (a "\\" or a letter) and must not be read as one.
inline bool IsShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

} // namespace tappo
