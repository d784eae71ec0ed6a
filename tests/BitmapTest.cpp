// The BMP reader in every form it takes (decoded whole, into a reused buffer
// and stretched straight onto screen pixels), the packed-bitmap reader, JPEG
// errors, and the palette image.
#include "TestUtil.h"
#include "base/Errors.h"
#include "formats/PalettedImage.h"
#include "formats/Picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

using namespace tappo;
using namespace tappo::test;

namespace {

// Two-colour palette: 0 = black, 1 = red, 2 = green, 3 = blue.
Bytes Palette4() {
    Bytes t;
    t.u32(0).u32(0xFF0000).u32(0x00FF00).u32(0x0000FF);
    return t;
}

} // namespace

TEST(Bmp, ReadsIndexedBitmapsBottomUpAndTopDown) {
    // 3 x 2, 8 bits, rows padded to 4 bytes; stored bottom row first.
    Bytes packed = InfoHeader(3, 2, 8, 0, 4);
    packed.raw(Palette4().b);
    packed.u8(3).u8(2).u8(1).u8(0); // bottom row
    packed.u8(1).u8(1).u8(2).u8(0); // top row
    BitmapData b = DecodePackedDib(packed.b.data(), packed.b.size());
    EXPECT_EQ(b.BitCount, 8);
    EXPECT_EQ(b.Raw(0, 0), 1u);
    EXPECT_EQ(b.Raw(2, 0), 2u);
    EXPECT_EQ(b.Raw(0, 1), 3u);
    EXPECT_EQ(b.ColourAt(0, 1), 0x0000FFu);

    Bytes top = InfoHeader(3, -2, 8, 0, 4);
    top.raw(Palette4().b).u8(1).u8(1).u8(2).u8(0).u8(3).u8(2).u8(1).u8(0);
    std::vector<uint8_t> file = WithFileHeader(top.b, uint32_t(top.b.size() - 8));
    BitmapData t = DecodeBmpFile(file.data(), file.size());
    EXPECT_EQ(t.Raw(0, 0), 1u);
    EXPECT_EQ(t.Raw(0, 1), 3u);
}

TEST(Bmp, ReadsOneAndFourBitPixels) {
    Bytes one = InfoHeader(10, 1, 1);
    one.u32(0).u32(0xFFFFFF).u8(0b10100000).u8(0b01000000).u8(0).u8(0);
    BitmapData b1 = DecodePackedDib(one.b.data(), one.b.size());
    EXPECT_EQ(b1.Raw(0, 0), 1u);
    EXPECT_EQ(b1.Raw(1, 0), 0u);
    EXPECT_EQ(b1.Raw(2, 0), 1u);
    EXPECT_EQ(b1.Raw(9, 0), 1u);
    EXPECT_EQ(b1.Palette.size(), 256u);

    Bytes four = InfoHeader(3, 1, 4, 0, 4);
    four.raw(Palette4().b).u8(0x12).u8(0x30).u8(0).u8(0);
    BitmapData b4 = DecodePackedDib(four.b.data(), four.b.size());
    EXPECT_EQ(b4.Raw(0, 0), 1u);
    EXPECT_EQ(b4.Raw(1, 0), 2u);
    EXPECT_EQ(b4.Raw(2, 0), 3u);
}

TEST(Bmp, ReadsTrueColourAndBitFields) {
    Bytes b24 = InfoHeader(2, 1, 24);
    b24.u8(0x11).u8(0x22).u8(0x33).u8(0x44).u8(0x55).u8(0x66).u8(0).u8(0);
    BitmapData t = DecodePackedDib(b24.b.data(), b24.b.size());
    EXPECT_EQ(t.Raw(0, 0), 0x332211u);
    EXPECT_EQ(t.Raw(1, 0), 0x665544u);

    Bytes b16 = InfoHeader(2, 1, 16); // 5-5-5 without masks
    b16.u16(0x7C00).u16(0x001F);
    BitmapData s = DecodePackedDib(b16.b.data(), b16.b.size());
    EXPECT_EQ(s.Raw(0, 0), 0xFF0000u);
    EXPECT_EQ(s.Raw(1, 0), 0x0000FFu);

    Bytes b565 = InfoHeader(1, 1, 16, 3); // bit fields: 5-6-5
    b565.u32(0xF800).u32(0x07E0).u32(0x001F).u16(0x07E0).u16(0);
    BitmapData g = DecodePackedDib(b565.b.data(), b565.b.size());
    EXPECT_EQ(g.Raw(0, 0), 0x00FF00u);

    Bytes b32 = InfoHeader(1, 1, 32);
    b32.u32(0x00ABCDEF);
    EXPECT_EQ(DecodePackedDib(b32.b.data(), b32.b.size()).Raw(0, 0), 0xABCDEFu);
}

TEST(Bmp, DecodesRunLengthCodedPixels) {
    // RLE8 4 x 2: bottom row "run of 3 x 1, then absolute 2", top row a delta then 2 x 3.
    Bytes rle8 = InfoHeader(4, 2, 8, 1, 4);
    rle8.raw(Palette4().b);
    rle8.u8(3).u8(1).u8(0).u8(3).u8(2).u8(2).u8(2).u8(0); // absolute run of 3 (padded)
    rle8.u8(0).u8(0);                                     // end of line
    rle8.u8(0).u8(2).u8(1).u8(0).u8(2).u8(3);             // delta (1, 0), then 2 x 3
    rle8.u8(0).u8(1);                                     // end of bitmap
    BitmapData b = DecodePackedDib(rle8.b.data(), rle8.b.size());
    EXPECT_EQ(b.Raw(0, 1), 1u);
    EXPECT_EQ(b.Raw(2, 1), 1u);
    EXPECT_EQ(b.Raw(3, 1), 2u) << "runs past the row are cut off";
    EXPECT_EQ(b.Raw(0, 0), 0u);
    EXPECT_EQ(b.Raw(1, 0), 3u);
    EXPECT_EQ(b.Raw(2, 0), 3u);

    Bytes rle4 = InfoHeader(4, 1, 4, 2, 4);
    rle4.raw(Palette4().b);
    rle4.u8(3).u8(0x12).u8(0).u8(0).u8(0).u8(1); // 1 2 1, then end
    BitmapData f = DecodePackedDib(rle4.b.data(), rle4.b.size());
    EXPECT_EQ(f.Raw(0, 0), 1u);
    EXPECT_EQ(f.Raw(1, 0), 2u);
    EXPECT_EQ(f.Raw(2, 0), 1u);
    EXPECT_EQ(f.Raw(3, 0), 0u);
}

TEST(Bmp, RefusesMalformedFilesWithTheirMessage) {
    const std::string bad = "ビットマップイメージが不正です";
    Bytes ok = InfoHeader(2, 2, 24);
    ok.raw(std::vector<uint8_t>(16, 0));
    std::vector<uint8_t> file = WithFileHeader(ok.b, 40);
    std::vector<uint8_t> notBm = file;
    notBm[0] = 'X';
    EXPECT_EQ(ErrorOf([&] { DecodeBmpFile(notBm.data(), notBm.size()); }), bad);
    std::vector<uint8_t> cut(file.begin(), file.begin() + 60);
    EXPECT_EQ(ErrorOf([&] { DecodeBmpFile(cut.data(), cut.size()); }), bad);
    EXPECT_EQ(ErrorOf([&] { DecodeBmpFile(file.data(), 10); }), bad);
    Bytes huge = InfoHeader(16000, 16000, 24);
    std::vector<uint8_t> hugeFile = WithFileHeader(huge.b, 40);
    EXPECT_EQ(ErrorOf([&] { DecodeBmpFile(hugeFile.data(), hugeFile.size()); }), bad)
        << "refused before any pixel memory is taken";
    Bytes badBits = InfoHeader(2, 2, 7);
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(badBits.b.data(), badBits.b.size()); }),
              "不正な DIB です");
    Bytes v5 = InfoHeader(2, 2, 24);
    v5.b[0] = 124; // a larger header is fine in a file but not in a packed bitmap
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(v5.b.data(), v5.b.size()); }), "不正な DIB です");
    Bytes rleTopDown = InfoHeader(2, -2, 8, 1);
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(rleTopDown.b.data(), rleTopDown.b.size()); }),
              "不正な DIB です");
}

TEST(Bmp, WrittenFilesReadBack) {
    BitmapData b;
    b.Width = 5, b.Height = 3, b.BitCount = 8;
    b.Palette = {0x102030, 0x405060};
    b.Pixels.assign(15, 0);
    b.Pixels[7] = 1;
    std::vector<uint8_t> bytes = EncodeBmp(b);
    BitmapData r = DecodeBmpFile(bytes.data(), bytes.size());
    EXPECT_EQ(r.Raw(2, 1), 1u);
    EXPECT_EQ(r.ColourAt(2, 1), 0x405060u);
    EXPECT_EQ(r.ColourAt(0, 0), 0x102030u);
}

TEST(Bmp, RunLengthGapsAreZeroInAReusedBuffer) {
    // The decoding buffer is not cleared before a picture: whatever a stream
    // leaves out must still come out 0, and the rows a stretch does not read
    // are the only ones left alone.
    const std::vector<uint8_t> gapped = GappedRleBmp(64, 40, 3);
    const BitmapData fresh = DecodeBmpFile(gapped.data(), gapped.size());
    Image white(64, 40);
    std::fill(white.Rgb.begin(), white.Rgb.end(), 0xFFFFFFu);
    const std::vector<uint8_t> plain = EncodeBmp(BitmapFromPicture(white));
    BitmapData reused;
    DecodeBmpFile(plain.data(), plain.size(), reused);
    DecodeBmpFile(gapped.data(), gapped.size(), reused);
    EXPECT_EQ(reused.Pixels, fresh.Pixels);
    EXPECT_EQ(fresh.Raw(63, 39), 0u) << "a row ended early";
    EXPECT_EQ(fresh.Raw(0, 0), 0u) << "rows after the end mark";
}

TEST(Bmp, StretchedDrawingEqualsTheDecodedPictureStretched) {
    // Every kind of stream drawn straight onto pixels of other sizes (smaller,
    // larger, not dividing) equals the decoded picture's colours picked by
    // nearest pixel, with a decoding buffer that held another picture before.
    Bytes four = InfoHeader(37, 9, 4, 2, 16);
    for (uint32_t i = 0; i < 16; ++i)
        four.u32(i * 0x0A0B0C + 0x050505);
    four.u8(7).u8(0x3C).u8(0).u8(5).u8(0x12).u8(0x34).u8(0x50).u8(
        0);                           // alternating, then absolute 1 2 3 4 5
    four.u8(0).u8(2).u8(3).u8(1);     // delta (3, 1)
    four.u8(40).u8(0x77).u8(0).u8(0); // past the row end, end of line
    four.u8(4).u8(0x9A).u8(0).u8(1);  // then the end
    const std::vector<uint8_t> files[] = {GappedRleBmp(64, 40, 3), GappedRleBmp(333, 251, 5),
                                          WithFileHeader(four.b, 40 + 64),
                                          EncodeBmp(BitmapFromPicture([] {
                                              Image p(50, 30);
                                              for (size_t k = 0; k < p.Rgb.size(); ++k)
                                                  p.Rgb[k] = uint32_t(k * 0x030507) & 0xFFFFFF;
                                              return p;
                                          }()))};
    Image white(640, 480);
    std::fill(white.Rgb.begin(), white.Rgb.end(), 0xFFFFFFu);
    const std::vector<uint8_t> plain = EncodeBmp(BitmapFromPicture(white));
    for (const std::vector<uint8_t>& file : files) {
        const BitmapData picture = DecodeBmpFile(file.data(), file.size());
        for (const auto& [w, h] : {std::pair{15, 10}, {64, 40}, {100, 77}, {320, 240}}) {
            BitmapData scratch;
            DecodeBmpFile(plain.data(), plain.size(), scratch);
            std::vector<uint16_t> out(size_t(w) * size_t(h), 0x1234);
            DrawBmpFileStretched(file.data(), file.size(),
                                 {.Pixels = out.data(), .Width = w, .Height = h}, scratch);
            for (int dy = 0; dy < h; ++dy)
                for (int dx = 0; dx < w; ++dx) {
                    const int sx = int((long long)dx * picture.Width / w),
                              sy = int((long long)dy * picture.Height / h);
                    ASSERT_EQ(out[size_t(dy) * size_t(w) + size_t(dx)],
                              RgbValueToPixel(picture.ColourAt(sx, sy)))
                        << picture.Width << "x" << picture.Height << " onto " << w << "x" << h
                        << " at " << dx << "," << dy;
                }
        }
    }
}

TEST(Jpeg, BrokenStreamsGiveTheDecoderMessageNumber) {
    const std::vector<uint8_t> junk = {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3};
    const std::string text = ErrorOf([&] { DecodeJpeg(junk.data(), junk.size()); });
    EXPECT_EQ(text.rfind("JPEG エラー #", 0), 0u) << text;
    const std::vector<uint8_t> empty;
    EXPECT_EQ(ErrorOf([&] { DecodeJpeg(empty.data(), 0); }).rfind("JPEG エラー #", 0), 0u);
}

TEST(Dib, PixelsSizesAndScanLines) {
    PalettedImage dib;
    BitmapData b;
    b.Width = 4, b.Height = 2, b.BitCount = 8, b.Palette = {0, 0xFF0000};
    b.Pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    dib.Assign(b);
    EXPECT_EQ(dib.PalettePixel(3, 1), 8u);
    EXPECT_EQ(dib.PalettePixel(4, 0), 0u);
    EXPECT_EQ(dib.PalettePixel(0, -1), 0u);
    EXPECT_EQ(dib.ScanLine(1)[0], 5);
    EXPECT_EQ(ErrorOf([&] { dib.ScanLine(2); }),
              "スキャンラインのインデックスが範囲を越えました (2)");
    EXPECT_EQ(ErrorOf([&] { dib.ScanLine(-1); }),
              "スキャンラインのインデックスが範囲を越えました (-1)");

    dib.SetHeight(2); // same size: the pixels stay
    EXPECT_EQ(dib.PalettePixel(0, 0), 1u);
    dib.SetHeight(3); // a new size: a new, cleared store with the same depth and palette
    EXPECT_EQ(dib.PalettePixel(0, 0), 0u);
    EXPECT_EQ(dib.Height(), 3);
    EXPECT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.Palette[1], 0xFF0000u);
    dib.SetWidth(0);
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.Height(), 0);
    dib.SetHeight(5);
    EXPECT_EQ(dib.BitCount(), 8) << "an empty image grows with 8 bits per pixel";
}
