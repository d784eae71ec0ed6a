#include "chart/ShiftJis.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace tappo {

std::string ChartTextToUtf8(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : Cp932ToUtf8(bytes);
}

std::string Cp932ToUtf8(std::string_view bytes) {
    bool ascii = true;
    for (unsigned char c : bytes)
        ascii &= c < 0x80;
    if (ascii) return std::string(bytes);

    iconv_t cd = iconv_open("UTF-8", "CP932");
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's failure value
    if (cd == iconv_t(-1)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    std::vector<char> buffer(4096);
    while (inLeft > 0) {
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer.data(), size_t(dst - buffer.data()));
        if (r == size_t(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL: one bad byte becomes a replacement character.
            out += "\xEF\xBF\xBD";
            ++in, --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

bool IsValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

std::string_view CutAtCharacter(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = 0;
    if (IsValidUtf8(text)) {
        end = maxBytes;
        while (end > 0 && (static_cast<unsigned char>(text[end]) >> 6) == 2)
            --end; // continuation byte
    } else {
        for (size_t i = 0; i < text.size();) {
            const size_t n = IsShiftJisLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
            if (i + n > maxBytes) break;
            i += n;
            end = i;
        }
    }
    return text.substr(0, end);
}

} // namespace tappo
