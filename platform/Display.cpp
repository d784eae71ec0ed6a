#include "platform/Display.h"

#include "base/Errors.h"
#include "platform/SpriteSheet.h"

#include <algorithm>

namespace tappo {

Display::Display(FramePresenter& presenter, TextRenderer* fonts)
    : presenter_(presenter), fonts_(fonts), surface_(std::make_unique<Surface>(this)) {}

Display::~Display() {
    // Surfaces the game still holds outlive the device: cut them loose.
    surface_.reset();
    for (Surface* s : surfaces_)
        s->DetachDisplay();
}

void Display::DetachImageList(SpriteSheet* list) {
    imageLists_.erase(std::remove(imageLists_.begin(), imageLists_.end(), list), imageLists_.end());
}

void Display::Initialize() {
    initializeRequested_ = true;
    if (initialized_) Finalize();
    busy_ = true;
    try {
        shownFullScreen_ = FullScreen;
        presenter_.Open(shownFullScreen_, Mode.Width, Mode.Height);
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
    // A full-screen window that is not the active one is left alone.
    if (shownFullScreen_ && !presenter_.Active()) return;
    presenter_.Present(*surface_);
}

} // namespace tappo
