#include "platform/Surface.h"

#include "base/Errors.h"
#include "formats/PalettedImage.h"
#include "formats/Picture.h"
#include "platform/Display.h"
#include "platform/Font.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tappo {

void KeyedCopyRowPortable(uint16_t* dst, const uint16_t* src, int count, uint16_t key) {
    for (int i = 0; i < count; ++i)
        if (src[i] != key) dst[i] = src[i];
}

void KeyedCopyRow(uint16_t* dst, const uint16_t* src, int count, uint16_t key) {
#if defined(__SSE2__)
    // Eight pixels at a time: keep the destination where the source is the key.
    const __m128i k = _mm_set1_epi16(short(key));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i isKey = _mm_cmpeq_epi16(s, k);
        const __m128i out = _mm_or_si128(_mm_and_si128(isKey, d), _mm_andnot_si128(isKey, s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
    KeyedCopyRowPortable(dst + i, src + i, count - i, key);
#else
    KeyedCopyRowPortable(dst, src, count, key);
#endif
}

uint32_t PixelToRgbValue(uint16_t p) {
    uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
    r = (r << 3) | (r >> 2), g = (g << 2) | (g >> 4), b = (b << 3) | (b >> 2);
    return r << 16 | g << 8 | b;
}

Surface::Surface(Display* display) : fonts_(display ? display->Fonts() : nullptr) {}

Surface::~Surface() = default;

void Surface::SetSize(int width, int height) {
    pixels_.clear();
    pixels_.shrink_to_fit();
    width_ = height_ = 0;
    colorKey_ = 0;
    if (width <= 0 || height <= 0) return;
    if (!PictureSizeAllowed(width, height))
        throw Error(FormatText(Tr(text::CannotCreate), std::string(Tr("サーフェース"))));
    pixels_.assign(size_t(width) * height, 0);
    width_ = width, height_ = height;
}

void Surface::SetColorKey(uint16_t key) {
    if (HasPixels()) colorKey_ = key;
}

uint16_t Surface::Pixel(int x, int y) const {
    if (!HasPixels() || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[size_t(y) * width_ + x];
}

void Surface::SetPixel(int x, int y, uint16_t value) {
    if (HasPixels() && x >= 0 && y >= 0 && x < width_ && y < height_)
        pixels_[size_t(y) * width_ + x] = value;
}

void Surface::Fill(uint16_t value) {
    std::fill(pixels_.begin(), pixels_.end(), value);
}

void Surface::Draw(int x, int y, Rect r, const Surface* source, bool keyed) {
    // Wholly outside to the right or below, or (in wide arithmetic, as a
    // position may be anywhere in int's range) to the left or above.
    if (!source || x > width_ || y > height_ || int64_t(x) + r.Width() <= 0 ||
        int64_t(y) + r.Height() <= 0)
        return;
    Rect d{x, y, x + r.Width(), y + r.Height()};
    // Clip against the destination's top-left, then the source's top-left,
    // then the destination's and the source's far edges, in that order.
    if (d.Left < 0) r.Left -= d.Left, d.Left = 0;
    if (d.Top < 0) r.Top -= d.Top, d.Top = 0;
    if (r.Left < 0) d.Left -= r.Left, r.Left = 0;
    if (r.Top < 0) d.Top -= r.Top, r.Top = 0;
    if (d.Right > width_) r.Right -= d.Right - width_, d.Right = width_;
    if (d.Bottom > height_) r.Bottom -= d.Bottom - height_, d.Bottom = height_;
    if (r.Right > source->width_) d.Right -= r.Right - source->width_, r.Right = source->width_;
    if (r.Bottom > source->height_)
        d.Bottom -= r.Bottom - source->height_, r.Bottom = source->height_;
    if (r.Empty() || d.Empty() || !HasPixels() || !source->HasPixels()) return;
    const int w = std::min(r.Width(), d.Width()), h = std::min(r.Height(), d.Height());
    const uint16_t key = source->colorKey_;
    // A keyed copy within one surface whose rectangles overlap keeps the
    // pixel-by-pixel order, in which a pixel may be read after it was written.
    const bool overlapping = source == this && r.Left < d.Left + w && d.Left < r.Left + w &&
                             r.Top < d.Top + h && d.Top < r.Top + h;
    for (int row = 0; row < h; ++row) {
        const uint16_t* src = &source->pixels_[size_t(r.Top + row) * source->width_ + r.Left];
        uint16_t* dst = &pixels_[size_t(d.Top + row) * width_ + d.Left];
        if (!keyed)
            std::memmove(dst, src, size_t(w) * 2);
        else if (overlapping)
            KeyedCopyRowPortable(dst, src, w, key);
        else
            KeyedCopyRow(dst, src, w, key);
    }
}

bool Surface::CopySurface(int x, int y, const Surface& source, const Rect& r) {
    if (r.Empty() || r.Left < 0 || r.Top < 0 || r.Right > source.width_ ||
        r.Bottom > source.height_ || x < 0 || y < 0 || x + r.Width() > width_ ||
        y + r.Height() > height_)
        return false;
    for (int row = 0; row < r.Height(); ++row)
        std::memmove(&pixels_[size_t(y + row) * width_ + x],
                     &source.pixels_[size_t(r.Top + row) * source.width_ + r.Left],
                     size_t(r.Width()) * 2);
    return true;
}

SurfaceCanvas& Surface::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<SurfaceCanvas>(*this);
    return *canvas_;
}

// ---- canvas ----

namespace {

// Puts `colour` wherever the text mask (bytes 0 or 1) is inked.
void InkRow(uint16_t* dst, const uint8_t* mask, int count, uint16_t colour) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i c = _mm_set1_epi16(short(colour)), zero = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, mask + i, 8);
        if (eight == 0) continue;
        const __m128i m = _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(eight)), zero);
        const __m128i ink = _mm_cmpgt_epi16(m, zero);
        auto* d = reinterpret_cast<__m128i*>(dst + i);
        _mm_storeu_si128(
            d, _mm_or_si128(_mm_and_si128(ink, c), _mm_andnot_si128(ink, _mm_loadu_si128(d))));
    }
#endif
    for (; i < count; ++i)
        if (mask[i]) dst[i] = colour;
}

} // namespace

void SurfaceCanvas::CheckUsable() const {
    if (!surface_.HasPixels())
        throw Error(FormatText(Tr(text::NotCreated), std::string("IDirectDrawSurface")));
}

void SurfaceCanvas::WriteText(int x, int y, const std::string& utf8) {
    CheckUsable();
    TextRenderer* fonts = surface_.Fonts();
    if (!fonts || utf8.empty()) return;
    const TextMask& mask = fonts->Render(Font.Size, utf8);
    const int w = surface_.Width(), h = surface_.Height();
    uint16_t* bits = surface_.Bits();
    if (TextBackground) {
        const uint16_t bg = ColorToPixel(*TextBackground);
        for (int row = std::max(0, y); row < std::min(h, y + mask.Height); ++row)
            for (int col = std::max(0, x); col < std::min(w, x + mask.Width); ++col)
                bits[size_t(row) * w + col] = bg;
    }
    const uint16_t fg = ColorToPixel(Font.Color);
    const int mx0 = std::max(0, -x), mx1 = std::min(mask.Width, w - x);
    for (int my = std::max(0, -y); my < std::min(mask.Height, h - y) && mx0 < mx1; ++my)
        InkRow(&bits[size_t(y + my) * w + size_t(x + mx0)],
               &mask.Bits[size_t(my) * mask.Width + mx0], mx1 - mx0, fg);
}

int SurfaceCanvas::TextWidth(const std::string& utf8) {
    CheckUsable();
    TextRenderer* fonts = surface_.Fonts();
    return fonts ? fonts->Render(Font.Size, utf8).Width : 0;
}

void SurfaceCanvas::Draw(int x, int y, const PalettedImage& image) {
    CheckUsable();
    if (image.Width() <= 0 || image.Height() <= 0) return;
    const PixelTable lut = PaletteToPixels(image.Palette);
    const int w = surface_.Width(), h = surface_.Height();
    const int x0 = std::max(0, x), x1 = std::min(w, x + image.Width());
    const int y0 = std::max(0, y), y1 = std::min(h, y + image.Height());
    uint16_t* bits = surface_.Bits();
    if (image.DisplayCopyUsable()) {
        // Already in the display's format: a row copy.
        for (int sy = y0; sy < y1 && x0 < x1; ++sy)
            std::memcpy(&bits[size_t(sy) * w + x0], image.MirrorLine(sy - y) + (x0 - x),
                        size_t(x1 - x0) * 2);
        return;
    }
    for (int sy = y0; sy < y1; ++sy) {
        uint16_t* dst = &bits[size_t(sy) * w];
        if (image.BitCount() == 8) {
            const uint8_t* row = image.ScanLine(sy - y);
            for (int sx = x0; sx < x1; ++sx)
                dst[sx] = lut[row[sx - x]];
        } else {
            for (int sx = x0; sx < x1; ++sx)
                dst[sx] = RgbValueToPixel(image.ColourAt(sx - x, sy - y));
        }
    }
}

void SurfaceCanvas::Draw(int x, int y, const Image& picture) {
    CopyRect(Bounds(x, y, picture.Width, picture.Height), picture,
             Bounds(0, 0, picture.Width, picture.Height));
}

void SurfaceCanvas::CopyRect(const Rect& dest, const Image& picture, const Rect& source) {
    CheckUsable();
    if (dest.Empty() || source.Empty() || picture.Empty()) return;
    const int w = surface_.Width(), h = surface_.Height();
    uint16_t* bits = surface_.Bits();
    // Nearest-pixel stretch: source pixel for destination pixel i is
    // source.Left + i * srcWidth / destWidth. Pixels outside the picture are black.
    const int x0 = std::max(0, dest.Left), x1 = std::min(w, dest.Right);
    if (x0 >= x1) return;
    std::vector<int> columns(size_t(x1 - x0));
    bool columnsInside = true;
    for (int dx = x0; dx < x1; ++dx) {
        const int sx =
            int(source.Left + (long long)(dx - dest.Left) * source.Width() / dest.Width());
        columns[size_t(dx - x0)] = sx;
        columnsInside = columnsInside && sx >= 0 && sx < picture.Width;
    }
    for (int dy = std::max(0, dest.Top); dy < std::min(h, dest.Bottom); ++dy) {
        const long long sy =
            source.Top + (long long)(dy - dest.Top) * source.Height() / dest.Height();
        uint16_t* row = &bits[size_t(dy) * w];
        const bool rowInside = sy >= 0 && sy < picture.Height;
        const uint32_t* src = rowInside ? &picture.Rgb[size_t(sy) * picture.Width] : nullptr;
        if (src && columnsInside) { // the usual case: every pixel from the picture
            for (int dx = x0; dx < x1; ++dx)
                row[dx] = RgbValueToPixel(src[columns[size_t(dx - x0)]]);
            continue;
        }
        for (int dx = x0; dx < x1; ++dx) {
            const int sx = columns[size_t(dx - x0)];
            row[dx] = src && sx >= 0 && sx < picture.Width ? RgbValueToPixel(src[sx]) : 0;
        }
    }
}

} // namespace tappo
