#include "platform/Display.h"

#include "base/Errors.h"
#include "platform/ImageList.h"

#include <algorithm>

namespace tappo {

TDXDrawOptions EffectiveOptions(TDXDrawOptions o) {
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

TDXDraw::TDXDraw(IPresenter& presenter, TTextRenderer* fonts)
    : presenter_(presenter), fonts_(fonts), surface_(std::make_unique<TDirectDrawSurface>(this)) {}

TDXDraw::~TDXDraw() {
    // Surfaces the game still holds outlive the device: cut them loose.
    surface_.reset();
    for (TDirectDrawSurface* s : surfaces_)
        s->DetachDisplay();
}

void TDXDraw::SetOptions(TDXDrawOptions options) {
    options_ = options;
    if (!initialized_) {
        nowOptions_ = EffectiveOptions(options);
        return;
    }
    // While running only the presentation details may change.
    const TDXDrawOptions live =
        OptionBit(doWaitVBlank) | OptionBit(doStretch) | OptionBit(doCenter);
    nowOptions_ = (nowOptions_ & ~live) | (options & live);
}

void TDXDraw::DetachImageList(TDXImageList* list) {
    imageLists_.erase(std::remove(imageLists_.begin(), imageLists_.end(), list), imageLists_.end());
}

void TDXDraw::Initialize() {
    initializeRequested_ = true;
    if (initialized_) Finalize();
    if (!HasParentForm) throw Error(text::FormNotFound);
    busy_ = true;
    try {
        const int bits = Display.BitCount;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            throw Error(FormatText(text::DisplayMode, Display.Width, Display.Height, bits));
        presenter_.Open(HasOption(nowOptions_, doFullScreen), Display.Width, Display.Height);
        surface_ = std::make_unique<TDirectDrawSurface>(this);
        surface_->SetSize(std::max(1, SurfaceWidth), std::max(1, SurfaceHeight));
        surface_->Fill(0);
    } catch (...) {
        busy_ = false;
        throw;
    }
    initialized_ = true;
    busy_ = false;
    for (TDXImageList* list : imageLists_)
        list->DisplayInitialized();
    calledOnInitialize_ = true;
    if (OnInitialize) OnInitialize();
    surface_->Fill(0);
    for (TDXImageList* list : imageLists_)
        list->BuildAllPatterns();
}

void TDXDraw::Finalize() {
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
    for (TDXImageList* list : imageLists_)
        list->DisplayFinalized();
    initialized_ = false;
    nowOptions_ = EffectiveOptions(options_);
    for (TDirectDrawSurface* s : surfaces_)
        s->Release();
    presenter_.Close();
    busy_ = false;
}

bool TDXDraw::CanDraw() const {
    return Visible && initialized_ && !busy_ && surface_->HasPixels();
}

void TDXDraw::Flip() {
    if (!initialized_ || busy_) return;
    if (HasOption(nowOptions_, doFlip) && !presenter_.Active()) return;
    presenter_.Present(*surface_);
}

} // namespace tappo
