// Off-screen pictures in the display's 16-bit format (RGB 5-6-5) and the
// canvas that writes text and bitmaps onto them. Surfaces are plain memory, so
// drawing is exact and identical on screen and headless.
#pragma once

#include "formats/Picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tappo {

class Display;
class PalettedImage;
class TextRenderer;
struct Image;
struct BitmapData;

struct Rect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool Empty() const { return Right <= Left || Bottom <= Top; }
};
inline Rect Bounds(int x, int y, int w, int h) {
    return Rect{x, y, x + w, y + h};
}

// 5-6-5 pixel back to 8-bit channels, for screenshots and presentation.
uint32_t PixelToRgbValue(uint16_t pixel);

class Surface;

// One row of a colour-keyed copy: dst[i] = src[i] wherever src[i] != key. The
// rows must not overlap. KeyedCopyRow uses SSE2 on x86-64 and the portable
// loop elsewhere; both give the same pixels.
void KeyedCopyRowPortable(uint16_t* dst, const uint16_t* src, int count, uint16_t key);
void KeyedCopyRow(uint16_t* dst, const uint16_t* src, int count, uint16_t key);

// Text and bitmap drawing onto one surface. Its font and brush settings stay
// from one use to the next, as long as the surface lives.
class SurfaceCanvas {
  public:
    explicit SurfaceCanvas(Surface& surface) : surface_(surface) {}

    // The one bundled face, at this size and colour.
    struct FontChoice {
        int Size = 8;       // points at 96 pixels per inch
        uint32_t Color = 0; // 0x00BBGGRR
    } Font;
    // The colour of the box behind a text (0x00BBGGRR); none: the text
    // stands on the picture.
    std::optional<uint32_t> TextBackground = 0xFFFFFF;

    void WriteText(int x, int y, const std::string& utf8);
    int TextWidth(const std::string& utf8);
    // Draws a palette image or a picture at its own size with its top-left at (x, y).
    void Draw(int x, int y, const PalettedImage& image);
    void Draw(int x, int y, const Image& picture);
    // Copies `source` rectangle of the picture into `dest` of the surface, stretched.
    void CopyRect(const Rect& dest, const Image& picture, const Rect& source);

  private:
    void CheckUsable() const;
    Surface& surface_;
};

class Surface {
  public:
    // A picture that writes text with the display's fonts; without a display
    // (tools and tests) its canvas writes no text.
    explicit Surface(Display* display = nullptr);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool HasPixels() const { return !pixels_.empty(); }
    TextRenderer* Fonts() const { return fonts_; }

    void SetSize(int width, int height);
    void SetColorKey(uint16_t key);
    uint16_t ColorKey() const { return colorKey_; }
    uint16_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, uint16_t value);
    void Fill(uint16_t value);
    // Copies `source` rectangle `r` of `source` to (x, y) of this surface, clipped
    // to both surfaces; with `keyed`, pixels equal to the source's key are skipped.
    void Draw(int x, int y, Rect r, const Surface* source, bool keyed);
    // Plain copy without key and without clipping: a rectangle that does not fit
    // both surfaces copies nothing.
    bool CopySurface(int x, int y, const Surface& source, const Rect& r);

    SurfaceCanvas& Canvas();

    const uint16_t* Bits() const { return pixels_.data(); }
    uint16_t* Bits() { return pixels_.data(); }

  private:
    TextRenderer* fonts_;
    int width_ = 0, height_ = 0;
    uint16_t colorKey_ = 0;
    std::vector<uint16_t> pixels_;
    std::unique_ptr<SurfaceCanvas> canvas_;
};

} // namespace tappo
