// The display: a 320 x 240 back surface that every frame is drawn into, and a
// presenter that shows it (an SDL window, or nothing when headless).
#pragma once

#include "platform/Surface.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace tappo {

class TextRenderer;

// Shows finished frames. Open may throw (no display, mode refused).
class FramePresenter {
  public:
    virtual ~FramePresenter() = default;
    virtual void Open(bool fullScreen, int width, int height) = 0;
    virtual void Close() = 0;
    virtual void Present(const Surface& back) = 0;
    // Whether the window is the active one (in full screen frames are shown only then).
    virtual bool Active() const { return true; }
    virtual bool HasWindow() const { return false; }
    virtual void SetCursorVisible(bool) {}
    virtual void MovePointer(int, int) {}
};

// No window: presenting only counts, and hands each frame to an observer.
class HeadlessPresenter : public FramePresenter {
  public:
    void Open(bool fullScreen, int, int) override { open_ = true, fullScreen_ = fullScreen; }
    void Close() override { open_ = false; }
    void Present(const Surface& back) override {
        ++presents_;
        if (OnPresent) OnPresent(back);
    }
    bool IsOpen() const { return open_; }
    bool FullScreen() const { return fullScreen_; }
    long Presents() const { return presents_; }
    std::function<void(const Surface&)> OnPresent;

  private:
    bool open_ = false, fullScreen_ = false;
    long presents_ = 0;
};

class Display {
  public:
    Display(FramePresenter& presenter, TextRenderer* fonts);

    struct Resolution {
        int Width = 320, Height = 240;
    } Mode;
    int SurfaceWidth = 320, SurfaceHeight = 240;

    // False when nobody will ever see the picture (offline rendering without
    // screenshots): CanDraw then reports false, so frames skip their drawing.
    bool Visible = true;

    // Full screen (a desktop-sized window) or a window; a change shows at the
    // next Open.
    bool FullScreen = true;

    // Opens the presenter in the mode FullScreen says; the first opening makes
    // the back surface, cleared. Opening it again (the full-screen toggle)
    // closes the presenter first; every picture stays as it is.
    void Open();
    void Close();
    bool IsOpen() const { return open_; }
    bool CanDraw() const;
    // Shows the back surface; a full-screen window that is not the active
    // one is left alone.
    void Present();

    Surface& Back() { return *surface_; }
    const Surface& Back() const { return *surface_; }
    TextRenderer* Fonts() const { return fonts_; }
    FramePresenter& Presenter() { return presenter_; }

  private:
    FramePresenter& presenter_;
    TextRenderer* fonts_;
    bool shownFullScreen_ = false; // the mode of the last Open
    bool open_ = false;
    std::unique_ptr<Surface> surface_;
};

} // namespace tappo
