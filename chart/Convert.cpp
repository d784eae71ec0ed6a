#include "chart/Convert.h"

#include "base/Errors.h"
#include "chart/ShiftJis.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>
#include <string>

namespace tappo {

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size()) return false;
    size_t hexAt = std::string_view::npos;
    if (text[i] == '$' || text[i] == 'x' || text[i] == 'X')
        hexAt = i + 1;
    else if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        hexAt = i + 2;
    if (hexAt != std::string_view::npos) {
        if (hexAt == text.size()) return false;
        uint64_t v = 0;
        for (size_t j = hexAt; j < text.size(); ++j) {
            if (!IsHexDigit(text[j])) return false;
            v = v * 16 + uint64_t(HexValue(text[j]));
            if (v > 0xFFFFFFFFull) return false; // more than 8 significant digits
        }
        value = int32_t(uint32_t(v));
        return true;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    if (i == text.size()) return false;
    int64_t v = 0;
    for (size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9') return false;
        v = v * 10 + (text[j] - '0');
        if (v > int64_t(INT32_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    value = int32_t(v);
    return true;
}

int32_t StrToInt(std::string_view text) {
    int32_t v = 0;
    if (!TryStrToInt(text, v)) throw Error(FormatText(Tr(text::NotInteger), Cp932ToUtf8(text)));
    return v;
}

bool TryStrToFloat(std::string_view text, char decimalSeparator, double& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    size_t end = text.size();
    while (end > i && text[end - 1] == ' ')
        --end;
    std::string plain; // the number in the C locale's spelling for from_chars
    size_t j = i;
    if (j < end && (text[j] == '+' || text[j] == '-')) {
        if (text[j] == '-') plain += '-';
        ++j;
    }
    int digits = 0;
    while (j < end && text[j] >= '0' && text[j] <= '9')
        plain += text[j++], ++digits;
    if (j < end && text[j] == decimalSeparator) {
        plain += '.';
        ++j;
        while (j < end && text[j] >= '0' && text[j] <= '9')
            plain += text[j++], ++digits;
    }
    if (digits == 0) return false;
    if (j < end && (text[j] == 'e' || text[j] == 'E')) {
        plain += 'e';
        ++j;
        if (j < end && (text[j] == '+' || text[j] == '-')) plain += text[j++];
        int expDigits = 0;
        while (j < end && text[j] >= '0' && text[j] <= '9')
            plain += text[j++], ++expDigits;
        if (expDigits == 0) return false;
    }
    if (j != end) return false;
    // The text is checked above; strtod in the C locale does the rounding.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    errno = 0;
    const double v = strtod_l(plain.c_str(), nullptr, cLocale);
    if (errno == ERANGE && std::fabs(v) > 1.0) return false; // overflow; underflow reads as 0
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

double StrToFloat(std::string_view text, char decimalSeparator) {
    double v = 0;
    if (!TryStrToFloat(text, decimalSeparator, v))
        throw Error(FormatText(Tr(text::NotFloat), Cp932ToUtf8(text)));
    return v;
}

char LocaleDecimalSeparator() {
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", locale_t(0));
    if (loc == locale_t(0)) return '.';
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    char sep = radix && radix[0] && !radix[1] ? radix[0] : '.';
    freelocale(loc);
    return sep;
}

} // namespace tappo
