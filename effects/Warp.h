// The warp background: "select.bmp" wrapped around the screen centre in polar
// form, turning slowly with rings that wobble in a diagonal wave. All
// trigonometry happens once at start-up; a frame only looks values up, and
// writes each pixel both as its palette index and in the display's 5-6-5
// format, so that drawing the picture is a plain copy.
#pragma once

#include "formats/Dib.h"

#include <array>
#include <cstdint>
#include <string>

namespace tappo {

class TWarp {
  public:
    static constexpr int Width = 320, Height = 240, SineSize = 851;

    TDIB WarpImage;
    std::array<uint8_t, SineSize> SineTable{};
    uint8_t DistanceTable[Height][Width]{};
    uint8_t AngleTable[Height][Width]{};
    uint8_t PictureTable[Height][Width]{};
    uint8_t* WarpRows[Height]{};
    uint8_t WarpFrame = 0;

    // Builds the tables from `programFolder` + "select.bmp"; the loader's
    // error goes to the caller.
    void InitWarp(const std::string& programFolder);
    // The next frame: SSE2 on x86-64, else the portable loop. Both paths give
    // the same pixels; the portable one is public for comparison.
    void UpdateWarp();
    void UpdateWarpPortable();
    void FreeWarp();

  private:
    // The picture's rows 0-239 and columns 0-255 (all a lookup can reach),
    // 256 to a row so that a lookup's index is distance << 8 | angle.
    uint8_t lookup_[Height * 256]{};
    // The same turned round, angle << 8 | distance, because neighbouring
    // pixels differ more in distance than in angle; each entry holds the
    // index and its 5-6-5 pixel: index | pixel << 16.
    uint32_t lookupPixel_[256 * 256]{};
    uint16_t pixelOf_[256]{}; // palette index to 5-6-5
    uint16_t* mirrorRows_[Height]{};

    void BeginFrame();
    void CopyRowDown(int y);
};

} // namespace tappo
