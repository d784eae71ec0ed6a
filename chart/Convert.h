// Number conversion of chart text, as every header and channel field uses it.
#pragma once

#include "base/Translate.h"

#include <cstdint>
#include <string_view>

namespace tappo {

// Integer: leading spaces, then "+"/"-" and decimal digits, or hexadecimal
// after "$", "x", "X", "0x" or "0X" (at most 8 significant digits, taken as a
// 32-bit pattern). Nothing may follow. Throws "'text' は整数ではありません".
int32_t StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, int32_t& value);

// Real: leading spaces, sign, digits with the locale's decimal separator and an
// optional exponent, trailing spaces. Throws "'text' は浮動小数点数ではありません".
double StrToFloat(std::string_view text, char decimalSeparator);
bool TryStrToFloat(std::string_view text, char decimalSeparator, double& value);

// The user's decimal separator ("." unless the locale says otherwise).
char LocaleDecimalSeparator();

inline bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline int HexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

namespace text {
inline constexpr const char* NotInteger = ForCatalogue("'%s' は整数ではありません");
inline constexpr const char* NotFloat = ForCatalogue("'%s' は浮動小数点数ではありません");
inline constexpr const char* DivideByZero = ForCatalogue("0 による浮動小数点数除算");
} // namespace text

} // namespace tappo
