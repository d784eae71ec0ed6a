// The SDL desktop, on SDL's dummy video driver: what the window is asked to show.
#include "platform/Platform.h"

#include <SDL.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

using namespace tappo;

TEST(SdlPlatform, AnExposedWindowShowsTheLastPictureAgain) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::unique_ptr<SdlPlatform> sdl;
    try {
        sdl = std::make_unique<SdlPlatform>(1);
        sdl->Open(false, 320, 240);
    } catch (const std::exception& e) {
        GTEST_SKIP() << "no SDL video: " << e.what();
    }
    Surface back;
    back.SetSize(320, 240);
    back.Fill(0x1234);
    sdl->Present(back);
    EXPECT_EQ(sdl->PresentedCount(), 1);
    EventSink sink;
    sdl->PumpEvents(sink);
    const long before = sdl->PresentedCount();

    // Frames are suspended (no Present); the window is uncovered again.
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_EXPOSED;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    sdl->PumpEvents(sink);
    EXPECT_EQ(sdl->PresentedCount(), before + 1) << "the last picture is shown again";
    // Other window events show nothing.
    e.window.event = SDL_WINDOWEVENT_MOVED;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    sdl->PumpEvents(sink);
    EXPECT_EQ(sdl->PresentedCount(), before + 1);
    unsetenv("SDL_VIDEODRIVER");
}
