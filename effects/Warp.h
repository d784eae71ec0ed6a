// The warp background: "select.bmp" wrapped around the screen centre in polar
// form, turning slowly with rings that wobble in a diagonal wave. All
// trigonometry happens once at start-up; a frame only looks values up.
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
    void UpdateWarp();
    void FreeWarp();
};

} // namespace tappo
