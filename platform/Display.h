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

class TTextRenderer;
class TDXImageList;

enum TDXDrawOption : uint32_t {
    doFullScreen,
    doNoWindowChange,
    doAllowReboot,
    doWaitVBlank,
    doAllowPalette256,
    doSystemMemory,
    doStretch,
    doCenter,
    doFlip,
    do3D,
    doRetainedMode,
    doHardware,
    doSelectDriver,
    doZBuffer
};

using TDXDrawOptions = uint32_t; // bit n = option n
constexpr TDXDrawOptions OptionBit(TDXDrawOption o) {
    return TDXDrawOptions(1) << o;
}
constexpr bool HasOption(TDXDrawOptions set, TDXDrawOption o) {
    return (set & OptionBit(o)) != 0;
}

// What a new display component starts with.
constexpr TDXDrawOptions DefaultDrawOptions = OptionBit(doAllowReboot) | OptionBit(doWaitVBlank) |
                                              OptionBit(doCenter) | OptionBit(doRetainedMode) |
                                              OptionBit(doHardware) | OptionBit(doSelectDriver);
// What the main form gives its display.
constexpr TDXDrawOptions FormDrawOptions =
    OptionBit(doFullScreen) | OptionBit(doNoWindowChange) | OptionBit(doAllowReboot) |
    OptionBit(doCenter) | OptionBit(doFlip) | OptionBit(doHardware) | OptionBit(doSelectDriver);

// The options the display actually works with, derived from the requested set.
TDXDrawOptions EffectiveOptions(TDXDrawOptions options);

// Shows finished frames. Open may throw (no display, mode refused).
class IPresenter {
  public:
    virtual ~IPresenter() = default;
    virtual void Open(bool fullScreen, int width, int height) = 0;
    virtual void Close() = 0;
    virtual void Present(const TDirectDrawSurface& back) = 0;
    // Whether the window is the active one (page flipping presents only then).
    virtual bool Active() const { return true; }
    virtual bool HasWindow() const { return false; }
    virtual void SetCursorVisible(bool) {}
    virtual void MovePointer(int, int) {}
};

// No window: presenting only counts, and hands each frame to an observer.
class THeadlessPresenter : public IPresenter {
  public:
    void Open(bool fullScreen, int, int) override { open_ = true, fullScreen_ = fullScreen; }
    void Close() override { open_ = false; }
    void Present(const TDirectDrawSurface& back) override {
        ++presents_;
        if (OnPresent) OnPresent(back);
    }
    bool IsOpen() const { return open_; }
    bool FullScreen() const { return fullScreen_; }
    long Presents() const { return presents_; }
    std::function<void(const TDirectDrawSurface&)> OnPresent;

  private:
    bool open_ = false, fullScreen_ = false;
    long presents_ = 0;
};

class TDXDraw {
  public:
    TDXDraw(IPresenter& presenter, TTextRenderer* fonts);
    ~TDXDraw();

    struct TDisplay {
        int Width = 320, Height = 240, BitCount = 16;
    } Display;
    int SurfaceWidth = 320, SurfaceHeight = 240;

    std::function<void()> OnInitialize;
    std::function<void()> OnFinalize;
    // The display has a parent form; without one Initialize refuses.
    bool HasParentForm = true;
    // False when nobody will ever see the picture (offline rendering without
    // screenshots): can draw then reports false, so frames skip their drawing.
    bool Visible = true;

    TDXDrawOptions Options() const { return options_; }
    TDXDrawOptions NowOptions() const { return nowOptions_; }
    void SetOptions(TDXDrawOptions options);

    void Initialize();
    void Finalize();
    bool Initialized() const { return initialized_; }
    bool InitializeRequested() const { return initializeRequested_; }
    bool CanDraw() const;
    void Flip();

    TDirectDrawSurface& Surface() { return *surface_; }
    TTextRenderer* TextRenderer() const { return fonts_; }
    IPresenter& Presenter() { return presenter_; }

    // Sprite lists that build their pictures on this display.
    void AttachImageList(TDXImageList* list) { imageLists_.push_back(list); }
    void DetachImageList(TDXImageList* list);

    // Surfaces register themselves so that Finalize can take their pixels away.
    void RegisterSurface(TDirectDrawSurface* s) { surfaces_.insert(s); }
    void UnregisterSurface(TDirectDrawSurface* s) { surfaces_.erase(s); }

  private:
    IPresenter& presenter_;
    TTextRenderer* fonts_;
    TDXDrawOptions options_ = FormDrawOptions;
    TDXDrawOptions nowOptions_ = EffectiveOptions(FormDrawOptions);
    bool initialized_ = false, initializeRequested_ = false, busy_ = false;
    bool calledOnInitialize_ = false;
    std::set<TDirectDrawSurface*> surfaces_; // before surface_: the back surface registers here
    std::vector<TDXImageList*> imageLists_;
    std::unique_ptr<TDirectDrawSurface> surface_;
};

} // namespace tappo
