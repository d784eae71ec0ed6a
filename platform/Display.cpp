#include "platform/Display.h"

#include "base/Errors.h"
#include "platform/SpriteSheet.h"

#include <algorithm>

namespace tappo {

DisplayOptions EffectiveOptions(DisplayOptions o) {
    if (!HasOption(o, doFullScreen))
        o &= ~(OptionBit(doNoWindowChange) | OptionBit(doAllowReboot) |
               OptionBit(doAllowPalette256) | OptionBit(doFlip));
    if (!HasOption(o, do3D))
        o &= ~(OptionBit(doRetainedMode) | OptionBit(doHardware) | OptionBit(doSelectDriver) |
               OptionBit(doZBuffer));
    if (HasOption(o, doSystemMemory)) o &= ~OptionBit(doFlip);
    o &= ~OptionBit(doHardware);
    return o;
}

Display::Display(FramePresenter& presenter, TextRenderer* fonts)
    : presenter_(presenter), fonts_(fonts), surface_(std::make_unique<Surface>(this)) {}

Display::~Display() {
    // Surfaces the game still holds outlive the device: cut them loose.
    surface_.reset();
    for (Surface* s : surfaces_)
        s->DetachDisplay();
}

void Display::SetOptions(DisplayOptions options) {
    options_ = options;
    if (!initialized_) {
        nowOptions_ = EffectiveOptions(options);
        return;
    }
    // While running only the presentation details may change.
    const DisplayOptions live =
        OptionBit(doWaitVBlank) | OptionBit(doStretch) | OptionBit(doCenter);
    nowOptions_ = (nowOptions_ & ~live) | (options & live);
}

void Display::DetachImageList(SpriteSheet* list) {
    imageLists_.erase(std::remove(imageLists_.begin(), imageLists_.end(), list), imageLists_.end());
}

void Display::Initialize() {
    initializeRequested_ = true;
    if (initialized_) Finalize();
    if (!HasParentForm) throw Error(text::FormNotFound);
    busy_ = true;
    try {
        const int bits = Mode.BitCount;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            throw Error(FormatText(text::DisplayMode, Mode.Width, Mode.Height, bits));
        presenter_.Open(HasOption(nowOptions_, doFullScreen), Mode.Width, Mode.Height);
        surface_ = std::make_unique<Surface>(this);
        surface_->SetSize(std::max(1, SurfaceWidth), std::max(1, SurfaceHeight));
        surface_->Fill(0);
    } catch (...) {
        busy_ = false;
        throw;
    }
    initialized_ = true;
    busy_ = false;
    for (SpriteSheet* list : imageLists_)
        list->DisplayInitialized();
    calledOnInitialize_ = true;
    if (OnInitialize) OnInitialize();
    surface_->Fill(0);
    for (SpriteSheet* list : imageLists_)
        list->BuildAllPatterns();
}

void Display::Finalize() {
    if (!initialized_) return;
    busy_ = true;
    if (calledOnInitialize_ && OnFinalize) {
        calledOnInitialize_ = false;
        try {
            OnFinalize();
        } catch (...) {
            // Finishing the shutdown matters more than the handler's error.
        }
    }
    calledOnInitialize_ = false;
    for (SpriteSheet* list : imageLists_)
        list->DisplayFinalized();
    initialized_ = false;
    nowOptions_ = EffectiveOptions(options_);
    for (Surface* s : surfaces_)
        s->Release();
    presenter_.Close();
    busy_ = false;
}

bool Display::CanDraw() const {
    return Visible && initialized_ && !busy_ && surface_->HasPixels();
}

void Display::Flip() {
    if (!initialized_ || busy_) return;
    if (HasOption(nowOptions_, doFlip) && !presenter_.Active()) return;
    presenter_.Present(*surface_);
}

} // namespace tappo
