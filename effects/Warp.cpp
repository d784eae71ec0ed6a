#include "effects/Warp.h"

#include "platform/Surface.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tappo {

void TWarp::InitWarp(const std::string& programFolder) {
    for (int i = 0; i < SineSize; ++i)
        SineTable[size_t(i)] = uint8_t(int(std::trunc(std::sin(i * 2.0 * M_PI / 256.0) * 19.0)) + 19);

    WarpImage.LoadFromFile(programFolder + "select.bmp");

    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const double dx = x - 160, dy = y - 120;
            DistanceTable[y][x] = uint8_t(std::trunc(std::sqrt(dx * dx + dy * dy)));
            const double angle = (dx == 0 && dy == 0) ? 0.0 : std::atan2(dy, dx);
            AngleTable[y][x] = uint8_t(std::trunc((angle + M_PI) / (2 * M_PI) * 255.0));
            PictureTable[y][x] = uint8_t(WarpImage.PalettePixel(x, y));
        }
    }

    if (WarpImage.BitCount() != 8) {
        // The animation writes one byte per pixel: make the image 8-bit and
        // show the stored low bytes as a grey ramp.
        WarpImage.Free();
        for (int i = 0; i < 256; ++i) WarpImage.Palette[size_t(i)] = uint32_t(i) * 0x010101u;
    }
    WarpImage.SetHeight(Height);
    WarpImage.SetWidth(Width);
    for (int y = 0; y < Height; ++y)
        for (int u = 0; u < 256; ++u) lookup_[y * 256 + u] = PictureTable[y][u];
    for (int y = 0; y < Height; ++y) WarpRows[y] = WarpImage.ScanLine(y);
}

void TWarp::BeginFrame() {
    ++WarpFrame;
    // The display copy follows the palette as it is now.
    if (WarpImage.DisplayCopyUsable()) return;
    WarpImage.MakeDisplayCopy();
    for (int i = 0; i < 256; ++i) pixelOf_[i] = RgbValueToPixel(WarpImage.Palette[size_t(i)]);
    for (int v = 0; v < Height; ++v)
        for (int u = 0; u < 256; ++u) {
            const uint8_t index = lookup_[v * 256 + u];
            lookupPixel_[u * 256 + v] = index | uint32_t(pixelOf_[index]) << 16;
        }
    for (int y = 0; y < Height; ++y) mirrorRows_[y] = WarpImage.MirrorLine(y);
}

void TWarp::CopyRowDown(int y) {
    std::memcpy(WarpRows[y + 1], WarpRows[y], Width);
    std::memcpy(mirrorRows_[y + 1], mirrorRows_[y], Width * sizeof(uint16_t));
}

// Each frame renews every other column (alternating) of every even row; the
// odd rows repeat the row above. Distance plus wobble stays below 240 and
// the angle wraps at 256, so both fit the lookup's index.
void TWarp::UpdateWarpPortable() {
    BeginFrame();
    const int f = WarpFrame, p = f & 1;
    for (int y = 0; y < Height; y += 2) {
        uint8_t* row = WarpRows[y];
        uint16_t* pixels = mirrorRows_[y];
        const uint8_t* angle = AngleTable[y];
        const uint8_t* distance = DistanceTable[y];
        const uint8_t* sine = &SineTable[size_t(f + y)];
        for (int x = p; x < Width; x += 2) {
            const uint8_t index = lookup_[(distance[x] + sine[x]) << 8 | uint8_t(angle[x] + f)];
            row[x] = index;
            pixels[x] = pixelOf_[index];
        }
        CopyRowDown(y);
    }
}

#if defined(__SSE2__)
namespace {

// Eight looked-up entries (index | pixel << 16) into the even places of
// sixteen pixels from `row` and `pixels` on, and the same sixteen into the
// rows below (`rowStride` and `pixelStride` further on), which repeat them;
// the odd places keep their values.
struct TRowPair {
    uint8_t* row;
    uint16_t* pixels;
    size_t rowStride, pixelStride;
};

inline void StoreEven(const uint32_t* entries, __m128i at, const TRowPair& to) {
    // The eight lookups go through memory: plain loads are cheaper than
    // extracting each index from the register.
    alignas(16) uint16_t index[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(index), at);
    const auto entry = [&](int k) { return _mm_cvtsi32_si128(int(entries[index[k]])); };
    const auto four = [&](int k) {
        return _mm_unpacklo_epi64(_mm_unpacklo_epi32(entry(k), entry(k + 1)),
                                  _mm_unpacklo_epi32(entry(k + 2), entry(k + 3)));
    };
    const __m128i a = four(0), b = four(4);
    const __m128i oddPixel = _mm_set1_epi32(int(0xFFFF0000u)), oddByte = _mm_set1_epi16(short(0xFF00));
    const auto put = [](void* where, __m128i keep, __m128i value, size_t below) {
        auto* p = static_cast<__m128i*>(where);
        const __m128i out = _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p), keep), value);
        _mm_storeu_si128(p, out);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(static_cast<char*>(where) + below), out);
    };
    put(to.pixels, oddPixel, _mm_srli_epi32(a, 16), to.pixelStride * 2);
    put(to.pixels + 8, oddPixel, _mm_srli_epi32(b, 16), to.pixelStride * 2);
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    put(to.row, oddByte, _mm_packs_epi32(_mm_and_si128(a, lowByte), _mm_and_si128(b, lowByte)), to.rowStride);
}

} // namespace
#endif

void TWarp::UpdateWarp() {
#if defined(__SSE2__)
    BeginFrame();
    const int f = WarpFrame, p = f & 1;
    const __m128i turn = _mm_set1_epi8(char(f)), low = _mm_set1_epi16(0xFF);
    for (int y = 0; y < Height; y += 2) {
        const uint8_t* angle = AngleTable[y];
        const uint8_t* distance = DistanceTable[y];
        const uint8_t* sine = &SineTable[size_t(f + y)];
        // Sixteen places from column x: the even ones are this frame's eight
        // pixels. The odd row below is written along, as a copy.
        const TRowPair to{WarpRows[y], mirrorRows_[y], size_t(WarpRows[y + 1] - WarpRows[y]),
                          size_t(mirrorRows_[y + 1] - mirrorRows_[y])};
        int x = p;
        for (; x + 16 <= Width; x += 16) {
            const auto load = [&](const uint8_t* from) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
            };
            const __m128i u = _mm_add_epi8(load(angle), turn);
            const __m128i v = _mm_add_epi8(load(distance), load(sine));
            const __m128i at = _mm_or_si128(_mm_and_si128(v, low), _mm_slli_epi16(u, 8));
            StoreEven(lookupPixel_, at, {to.row + x, to.pixels + x, to.rowStride, to.pixelStride});
        }
        for (; x < Width; x += 2) {
            const uint32_t entry = lookupPixel_[uint8_t(angle[x] + f) << 8 | (distance[x] + sine[x])];
            WarpRows[y][x] = WarpRows[y + 1][x] = uint8_t(entry);
            mirrorRows_[y][x] = mirrorRows_[y + 1][x] = uint16_t(entry >> 16);
        }
    }
#else
    UpdateWarpPortable();
#endif
}

void TWarp::FreeWarp() {
    WarpImage.Free();
    for (auto& row : WarpRows) row = nullptr;
}

} // namespace tappo
