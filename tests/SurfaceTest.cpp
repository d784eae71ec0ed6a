// Surfaces: keyed and plain draws with every clipping rule, fills, reads,
// sizes, and the canvas.
#include "platform/Surface.h"
#include "base/Errors.h"
#include "formats/PalettedImage.h"
#include "formats/Picture.h"
#include "platform/Display.h"
#include "platform/Font.h"

#include <gtest/gtest.h>
#include <vector>

using namespace tappo;

namespace {

// A surface whose pixel (x, y) holds the value 1 + x + 100 * y.
std::unique_ptr<Surface> Numbered(int w, int h) {
    auto s = std::make_unique<Surface>();
    s->SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            s->SetPixel(x, y, uint16_t(1 + x + 100 * y));
    return s;
}

std::unique_ptr<Surface> Blank(int w, int h) {
    auto s = std::make_unique<Surface>();
    s->SetSize(w, h);
    s->Fill(0);
    return s;
}

} // namespace

TEST(Surface, SizeKeyFillAndRead) {
    Surface s;
    EXPECT_FALSE(s.HasPixels());
    s.SetColorKey(7); // no pixel store yet: ignored
    EXPECT_EQ(s.ColorKey(), 0);
    s.SetSize(4, 3);
    s.SetColorKey(7);
    EXPECT_EQ(s.ColorKey(), 7);
    s.Fill(0x1234);
    EXPECT_EQ(s.Pixel(3, 2), 0x1234);
    EXPECT_EQ(s.Pixel(4, 0), 0) << "outside reads 0";
    EXPECT_EQ(s.Pixel(-1, 0), 0);
    s.SetSize(5, 5);
    EXPECT_EQ(s.ColorKey(), 0) << "a new pixel store resets the key";
    s.SetSize(0, 5);
    EXPECT_FALSE(s.HasPixels());
    s.SetSize(3, -1);
    EXPECT_FALSE(s.HasPixels());

    auto dest = Blank(4, 4);
    dest->Draw(0, 0, Bounds(0, 0, 3, 3), &s, false); // from a surface without pixels
    EXPECT_EQ(dest->Pixel(0, 0), 0);
}

TEST(Surface, DrawClipsAgainstBothSurfaces) {
    auto src = Numbered(8, 8);
    {
        auto d = Blank(10, 10);
        d->Draw(2, 3, Bounds(1, 1, 3, 2), src.get(), false);
        EXPECT_EQ(d->Pixel(2, 3), 1 + 1 + 100);
        EXPECT_EQ(d->Pixel(4, 4), 1 + 3 + 200);
        EXPECT_EQ(d->Pixel(5, 3), 0);
        EXPECT_EQ(d->Pixel(2, 5), 0);
    }
    {
        // A negative y shows the lower part of the source, as an arrow entering at the top.
        auto d = Blank(10, 10);
        d->Draw(0, -5, Bounds(0, 0, 8, 8), src.get(), false);
        EXPECT_EQ(d->Pixel(0, 0), 1 + 500);
        EXPECT_EQ(d->Pixel(7, 2), 1 + 7 + 700);
        EXPECT_EQ(d->Pixel(0, 3), 0);
    }
    {
        // x equal to the width passes the first test and clips to nothing;
        // beyond it nothing is even tried.
        auto d = Blank(10, 10);
        d->Draw(10, 0, Bounds(0, 0, 8, 8), src.get(), false);
        d->Draw(11, 0, Bounds(0, 0, 8, 8), src.get(), false);
        d->Draw(0, 10, Bounds(0, 0, 8, 8), src.get(), false);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(d->Pixel(x, y), 0);
    }
    {
        // The right and bottom edges of the destination cut the copy.
        auto d = Blank(10, 10);
        d->Draw(7, 8, Bounds(0, 0, 8, 8), src.get(), false);
        EXPECT_EQ(d->Pixel(9, 9), 1 + 2 + 100);
    }
    {
        // A source rectangle larger than the source is clipped to it.
        auto d = Blank(20, 20);
        d->Draw(0, 0, Bounds(0, 0, 15, 15), src.get(), false);
        EXPECT_EQ(d->Pixel(7, 7), 1 + 7 + 700);
        EXPECT_EQ(d->Pixel(8, 0), 0);
        EXPECT_EQ(d->Pixel(0, 8), 0);
    }
    {
        // A source rectangle starting left of the source moves the target right.
        auto d = Blank(20, 20);
        d->Draw(5, 5, Rect{-2, -3, 4, 4}, src.get(), false);
        EXPECT_EQ(d->Pixel(7, 8), 1);
        EXPECT_EQ(d->Pixel(6, 8), 0);
        EXPECT_EQ(d->Pixel(7, 7), 0);
    }
    {
        auto d = Blank(10, 10);
        d->Draw(0, 0, Bounds(0, 0, 4, 4), nullptr, false); // missing source
        EXPECT_EQ(d->Pixel(0, 0), 0);
    }
}

TEST(Surface, DrawFarOffTheSurfaceTouchesNothing) {
    // Positions from anywhere in int's range (a chart's extreme tempo can put
    // an arrow there) must not wrap round into the picture.
    auto src = Numbered(8, 8);
    auto d = Blank(10, 10);
    for (const int far : {INT32_MIN, INT32_MIN + 1, -1000000000, -8}) {
        d->Draw(far, 0, Bounds(0, 0, 8, 8), src.get(), true);
        d->Draw(0, far, Bounds(0, 0, 8, 8), src.get(), true);
        d->Draw(far, far, Bounds(0, 0, 8, 8), src.get(), false);
    }
    d->Draw(INT32_MAX, INT32_MAX, Bounds(0, 0, 8, 8), src.get(), false);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(d->Pixel(x, y), 0);
}

TEST(Surface, KeyedDrawSkipsOnlyKeyPixels) {
    auto src = Numbered(3, 1); // 1 2 3
    src->SetColorKey(2);
    auto d = Blank(3, 1);
    d->Fill(9);
    d->Draw(0, 0, Bounds(0, 0, 3, 1), src.get(), true);
    EXPECT_EQ(d->Pixel(0, 0), 1);
    EXPECT_EQ(d->Pixel(1, 0), 9);
    EXPECT_EQ(d->Pixel(2, 0), 3);
    d->Draw(0, 0, Bounds(0, 0, 3, 1), src.get(), false);
    EXPECT_EQ(d->Pixel(1, 0), 2) << "an unkeyed draw copies the key colour too";
}

TEST(Surface, KeyedRowFastAndPortablePathsAgree) {
    // Every length and start offset around the 8-pixel blocks, with keys in
    // runs, alone and at the block edges, and the key at both ends of the range.
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    for (uint16_t key : {uint16_t(0), uint16_t(0xFFFF), uint16_t(0x7BEF)}) {
        for (int offset = 0; offset < 8; ++offset) {
            for (int count = 0; count <= 40; ++count) {
                std::vector<uint16_t> src(size_t(offset + count)), fast(src.size()), portable;
                for (size_t i = 0; i < src.size(); ++i) {
                    src[i] = next() % 3 == 0 ? key : uint16_t(next());
                    fast[i] = uint16_t(next());
                }
                portable = fast;
                KeyedCopyRow(fast.data() + offset, src.data() + offset, count, key);
                KeyedCopyRowPortable(portable.data() + offset, src.data() + offset, count, key);
                ASSERT_EQ(fast, portable)
                    << "key " << key << ", offset " << offset << ", count " << count;
            }
        }
    }
}

TEST(Surface, KeyedDrawOntoItselfKeepsPixelOrder) {
    // Overlapping rectangles of one surface: a keyed copy reads pixels the
    // same copy has already written, left to right and top to bottom.
    const int w = 40, h = 6;
    auto s = Numbered(w, h);
    s->SetPixel(3, 1, 0), s->SetPixel(20, 2, 0);
    s->SetColorKey(0);
    std::vector<uint16_t> expected(s->Bits(), s->Bits() + w * h);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint16_t v = expected[size_t(y + 1) * w + x + 2];
            if (v != 0) expected[size_t(y + 1) * w + x + 5] = v;
        }
    s->Draw(5, 1, Bounds(2, 1, 32, 5), s.get(), true); // 32 x 5, three pixels to the right
    EXPECT_EQ(s->Pixel(11, 1), s->Pixel(5, 1)) << "copied pixels are copied again";
    EXPECT_EQ(std::vector<uint16_t>(s->Bits(), s->Bits() + w * h), expected);
}

TEST(Surface, PaletteImageDrawsTheSameWithItsDisplayCopy) {
    BitmapData b;
    b.Width = 7, b.Height = 5, b.BitCount = 8;
    for (int i = 0; i < 256; ++i)
        b.Palette.push_back(uint32_t(i) * 0x030507u);
    for (int i = 0; i < 35; ++i)
        b.Pixels.push_back(uint32_t(i * 7));
    PalettedImage image;
    image.Assign(b);
    // Placed past each edge of a small surface, with and without the copy.
    for (auto [x, y] : {std::pair{0, 0}, std::pair{-3, 2}, std::pair{2, -2}, std::pair{-8, 0}}) {
        auto plain = Blank(6, 4), copied = Blank(6, 4);
        plain->Fill(0x1234), copied->Fill(0x1234);
        ASSERT_FALSE(image.DisplayCopyUsable());
        plain->Canvas().Draw(x, y, image);
        image.MakeDisplayCopy();
        ASSERT_TRUE(image.DisplayCopyUsable());
        copied->Canvas().Draw(x, y, image);
        EXPECT_EQ(std::vector<uint16_t>(plain->Bits(), plain->Bits() + 24),
                  std::vector<uint16_t>(copied->Bits(), copied->Bits() + 24))
            << x << "," << y;
        image.Assign(b); // a new pixel store drops the copy
    }
    image.MakeDisplayCopy();
    image.Palette[0] = 0xFFFFFF;
    EXPECT_FALSE(image.DisplayCopyUsable()) << "a changed palette is drawn from the indices";
}

TEST(Surface, CopySurfaceNeedsTheRectangleToFitBoth) {
    auto src = Numbered(4, 4);
    auto d = Blank(4, 4);
    EXPECT_FALSE(d->CopySurface(2, 2, *src, Bounds(0, 0, 3, 3)));
    EXPECT_EQ(d->Pixel(2, 2), 0);
    EXPECT_FALSE(d->CopySurface(0, 0, *src, Bounds(2, 2, 3, 3)));
    EXPECT_TRUE(d->CopySurface(1, 1, *src, Bounds(0, 0, 3, 3)));
    EXPECT_EQ(d->Pixel(1, 1), 1);
    EXPECT_EQ(d->Pixel(3, 3), 1 + 2 + 200);
}

TEST(Surface, ColourConversion) {
    EXPECT_EQ(ColorToPixel(0x000000), 0);
    EXPECT_EQ(ColorToPixel(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(ColorToPixel(0x0000FF), 0xF800) << "canvas colours are 0x00BBGGRR";
    EXPECT_EQ(ColorToPixel(0x00FF00), 0x07E0);
    EXPECT_EQ(RgbValueToPixel(0xFF0000), 0xF800) << "picture colours are 0x00RRGGBB";
    EXPECT_EQ(PixelToRgbValue(0xFFFF), 0xFFFFFFu);
    EXPECT_EQ(PixelToRgbValue(0xF800), 0xFF0000u);
}

TEST(Canvas, TextNeedsPixelsAndKeepsItsFont) {
    HeadlessPresenter presenter;
    TextRenderer fonts;
    Display display(presenter, &fonts);
    Surface s(&display);
    try {
        s.Canvas().WriteText(0, 0, "x");
        FAIL() << "a canvas without pixels must refuse";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "IDirectDrawSurface は作成されていません");
    }
    s.SetSize(200, 40);
    s.Fill(0);
    SurfaceCanvas& c = s.Canvas();
    c.Font.Size = 10;
    c.Font.Color = 0x00FF00;
    c.TextBackground = std::nullopt;
    EXPECT_EQ(&s.Canvas(), &c);
    EXPECT_EQ(s.Canvas().Font.Size, 10) << "settings stay from one use to the next";
    if (!fonts.Available()) GTEST_SKIP() << "no font installed";
    const int w = c.TextWidth("Now Loading ...");
    EXPECT_GT(w, 60);
    EXPECT_LT(w, 120);
    EXPECT_GT(c.TextWidth("BMS ファイルがありません"), c.TextWidth("BMS"));
    c.WriteText(5, 5, "Hello");
    int green = 0, other = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            uint16_t p = s.Pixel(x, y);
            green += p == 0x07E0;
            other += p != 0 && p != 0x07E0;
            if (p) {
                EXPECT_GE(x, 5);
            }
        }
    EXPECT_GT(green, 20);
    EXPECT_EQ(other, 0) << "text is drawn without anti-aliasing and without a box";
    // An opaque brush paints the text's box.
    c.TextBackground = 0xFFFFFF;
    c.TextBackground = 0x0000FF;
    c.WriteText(100, 5, "Hi");
    EXPECT_EQ(s.Pixel(100, 5), 0xF800);
}

TEST(Canvas, TextInksExactlyTheMaskClippedToTheSurface) {
    HeadlessPresenter presenter;
    TextRenderer fonts;
    if (!fonts.Available()) GTEST_SKIP() << "no font installed";
    Display display(presenter, &fonts);
    Surface s(&display);
    s.SetSize(60, 20);
    SurfaceCanvas& c = s.Canvas();
    c.Font.Size = 12;
    c.Font.Color = 0xFFFFFF;
    c.TextBackground = std::nullopt;
    const std::string text = "WMgy 朝のステップ";
    const TextMask& mask = fonts.Render(c.Font.Size, text);
    ASSERT_GT(mask.Width, 40) << "wider than one 8-pixel block, with a tail";
    // Placed past every edge in turn: each pixel is inked exactly where the
    // mask is, and nothing outside the surface is touched.
    for (auto [x, y] : {std::pair{-7, -5}, std::pair{0, 0}, std::pair{40, 9}, std::pair{-3, 12},
                        std::pair{-9, 1}}) {
        s.Fill(0);
        c.WriteText(x, y, text);
        for (int sy = 0; sy < 20; ++sy)
            for (int sx = 0; sx < 60; ++sx) {
                const int mx = sx - x, my = sy - y;
                const bool inked = mx >= 0 && my >= 0 && mx < mask.Width && my < mask.Height &&
                                   mask.Bits[size_t(my) * size_t(mask.Width) + size_t(mx)] != 0;
                ASSERT_EQ(s.Pixel(sx, sy), inked ? 0xFFFF : 0)
                    << sx << "," << sy << " at " << x << "," << y;
            }
    }
}
