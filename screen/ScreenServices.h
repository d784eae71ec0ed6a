// What every screen draws with: the display and its back surface, the sprite
// list, the frame timer and the warp background, and the user's toggles of
// what is shown. The player owns them; the screens (select/, play/) only use
// them. The warp is made at start-up, once the program folder is known, and
// is there whenever a screen draws.
#pragma once

#include "effects/Warp.h"
#include "platform/Display.h"
#include "platform/SpriteSheet.h"
#include "platform/Timer.h"

#include <memory>

namespace tappo {

struct ScreenServices {
    ScreenServices(Display& display, SpriteSheet& images, FrameTimer& timer,
                   const std::unique_ptr<WarpEffect>& warp)
        : Video(display), Images(images), Timer(timer), Warp(warp) {}

    Display& Video;
    SpriteSheet& Images;
    FrameTimer& Timer;
    const std::unique_ptr<WarpEffect>& Warp;
};

// The user's toggles: F1 the frame rate, F2 the chart's pictures, F6 the step
// tick, F7 the warp in play.
struct PlayToggles {
    bool ShowFps = false;
    bool ShowBga = true;
    bool StepTickOn = false;
    bool WarpInPlay = false;
    // The arrows' distances from the receptors are multiplied by this (0.5-4).
    double ScrollFactor = 1.0;
};

} // namespace tappo
