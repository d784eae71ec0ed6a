// The display services every screen draws with: the display and its back
// surface, the sprite list, the frame timer and the warp background. The player
// owns them; the screens only use them.
#pragma once

#include "effects/Warp.h"
#include "platform/Display.h"
#include "platform/SpriteSheet.h"
#include "platform/Timer.h"

namespace tappo {

struct ScreenServices {
    ScreenServices(Display& display, SpriteSheet& images, FrameTimer& timer, WarpEffect& warp)
        : Video(display), Images(images), Timer(timer), Warp(warp) {}

    Display& Video;
    SpriteSheet& Images;
    FrameTimer& Timer;
    WarpEffect& Warp;
};

} // namespace tappo
