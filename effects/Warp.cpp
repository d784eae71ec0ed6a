#include "effects/Warp.h"

#include <cmath>
#include <cstring>

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
    for (int y = 0; y < Height; ++y) WarpRows[y] = WarpImage.ScanLine(y);
}

void TWarp::UpdateWarp() {
    ++WarpFrame;
    const int f = WarpFrame, p = f & 1;
    for (int y = 2 * 119; y >= 0; y -= 2) {
        uint8_t* row = WarpRows[y];
        const uint8_t* angle = AngleTable[y];
        const uint8_t* distance = DistanceTable[y];
        const uint8_t* sine = &SineTable[size_t(f + y)];
        for (int x = 2 * 159 + p; x >= 0; x -= 2) {
            const uint8_t u = uint8_t(angle[x] + f);
            const int v = distance[x] + sine[x];
            row[x] = PictureTable[v][u];
        }
        std::memcpy(WarpRows[y + 1], row, Width);
    }
}

void TWarp::FreeWarp() {
    WarpImage.Free();
    for (auto& row : WarpRows) row = nullptr;
}

} // namespace tappo
