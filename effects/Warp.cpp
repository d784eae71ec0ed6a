#include "effects/Warp.h"

#include "platform/Surface.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tappo {

WarpEffect::WarpEffect(const std::string& programFolder) {
    for (int i = 0; i < SineSize; ++i)
        SineTable[size_t(i)] =
            uint8_t(int(std::trunc(std::sin(i * 2.0 * M_PI / 256.0) * 19.0)) + 19);

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
        for (int i = 0; i < 256; ++i)
            WarpImage.Palette[size_t(i)] = uint32_t(i) * 0x010101u;
    }
    WarpImage.SetHeight(Height);
    WarpImage.SetWidth(Width);
    for (int y = 0; y < Height; ++y)
        for (int u = 0; u < 256; ++u)
            lookup_[y * 256 + u] = PictureTable[y][u];
    for (int y = 0; y < Height; ++y)
        WarpRows[y] = WarpImage.ScanLine(y);
    framesDone_ = 0;
    indexStale_ = false;
}

void WarpEffect::BeginFrame() {
    if (!WarpImage.DisplayCopyUsable()) RemakeDisplayCopy();
    ++WarpFrame;
}

// The display copy follows the palette as it is now, made from the index
// picture of the frames so far.
void WarpEffect::RemakeDisplayCopy() {
    SyncIndexPicture();
    WarpImage.MakeDisplayCopy();
    pixelOf_ = PaletteToPixels(WarpImage.Palette);
    for (int v = 0; v < Height; ++v)
        for (int u = 0; u < 256; ++u)
            lookupPixel_[u * 256 + v] = pixelOf_[lookup_[v * 256 + u]];
    for (int y = 0; y < Height; ++y)
        mirrorRows_[y] = WarpImage.MirrorLine(y);
}

// The first frame after the tables are built is also written as indexes: the odd rows
// still hold the loaded picture where it copied nothing. From the second
// frame on, every even row's pixel comes from one of the last two frames and
// each odd row repeats the row above, so those two frames rebuild the rest.
void WarpEffect::EndFrame(int copyFrom, int copyTo) {
    if (framesDone_ == 0) {
        RenewIndexRows(WarpFrame, copyFrom, copyTo);
        framesDone_ = 1;
        return;
    }
    framesDone_ = 2;
    indexStale_ = true;
}

void WarpEffect::SyncIndexPicture() {
    if (!indexStale_) return;
    RenewIndexRows(uint8_t(WarpFrame - 1), 0, 0);
    RenewIndexRows(WarpFrame, 0, 0);
    indexStale_ = false;
}

// Frame `frame`'s pixels (every other column of the even rows) and the odd
// rows below them; between `copyFrom` and `copyTo` the odd rows take the
// other columns of the even rows as well.
void WarpEffect::RenewIndexRows(int frame, int copyFrom, int copyTo) {
    const int p = frame & 1;
    for (int y = 0; y < Height; y += 2) {
        uint8_t* row = WarpRows[y];
        uint8_t* below = WarpRows[y + 1];
        for (int x = copyFrom + ((copyFrom & 1) == p); x < copyTo; x += 2)
            below[x] = row[x];
        const uint8_t* angle = AngleTable[y];
        const uint8_t* distance = DistanceTable[y];
        const uint8_t* sine = &SineTable[size_t(frame + y)];
        for (int x = p; x < Width; x += 2)
            row[x] = below[x] = lookup_[(distance[x] + sine[x]) << 8 | uint8_t(angle[x] + frame)];
    }
}

// Each frame renews every other column (alternating) of every even row; the
// odd rows repeat the row above. Distance plus wobble stays below 240 and
// the angle wraps at 256, so both fit the lookup's index.
void WarpEffect::UpdateWarpPortable() {
    BeginFrame();
    const int f = WarpFrame, p = f & 1;
    for (int y = 0; y < Height; y += 2) {
        uint16_t* pixels = mirrorRows_[y];
        const uint8_t* angle = AngleTable[y];
        const uint8_t* distance = DistanceTable[y];
        const uint8_t* sine = &SineTable[size_t(f + y)];
        for (int x = p; x < Width; x += 2)
            pixels[x] = lookupPixel_[uint8_t(angle[x] + f) << 8 | (distance[x] + sine[x])];
        std::memcpy(mirrorRows_[y + 1], pixels, Width * sizeof(uint16_t));
    }
    EndFrame(0, Width);
}

#if defined(__SSE2__)
namespace {

// Eight looked-up pixels at `at` (angle << 8 | distance) into the even places
// of sixteen pixels from `pixels` on, and the same sixteen into the row below
// (`below` pixels further on), which repeats them; the odd places keep their values.
inline void StoreEven(const uint16_t* table, __m128i at, uint16_t* pixels, size_t below) {
    // The eight lookups go through memory: plain loads are cheaper than
    // extracting each index from the register.
    alignas(16) uint16_t index[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(index), at);
    auto* p = reinterpret_cast<__m128i*>(pixels);
    __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1);
    a = _mm_insert_epi16(a, table[index[0]], 0);
    a = _mm_insert_epi16(a, table[index[1]], 2);
    a = _mm_insert_epi16(a, table[index[2]], 4);
    a = _mm_insert_epi16(a, table[index[3]], 6);
    b = _mm_insert_epi16(b, table[index[4]], 0);
    b = _mm_insert_epi16(b, table[index[5]], 2);
    b = _mm_insert_epi16(b, table[index[6]], 4);
    b = _mm_insert_epi16(b, table[index[7]], 6);
    _mm_storeu_si128(p, a);
    _mm_storeu_si128(p + 1, b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + below), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + below) + 1, b);
}

} // namespace
#endif

void WarpEffect::UpdateWarp() {
#if defined(__SSE2__)
    BeginFrame();
    const int f = WarpFrame, p = f & 1;
    const __m128i turn = _mm_set1_epi8(char(f)), low = _mm_set1_epi16(0xFF);
    // Sixteen places at a time from column p: the even ones are this frame's
    // eight pixels. The odd row below is written along, as a copy.
    const int blocksEnd = p + (Width - p) / 16 * 16;
    for (int y = 0; y < Height; y += 2) {
        const uint8_t* angle = AngleTable[y];
        const uint8_t* distance = DistanceTable[y];
        const uint8_t* sine = &SineTable[size_t(f + y)];
        uint16_t* pixels = mirrorRows_[y];
        const size_t below = size_t(mirrorRows_[y + 1] - pixels);
        int x = p;
        for (; x < blocksEnd; x += 16) {
            const auto load = [&](const uint8_t* from) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
            };
            const __m128i u = _mm_add_epi8(load(angle), turn);
            const __m128i v = _mm_add_epi8(load(distance), load(sine));
            const __m128i at = _mm_or_si128(_mm_and_si128(v, low), _mm_slli_epi16(u, 8));
            StoreEven(lookupPixel_, at, pixels + x, below);
        }
        for (; x < Width; x += 2)
            pixels[x] = pixels[x + below] =
                lookupPixel_[uint8_t(angle[x] + f) << 8 | (distance[x] + sine[x])];
    }
    EndFrame(p, blocksEnd);
#else
    UpdateWarpPortable();
#endif
}

} // namespace tappo
