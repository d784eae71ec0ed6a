// The display services every screen draws with: the display and its back
// surface, the sprite list, the frame timer and the warp background. The form
// owns them; the screens only use them.
#pragma once

#include "effects/Warp.h"
#include "platform/Display.h"
#include "platform/ImageList.h"
#include "platform/Timer.h"

namespace tappo {

struct TScreenServices {
    TScreenServices(TDXDraw& display, TDXImageList& images, TDXTimer& timer, TWarp& warp)
        : Display(display), Images(images), Timer(timer), Warp(warp) {}

    TDXDraw& Display;
    TDXImageList& Images;
    TDXTimer& Timer;
    TWarp& Warp;
};

} // namespace tappo
