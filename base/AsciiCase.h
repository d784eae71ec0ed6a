// ASCII letter case, the only case folding the player does. Chart keys, object
// ids, file extensions and archive names compare this way whatever the user's
// locale; bytes above 0x7F (Shift-JIS text) are never changed.
#pragma once

#include <string>
#include <string_view>

namespace tappo {

inline char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

} // namespace tappo
