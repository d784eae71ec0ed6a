// The palette image: an 8-bit (or other depth) picture with direct row access,
// which the warp background renders into every frame.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

struct BitmapData;

class PalettedImage {
  public:
    std::array<uint32_t, 256> Palette{}; // 0x00RRGGBB

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bitCount_; }

    void LoadFromFile(const std::string& path);
    void Assign(const BitmapData& bitmap);
    // Stored value of pixel (x, y): the palette index for 8 bits or less; 0 outside.
    uint32_t PalettePixel(int x, int y) const;
    uint32_t ColourAt(int x, int y) const;
    // A value <= 0 empties the image; a new size gets a new, cleared pixel store
    // with the same depth and palette; the same size keeps the pixels.
    void SetHeight(int height);
    void SetWidth(int width);
    // Row y from the top; throws for a row outside the image.
    uint8_t* ScanLine(int y);
    const uint8_t* ScanLine(int y) const;
    void Free();

    // A display copy of an 8-bit image: the pixels already in 5-6-5, made from
    // the current pixels and palette, for an image that is drawn far more
    // often than its palette changes. Whoever writes rows through ScanLine
    // must write the same pixels into MirrorLine. A new size or depth drops
    // the copy; a changed palette makes it unusable until it is made again.
    void MakeDisplayCopy();
    bool DisplayCopyUsable() const { return !mirror_.empty() && mirrorPalette_ == Palette; }
    uint16_t* MirrorLine(int y) { return &mirror_[size_t(y) * size_t(width_)]; }
    const uint16_t* MirrorLine(int y) const { return &mirror_[size_t(y) * size_t(width_)]; }

  private:
    void Resize(int width, int height);
    void SetRaw(int x, int y, uint32_t v);

    int width_ = 0, height_ = 0, bitCount_ = 0;
    size_t stride_ = 0;
    std::vector<uint8_t> bits_;
    std::vector<uint16_t> mirror_;
    std::array<uint32_t, 256> mirrorPalette_{};
};

} // namespace tappo
