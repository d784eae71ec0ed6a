// The sprite archive: what the writer writes reads back, every value tag the
// format allows is taken, malformed archives give their messages, and
// patterns are cut as the item's sizes say.
#include "TestUtil.h"
#include "base/Errors.h"
#include "formats/ArchiveWriter.h"
#include "platform/Display.h"
#include "platform/SpriteSheet.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <jpeglib.h>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<uint8_t> SolidBmp(int w, int h, uint32_t rgb) {
    BitmapData b;
    b.Width = w, b.Height = h, b.BitCount = 24;
    b.Pixels.assign(size_t(w) * h, rgb);
    return EncodeBmp(b);
}

std::vector<uint8_t> SmallJpeg(int w, int h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w), c.image_height = JDIMENSION(h);
    c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * 3, 200);
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    free(out);
    return bytes;
}

// A stream of one root object; `items` writes the collection's contents.
std::vector<uint8_t> Archive(const std::function<void(ArchiveStreamWriter&)>& items,
                             bool colourTable = true) {
    ArchiveStreamWriter s;
    s.Raw("TPF0", 4);
    s.ShortString("TPictureCollectionComponent");
    s.ShortString("Images");
    if (colourTable) {
        s.Property("List.ColorTable");
        s.Binary(std::vector<uint8_t>(1024, 1));
    }
    s.Property("List");
    s.U8(14);
    items(s);
    s.End();
    s.End();
    s.End();
    std::vector<uint8_t> out = ResourceHeader("images", uint32_t(s.Bytes.size()));
    out.insert(out.end(), s.Bytes.begin(), s.Bytes.end());
    return out;
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
    SpriteSheet list;
    try {
        list.LoadFromBytes(bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

struct Loaded {
    HeadlessPresenter presenter;
    Display display{presenter, nullptr};
    SpriteSheet list{&display};
    explicit Loaded(const std::vector<uint8_t>& bytes) {
        list.LoadFromBytes(bytes.data(), bytes.size());
        display.Open();
    }
    Sprite& Item(int i) { return list.Items.Items(i); }
};

} // namespace

TEST(Archive, WriterOutputReadsBack) {
    std::vector<ArchiveItem> items(3);
    items[0].Name = "Receptors";
    items[0].Data = SolidBmp(128, 32, 0x808080);
    items[1].Name = "Stars";
    items[1].PatternWidth = 10, items[1].PatternHeight = 10, items[1].SkipWidth = 4;
    items[1].Transparent = false, items[1].SystemMemory = true;
    items[1].TransparentColor = 0xFF00FF;
    items[1].Data = SolidBmp(38, 10, 0xFFFF00);
    items[2].Name = std::string(300, 'n'); // a long string
    items[2].PictureClass = "";
    Loaded a(WriteArchive(items));
    ASSERT_EQ(a.list.Items.Count(), 3);
    EXPECT_EQ(a.Item(0).Name, "Receptors");
    EXPECT_EQ(a.Item(0).Picture.Width, 128);
    EXPECT_TRUE(a.Item(0).Transparent);
    EXPECT_EQ(a.Item(1).PatternWidth, 10);
    EXPECT_EQ(a.Item(1).SkipWidth, 4);
    EXPECT_FALSE(a.Item(1).Transparent);
    EXPECT_EQ(a.Item(1).TransparentColor(), 0xFF00FFu);
    EXPECT_EQ(a.Item(1).PatternCount(), 3);
    EXPECT_EQ(a.Item(2).Name.size(), 300u);
    EXPECT_TRUE(a.Item(2).Picture.Empty());
    EXPECT_EQ(a.Item(2).PatternCount(), 0);
    EXPECT_EQ(a.list.Items.Find("stars"), &a.Item(1));
    try {
        a.list.Items.Items(3);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "リストのインデックスが範囲を超えています (3)");
    }
}

TEST(Archive, TakesEveryValueFormInAnyOrder) {
    // Packed bitmap with RLE8: 2 x 1, palette 0 = black, 1 = magenta.
    Bytes dib = InfoHeader(2, 1, 8, 1, 2);
    dib.u32(0).u32(0xFF00FF).u8(1).u8(1).u8(1).u8(0).u8(0).u8(1);
    const std::vector<uint8_t> jpeg = SmallJpeg(16, 8);
    auto bytes = Archive([&](ArchiveStreamWriter& s) {
        // Item 0: order number, properties reversed, i16/i32 sizes, identifier colour.
        s.Integer(0);
        s.U8(1);
        s.Property("TransparentColor"), s.Ident("clFuchsia");
        s.Property("Transparent"), s.Bool(true);
        s.Property("SystemMemory"), s.Bool(false);
        s.Property("Picture.Data"), s.Binary(PictureDataBlock("TDIB", dib.b));
        s.Property("PatternWidth"), s.U8(3), s.U16(1);
        s.Property("PatternHeight"), s.U8(4), s.U32(1);
        s.Property("Name"), s.U8(12), s.U32(4), s.Raw("dib!", 4);
        s.End();
        // Item 1: a JPEG picture, colour as a plain integer.
        s.U8(1);
        s.Property("Name"), s.String("jpeg");
        s.Property("Picture.Data"), s.Binary(PictureDataBlock("TJPEGImage", jpeg));
        s.Property("TransparentColor"), s.Integer(0x123456);
        s.End();
        // Item 2: a picture class nobody knows: no picture, stream stays in step.
        s.U8(1);
        s.Property("Picture.Data"), s.Binary(PictureDataBlock("TPNGObject", {1, 2, 3, 4}));
        s.Property("Name"), s.String("unknown");
        s.End();
    });
    Loaded a(bytes);
    ASSERT_EQ(a.list.Items.Count(), 3);
    EXPECT_EQ(a.Item(0).Name, "dib!");
    EXPECT_EQ(a.Item(0).Picture.Width, 2);
    EXPECT_EQ(a.Item(0).Picture.At(0, 0), 0xFF00FFu);
    EXPECT_EQ(a.Item(0).PatternCount(), 2);
    EXPECT_EQ(a.Item(1).Picture.Width, 16);
    EXPECT_EQ(a.Item(1).TransparentColor(), 0x123456u);
    EXPECT_EQ(a.Item(2).Name, "unknown");
    EXPECT_TRUE(a.Item(2).Picture.Empty());

    // The identifier colour keys out pure magenta; the black pixel still draws.
    Surface dest(&a.display);
    dest.SetSize(2, 1);
    dest.Fill(0x1234);
    a.list.Draw(0, dest, 0, 0, 0);
    a.list.Draw(0, dest, 1, 0, 1);
    EXPECT_EQ(dest.Pixel(0, 0), 0x1234);
    EXPECT_EQ(dest.Pixel(1, 0), 0);
}

TEST(Archive, MalformedArchivesGiveTheirMessages) {
    const std::string format = "不正なストリーム フォーマット";
    std::vector<ArchiveItem> one(1);
    one[0].Data = SolidBmp(4, 4, 0);
    const std::vector<uint8_t> good = WriteArchive(one);
    ASSERT_EQ(LoadError(good), "");

    auto changed = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> b = good;
        b[at] = v;
        return b;
    };
    EXPECT_EQ(LoadError(changed(0, 0xFE)), format);
    EXPECT_EQ(LoadError(changed(1, 11)), format);
    const size_t stream = ResourceHeader("TAPPOPLAY", 0).size();
    EXPECT_EQ(LoadError(changed(stream, 'X')), format) << "no TPF0 signature";
    EXPECT_EQ(LoadError({}), format);
    EXPECT_EQ(LoadError(std::vector<uint8_t>{0xFF, 10, 0}), format);
    std::vector<uint8_t> noName = {0xFF, 10, 0};
    noName.insert(noName.end(), 100, 'A'); // the name never ends within 79 bytes
    EXPECT_EQ(LoadError(noName), format);

    // Cut anywhere inside the stream: a read error, never a crash.
    for (size_t cut = stream + 4; cut < good.size(); cut += 7) {
        std::vector<uint8_t> b(good.begin(), good.begin() + long(cut));
        EXPECT_FALSE(LoadError(b).empty()) << "cut at " << cut;
    }
    EXPECT_EQ(LoadError(std::vector<uint8_t>(good.begin(), good.begin() + long(stream) + 10)),
              "ストリームからの読み込みエラー");

    EXPECT_EQ(LoadError(Archive([](ArchiveStreamWriter& s) {
                  s.U8(1), s.Property("Colour"), s.Integer(1), s.End();
              })),
              "プロパティが存在しません");
    EXPECT_EQ(LoadError(Archive([](ArchiveStreamWriter& s) {
                  s.U8(1), s.Property("Transparent"), s.Integer(1), s.End();
              })),
              "無効なプロパティ値です");
    EXPECT_EQ(LoadError(Archive([](ArchiveStreamWriter& s) {
                  s.U8(1), s.Property("TransparentColor"), s.Ident("clTartan"), s.End();
              })),
              "無効なプロパティ値です");
    Bytes badDib = InfoHeader(2, 1, 8);
    badDib.b[0] = 64;
    EXPECT_EQ(LoadError(Archive([&](ArchiveStreamWriter& s) {
                  s.U8(1), s.Property("Picture.Data"), s.Binary(PictureDataBlock("TDIB", badDib.b));
                  s.End();
              })),
              "不正な DIB です");
    Bytes rle3 = InfoHeader(2, 1, 8, 4);
    EXPECT_EQ(LoadError(Archive([&](ArchiveStreamWriter& s) {
                  s.U8(1), s.Property("Picture.Data"), s.Binary(PictureDataBlock("TDIB", rle3.b));
                  s.End();
              })),
              "不正な DIB です");
    const std::vector<uint8_t> notJpeg = {1, 2, 3};
    EXPECT_EQ(LoadError(Archive([&](ArchiveStreamWriter& s) {
                  s.U8(1), s.Property("Picture.Data"),
                      s.Binary(PictureDataBlock("TJPEGImage", notJpeg));
                  s.End();
              })).rfind("JPEG エラー #", 0),
              0u);
}

TEST(Archive, AnyDamagedByteGivesAnErrorOrAnArchiveNeverACrash) {
    std::vector<ArchiveItem> items(2);
    items[0].Data = SolidBmp(6, 4, 0x123456);
    items[0].PatternWidth = 2;
    Bytes dib = InfoHeader(3, 2, 4, 2, 2);
    dib.u32(0).u32(0xFFFFFF).u8(3).u8(0x10).u8(0).u8(0).u8(2).u8(0x11).u8(0).u8(1);
    items[1].PictureClass = "TDIB";
    items[1].Data = dib.b;
    const std::vector<uint8_t> good = WriteArchive(items);
    ASSERT_EQ(LoadError(good), "");
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::vector<uint8_t> b = good;
            b[i] ^= flip;
            HeadlessPresenter presenter;
            Display display(presenter, nullptr);
            SpriteSheet list(&display);
            try {
                list.LoadFromBytes(b.data(), b.size());
                display.Open(); // patterns of whatever was read
            } catch (const Error&) {
            }
        }
    }
}

TEST(Archive, MissingFileNamesThePath) {
    SpriteSheet list;
    try {
        list.LoadFromFile("/nonexistent/tappoplay.dxg");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "ファイル /nonexistent/tappoplay.dxg は開けません");
    }
}

TEST(Patterns, AreCutByPatternAndSkipSizes) {
    auto item = [](int w, int h, int pw, int ph, int sw, int sh) {
        ArchiveItem i;
        i.Data = SolidBmp(w, h, 0x00FF00);
        i.PatternWidth = pw, i.PatternHeight = ph, i.SkipWidth = sw, i.SkipHeight = sh;
        return i;
    };
    Loaded a(WriteArchive({item(50, 20, 0, 0, 0, 0), item(100, 32, 32, 32, 0, 0),
                           item(70, 32, 32, 32, 6, 0), item(64, 70, 32, 32, 0, 6),
                           item(20, 20, 30, 30, 0, 0)}));
    EXPECT_EQ(a.Item(0).PatternCount(), 1);
    EXPECT_EQ(a.Item(1).PatternCount(), 3) << "the last 4 columns give no pattern";
    ASSERT_EQ(a.Item(2).PatternCount(), 2);
    EXPECT_EQ(a.Item(2).Pattern(0).Area.Left, 0);
    EXPECT_EQ(a.Item(2).Pattern(1).Area.Left, 38);
    ASSERT_EQ(a.Item(3).PatternCount(), 4);
    EXPECT_EQ(a.Item(3).Pattern(2).Area.Top, 38) << "numbered row by row";
    EXPECT_EQ(a.Item(3).Pattern(3).Area.Left, 32);
    EXPECT_EQ(a.Item(4).PatternCount(), 0) << "a pattern larger than the picture";

    // Pattern 1 of a one-pattern item and negative patterns draw nothing.
    Surface dest(&a.display);
    dest.SetSize(60, 40);
    dest.Fill(0);
    a.list.Draw(0, dest, 0, 0, 1);
    a.list.Draw(0, dest, 0, 0, -1);
    EXPECT_EQ(dest.Pixel(0, 0), 0);
    a.list.Draw(0, dest, 0, 0, 0);
    EXPECT_EQ(dest.Pixel(49, 19), 0x07E0);
}

TEST(Patterns, TransparentFalseDrawsKeyColouredPixels) {
    ArchiveItem keyed, solid;
    keyed.Data = solid.Data = SolidBmp(2, 2, 0);
    solid.Transparent = false;
    Loaded a(WriteArchive({keyed, solid}));
    Surface dest(&a.display);
    dest.SetSize(2, 2);
    dest.Fill(0x5555);
    a.list.Draw(0, dest, 0, 0, 0);
    EXPECT_EQ(dest.Pixel(0, 0), 0x5555);
    a.list.Draw(1, dest, 0, 0, 0);
    EXPECT_EQ(dest.Pixel(0, 0), 0);
}
