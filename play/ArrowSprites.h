// The 64 arrow sprites (4 lanes x 16 animation rows) cut from "arrow.bmp".
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

    // Builds every missing sprite; each one keys out its own top-left pixel.
    void LoadArrowSprites(Display& display, const std::string& programFolder);
    void Free();
    Surface* operator[](int index) const { return sprites_[size_t(index)].get(); }

  private:
    std::array<std::unique_ptr<Surface>, Count> sprites_;
};

} // namespace tappo
