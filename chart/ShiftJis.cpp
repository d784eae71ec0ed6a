#include "chart/ShiftJis.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace tappo {

std::string Cp932ToUtf8(std::string_view bytes) {
    bool ascii = true;
    for (unsigned char c : bytes) ascii &= c < 0x80;
    if (ascii) return std::string(bytes);

    iconv_t cd = iconv_open("UTF-8", "CP932");
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

} // namespace tappo
