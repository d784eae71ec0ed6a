#include "formats/PalettedImage.h"

#include "base/Errors.h"
#include "formats/Picture.h"

namespace tappo {

void PalettedImage::LoadFromFile(const std::string& path) {
    Assign(LoadBmpFile(path));
}

void PalettedImage::Assign(const BitmapData& b) {
    Free();
    bitCount_ = b.BitCount;
    if (b.Width <= 0 || b.Height <= 0) bitCount_ = 0;
    Palette.fill(0);
    for (size_t i = 0; i < b.Palette.size() && i < 256; ++i)
        Palette[i] = b.Palette[i];
    Resize(b.Width, b.Height);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            SetRaw(x, y, b.Raw(x, y));
}

void PalettedImage::Resize(int width, int height) {
    mirror_.clear();
    if (width <= 0 || height <= 0) {
        width_ = height_ = 0;
        bitCount_ = 0; // an empty image grows again with 8 bits per pixel
        stride_ = 0;
        bits_.clear();
        return;
    }
    if (bitCount_ == 0) bitCount_ = 8;
    width_ = width, height_ = height;
    stride_ = ((size_t(width) * bitCount_ + 31) / 32) * 4;
    bits_.assign(stride_ * height, 0);
}

void PalettedImage::SetHeight(int height) {
    if (height <= 0) return Resize(0, 0);
    if (height != height_) Resize(width_ > 0 ? width_ : 1, height);
}

void PalettedImage::SetWidth(int width) {
    if (width <= 0) return Resize(0, 0);
    if (width != width_) Resize(width, height_ > 0 ? height_ : 1);
}

void PalettedImage::Free() {
    Resize(0, 0);
}

void PalettedImage::MakeDisplayCopy() {
    mirror_.clear();
    if (bitCount_ != 8 || width_ <= 0 || height_ <= 0) return;
    mirrorPalette_ = Palette;
    const PixelTable lut = PaletteToPixels(Palette);
    mirror_.resize(size_t(width_) * size_t(height_));
    for (int y = 0; y < height_; ++y) {
        const uint8_t* row = &bits_[stride_ * size_t(y)];
        uint16_t* out = MirrorLine(y);
        for (int x = 0; x < width_; ++x)
            out[x] = lut[row[x]];
    }
}

void PalettedImage::SetRaw(int x, int y, uint32_t v) {
    uint8_t* row = &bits_[stride_ * y];
    switch (bitCount_) {
    case 1: {
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = uint8_t((row[x >> 3] & ~bit) | ((v & 1) ? bit : 0));
        break;
    }
    case 4: {
        int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = uint8_t((row[x >> 1] & ~(15 << shift)) | ((v & 15) << shift));
        break;
    }
    case 8:
        row[x] = uint8_t(v);
        break;
    case 16: {
        // 5-5-5, as a 16-bit bitmap stores it
        uint32_t p = ((v >> 19) & 31) << 10 | ((v >> 11) & 31) << 5 | ((v >> 3) & 31);
        row[2 * x] = uint8_t(p), row[2 * x + 1] = uint8_t(p >> 8);
        break;
    }
    case 24:
        row[3 * x] = uint8_t(v), row[3 * x + 1] = uint8_t(v >> 8),
                row[3 * x + 2] = uint8_t(v >> 16);
        break;
    default:
        row[4 * x] = uint8_t(v), row[4 * x + 1] = uint8_t(v >> 8),
                row[4 * x + 2] = uint8_t(v >> 16);
        row[4 * x + 3] = 0;
    }
}

uint32_t PalettedImage::PalettePixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* row = &bits_[stride_ * y];
    switch (bitCount_) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    case 8:
        return row[x];
    case 16:
        return uint32_t(row[2 * x] | row[2 * x + 1] << 8);
    case 24:
        return uint32_t(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
    default:
        return uint32_t(row[4 * x] | row[4 * x + 1] << 8 | row[4 * x + 2] << 16);
    }
}

uint32_t PalettedImage::ColourAt(int x, int y) const {
    uint32_t v = PalettePixel(x, y);
    if (bitCount_ <= 8) return Palette[v & 255];
    if (bitCount_ == 16) {
        uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        return (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
    }
    return v;
}

uint8_t* PalettedImage::ScanLine(int y) {
    if (y < 0 || y >= height_) throw Error(FormatText(Tr(text::ScanLine), y));
    return &bits_[stride_ * y];
}

const uint8_t* PalettedImage::ScanLine(int y) const {
    return const_cast<PalettedImage*>(this)->ScanLine(y);
}

} // namespace tappo
