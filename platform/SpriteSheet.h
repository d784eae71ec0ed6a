// The sprite list: pictures loaded from the sprite archive ("tappoplay.dxg"),
// each cut into equal patterns that are drawn onto the back surface.
#pragma once

#include "formats/ArchiveReader.h"
#include "formats/Picture.h"
#include "platform/Surface.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace tappo {

class Display;

struct SpriteCell {
    Rect Area;
    Surface* Source = nullptr;
};

class Sprite {
  public:
    std::string Name;
    int PatternWidth = 0, PatternHeight = 0;
    int SkipWidth = 0, SkipHeight = 0;
    bool Transparent = true;
    Image Picture; // empty: the item has no picture

    uint32_t TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(uint32_t color);
    // The patterns are cut (a sheet for a display cuts them as it loads).
    bool PatternsCut() const { return cut_; }
    int PatternCount() const { return int(patterns_.size()); }
    const SpriteCell& Pattern(int i) const { return patterns_[size_t(i)]; }

    // Cuts the patterns from the picture, on a surface that writes with the
    // display's fonts.
    void BuildPatterns(Display* display);
    void Draw(Surface& dest, int x, int y, int pattern) const;

  private:
    void Rekey();

    uint32_t transparentColor_ = 0; // 0x00BBGGRR or a system colour
    bool cut_ = false;
    std::unique_ptr<Surface> surface_;
    std::vector<SpriteCell> patterns_;
};

class SpriteList {
  public:
    std::array<uint32_t, 256> ColorTable{};
    int Count() const { return int(items_.size()); }
    // Throws the list-index error for an index outside 0 .. Count - 1.
    Sprite& Items(int index);
    Sprite* Find(const std::string& name);
    Sprite& Add();
    void Clear() { items_.clear(); }

  private:
    std::vector<std::unique_ptr<Sprite>> items_;
};

class SpriteSheet {
  public:
    // A sheet for `display` builds its patterns as it loads; one without a
    // display only reads the archive's items.
    explicit SpriteSheet(Display* display = nullptr) : display_(display) {}

    SpriteList Items;

    void LoadFromFile(const std::string& path);
    void LoadFromBytes(const uint8_t* data, size_t size);
    void Draw(int item, Surface& dest, int x, int y, int pattern);

  private:
    Display* display_;
};

} // namespace tappo
