// The PNG target's mutator and feedback. libpng refuses a chunk whose checksum
// does not match before it reads a byte of it, so almost every plain mutation
// ends at the first checksum: after the usual mutation every whole chunk gets
// its checksum recomputed, and the decoder sees the changed fields themselves.
// libpng is not instrumented, so how far it got shows only in its error text:
// each distinct text (with an unknown chunk's name left out) counts as a
// feature of its own, and an input that fails in a new place is kept.
#include "tests/fuzz/Feeders.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

uint32_t Crc32(const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t Big32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Rewrites the checksum of every chunk that ends inside the bytes.
void FixChunkChecksums(uint8_t* data, size_t size) {
    for (size_t p = 8; p + 12 <= size;) {
        const uint64_t length = Big32(data + p);
        if (length > size - p - 12) break;
        const uint32_t crc = Crc32(data + p + 4, size_t(length) + 4);
        uint8_t* out = data + p + 8 + length;
        out[0] = uint8_t(crc >> 24), out[1] = uint8_t(crc >> 16);
        out[2] = uint8_t(crc >> 8), out[3] = uint8_t(crc);
        p += size_t(length) + 12;
    }
}

// One counter per error text (hashed), read by libFuzzer as extra coverage.
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t errorCounters[1024];

bool KnownChunkName(std::string_view name) {
    static constexpr std::string_view known[] = {
        "IHDR", "PLTE", "IDAT", "IEND", "tRNS", "cHRM", "gAMA", "iCCP", "sBIT", "sRGB",
        "tEXt", "zTXt", "iTXt", "bKGD", "hIST", "pHYs", "sPLT", "tIME", "oFFs", "pCAL",
        "sCAL", "eXIf", "acTL", "fcTL", "fdAT", "sTER", "dSIG", "cICP", "mDCV", "cLLI"};
    for (const std::string_view k : known)
        if (k == name) return true;
    return false;
}

void CountError(const std::string& text) {
    std::string_view message = text;
    // "PNG エラー: XXXX: ..." names the chunk; any name outside libpng's list
    // is one case, not a new place each.
    const size_t colon = message.find(": ");
    if (colon != std::string_view::npos) message.remove_prefix(colon + 2);
    if (message.size() > 6 && message.substr(4, 2) == ": " && !KnownChunkName(message.substr(0, 4)))
        message.remove_prefix(4);
    uint32_t h = 2166136261u;
    for (const char c : message)
        h = (h ^ uint8_t(c)) * 16777619u;
    errorCounters[h % sizeof errorCounters] = 1;
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    FixChunkChecksums(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tappo::fuzz::FeedPng(data, size);
    if (!tappo::fuzz::LastReaderError().empty()) CountError(tappo::fuzz::LastReaderError());
    return 0;
}
