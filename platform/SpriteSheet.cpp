#include "platform/SpriteSheet.h"

#include "base/Errors.h"
#include "files/Files.h"
#include "formats/ArchiveReader.h"
#include "platform/Display.h"

#include <cstring>
#include <unordered_map>

namespace tappo {

// ---- items ----

void Sprite::SetTransparentColor(uint32_t color) {
    transparentColor_ = color;
    Rekey();
}

void Sprite::Rekey() {
    if (surface_) surface_->SetColorKey(ColorToPixel(ColorToRgb(transparentColor_)));
}

void Sprite::BuildPatterns(Display* display) {
    patterns_.clear();
    surface_.reset();
    cut_ = true;
    if (Picture.Empty()) return;
    const int w = Picture.Width, h = Picture.Height;
    const int pw = PatternWidth > 0 ? PatternWidth : w;
    const int ph = PatternHeight > 0 ? PatternHeight : h;
    // The whole picture lives on one surface: memory surfaces have no size
    // limit worth splitting for, and a pattern is only a rectangle on it.
    surface_ = std::make_unique<Surface>(display);
    surface_->SetSize(w, h);
    surface_->Canvas().Draw(0, 0, Picture);
    Rekey();
    if (pw == w && ph == h) {
        patterns_.push_back({Bounds(0, 0, w, h), surface_.get()});
        return;
    }
    // In 64 bits: the sizes and gaps are any int32 the archive holds. A gap
    // that leaves no room for a pattern gives none.
    const long long strideX = (long long)pw + SkipWidth, strideY = (long long)ph + SkipHeight;
    if (strideX <= 0 || strideY <= 0) return;
    const long long columns = ((long long)w + SkipWidth) / strideX;
    const long long rows = ((long long)h + SkipHeight) / strideY;
    if (columns <= 0 || rows <= 0) return;
    patterns_.reserve(size_t(columns * rows));
    for (long long row = 0; row < rows; ++row)
        for (long long col = 0; col < columns; ++col)
            patterns_.push_back(
                {Bounds(int(col * strideX), int(row * strideY), pw, ph), surface_.get()});
}

void Sprite::Draw(Surface& dest, int x, int y, int pattern) const {
    if (!cut_ || pattern < 0 || pattern >= PatternCount()) return;
    const SpriteCell& p = patterns_[size_t(pattern)];
    dest.Draw(x, y, p.Area, p.Source, Transparent);
}

// ---- collection ----

Sprite& SpriteList::Items(int index) {
    if (index < 0 || index >= Count()) throw Error(FormatText(Tr(text::ListIndex), index));
    return *items_[size_t(index)];
}

Sprite* SpriteList::Find(const std::string& name) {
    for (auto& item : items_)
        if (strcasecmp(item->Name.c_str(), name.c_str()) == 0) return item.get();
    return nullptr;
}

Sprite& SpriteList::Add() {
    items_.push_back(std::make_unique<Sprite>());
    return *items_.back();
}

// ---- list ----

void SpriteSheet::LoadFromBytes(const uint8_t* data, size_t size) {
    Items.Clear();
    ArchiveContents contents = ReadArchive(data, size);
    Items.ColorTable = contents.ColorTable;
    for (ArchivePicture& stored : contents.Items) {
        Sprite& item = Items.Add();
        item.Name = std::move(stored.Name);
        item.PatternWidth = stored.PatternWidth;
        item.PatternHeight = stored.PatternHeight;
        item.SkipWidth = stored.SkipWidth;
        item.SkipHeight = stored.SkipHeight;
        item.Transparent = stored.Transparent;
        item.SetTransparentColor(stored.TransparentColor);
        item.Picture = std::move(stored.Picture);
    }
    if (!display_) return;
    for (int i = 0; i < Items.Count(); ++i) {
        Items.Items(i).BuildPatterns(display_);
    }
}

void SpriteSheet::LoadFromFile(const std::string& path) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    LoadFromBytes(bytes.data(), bytes.size());
}

void SpriteSheet::Draw(int item, Surface& dest, int x, int y, int pattern) {
    Items.Items(item).Draw(dest, x, y, pattern);
}

} // namespace tappo
