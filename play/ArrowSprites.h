// The 64 arrow sprites (4 lanes x 16 animation rows) cut from "arrow.bmp".
// A sheet is made once the display is open and replaced by an empty one
// before the player goes.
#pragma once

#include "platform/Surface.h"

#include <array>
#include <memory>
#include <string>

namespace tappo {

class Display;

class ArrowSheet {
  public:
    static constexpr int Count = 64, Size = 32;

    // No sprites: nothing is drawn from it.
    ArrowSheet() = default;
    // Cuts every sprite from `programFolder` + "arrow.bmp"; each one keys out
    // its own top-left pixel. The loader's error goes to the caller.
    ArrowSheet(Display& display, const std::string& programFolder);
    Surface* operator[](int index) const { return sprites_[size_t(index)].get(); }

  private:
    std::array<std::unique_ptr<Surface>, Count> sprites_;
};

} // namespace tappo
