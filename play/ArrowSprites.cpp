#include "play/ArrowSprites.h"

#include "formats/Picture.h"

namespace tappo {

void ArrowSheet::LoadArrowSprites(Display& display, const std::string& programFolder) {
    const Image sheet = LoadBmpFile(programFolder + "arrow.bmp").ToPicture();
    for (int i = 0; i < Count; ++i) {
        auto& sprite = sprites_[size_t(i)];
        if (sprite) continue;
        sprite = std::make_unique<Surface>(&display);
        sprite->SetSize(Size, Size);
        sprite->Canvas().CopyRect(Bounds(0, 0, Size, Size), sheet,
                                  Bounds((i % 4) * Size, (i / 4) * Size, Size, Size));
        sprite->SetColorKey(sprite->Pixel(0, 0));
    }
}

void ArrowSheet::Free() {
    for (auto& sprite : sprites_)
        sprite.reset();
}

} // namespace tappo
