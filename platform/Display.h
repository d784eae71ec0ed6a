// The display: a 320 x 240 back surface that every frame is drawn into, and a
// presenter that shows it (an SDL window, or nothing when headless).
#pragma once

#include "platform/Surface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace tappo {

class TextRenderer;
class SpriteSheet;

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
    ~Display();

    struct Resolution {
        int Width = 320, Height = 240;
    } Mode;
    int SurfaceWidth = 320, SurfaceHeight = 240;

    std::function<void()> OnInitialize;
    std::function<void()> OnFinalize;
    // False when nobody will ever see the picture (offline rendering without
    // screenshots): can draw then reports false, so frames skip their drawing.
    bool Visible = true;

    // Full screen (a desktop-sized window) or a window; a change shows at the
    // next Initialize.
    bool FullScreen = true;

    void Initialize();
    void Finalize();
    bool Initialized() const { return initialized_; }
    bool InitializeRequested() const { return initializeRequested_; }
    bool CanDraw() const;
    void Flip();

    Surface& Back() { return *surface_; }
    const Surface& Back() const { return *surface_; }
    TextRenderer* Fonts() const { return fonts_; }
    FramePresenter& Presenter() { return presenter_; }

    // Sprite lists that build their pictures on this display.
    void AttachImageList(SpriteSheet* list) { imageLists_.push_back(list); }
    void DetachImageList(SpriteSheet* list);

    // Surfaces register themselves so that Finalize can take their pixels away.
    void RegisterSurface(Surface* s) { surfaces_.insert(s); }
    void UnregisterSurface(Surface* s) { surfaces_.erase(s); }

  private:
    FramePresenter& presenter_;
    TextRenderer* fonts_;
    bool shownFullScreen_ = false; // the mode of the last Initialize
    bool initialized_ = false, initializeRequested_ = false, busy_ = false;
    bool calledOnInitialize_ = false;
    std::set<Surface*> surfaces_; // before surface_: the back surface registers here
    std::vector<SpriteSheet*> imageLists_;
    std::unique_ptr<Surface> surface_;
};

} // namespace tappo
