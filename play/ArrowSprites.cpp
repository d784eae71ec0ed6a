#include "play/ArrowSprites.h"

#include "formats/Picture.h"

namespace tappo {

ArrowSheet::ArrowSheet(Display& display, const std::string& programFolder) {
    const Image sheet = LoadBmpFile(programFolder + "arrow.bmp").ToPicture();
    for (int i = 0; i < Count; ++i) {
        auto& sprite = sprites_[size_t(i)];
        sprite = std::make_unique<Surface>(&display);
        sprite->SetSize(Size, Size);
        sprite->Canvas().CopyRect(Bounds(0, 0, Size, Size), sheet,
                                  Bounds((i % 4) * Size, (i / 4) * Size, Size, Size));
        sprite->SetColorKey(sprite->Pixel(0, 0));
    }
}

} // namespace tappo
