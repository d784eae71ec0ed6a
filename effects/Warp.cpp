#include "effects/Warp.h"

#include "media/Surface.h"

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

void TWarp::UpdateWarp() {
#if defined(__SSE2__)
    BeginFrame();
    const int f = WarpFrame, p = f & 1;
    const __m128i turn = _mm_set1_epi8(char(f)), low = _mm_set1_epi16(0xFF);
    alignas(16) uint16_t index[8];
    for (int y = 0; y < Height; y += 2) {
        uint8_t* row = WarpRows[y];
        uint16_t* pixels = mirrorRows_[y];
        const uint8_t* sine = &SineTable[size_t(f + y)];
        // Sixteen bytes from column x + p: the even ones are this frame's
        // eight pixels. The last block reads one byte past the row's end,
        // which is the next (odd) row's first: the tables have 240 rows.
        for (int x = p; x < Width; x += 16) {
            const auto load = [&](const uint8_t* from) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
            };
            const __m128i u = _mm_add_epi8(load(AngleTable[y]), turn);
            const __m128i v = _mm_add_epi8(load(DistanceTable[y]), load(sine));
            const __m128i at = _mm_or_si128(_mm_and_si128(u, low), _mm_slli_epi16(v, 8));
            _mm_store_si128(reinterpret_cast<__m128i*>(index), at);
            for (int k = 0; k < 8; ++k) {
                const uint8_t value = lookup_[index[k]];
                row[x + 2 * k] = value;
                pixels[x + 2 * k] = pixelOf_[value];
            }
        }
        CopyRowDown(y);
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
