#include "platform/Display.h"

#include <algorithm>

namespace tappo {

Display::Display(FramePresenter& presenter, TextRenderer* fonts)
    : presenter_(presenter), fonts_(fonts), surface_(std::make_unique<Surface>(this)) {}

void Display::Open() {
    if (open_) Close();
    shownFullScreen_ = FullScreen;
    presenter_.Open(shownFullScreen_, Mode.Width, Mode.Height);
    open_ = true;
    if (!surface_->HasPixels()) {
        surface_->SetSize(std::max(1, SurfaceWidth), std::max(1, SurfaceHeight));
        surface_->Fill(0);
    }
}

void Display::Close() {
    if (!open_) return;
    open_ = false;
    presenter_.Close();
}

bool Display::CanDraw() const {
    return Visible && open_ && surface_->HasPixels();
}

void Display::Present() {
    if (!open_) return;
    if (shownFullScreen_ && !presenter_.Active()) return;
    presenter_.Present(*surface_);
}

} // namespace tappo
