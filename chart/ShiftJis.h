// Chart text is Shift-JIS (code page 932) bytes; the screen, the terminal and
// file names want UTF-8. Conversion happens only at those edges.
#pragma once

#include <string>
#include <string_view>

namespace tappo {

// Invalid or cut-off bytes become U+FFFD; the rest converts as CP932 does
// (0x5C stays a backslash, NEC and IBM extensions included).
std::string Cp932ToUtf8(std::string_view bytes);

} // namespace tappo
