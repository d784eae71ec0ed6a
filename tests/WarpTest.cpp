// The warp background's tables and animation.
#include "effects/Warp.h"
#include "TestUtil.h"
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "platform/Surface.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace tappo;
using namespace tappo::test;

namespace {

// An 8-bit select.bmp whose pixel (x, y) is (x + 3y) mod 256.
void WritePicture(const TempDir& dir, int w, int h) {
    BitmapData b;
    b.Width = w, b.Height = h, b.BitCount = 8;
    b.Palette.resize(256);
    for (int i = 0; i < 256; ++i)
        b.Palette[size_t(i)] = uint32_t(i) * 0x010101u;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.Pixels.push_back(uint32_t((x + 3 * y) % 256));
    WriteFileAtomic(dir.File("select.bmp"), EncodeBmp(b));
}

} // namespace

TEST(Warp, TablesHoldTheirKnownValues) {
    TempDir dir;
    WritePicture(dir, 320, 240);
    auto warp = std::make_unique<WarpEffect>(dir.Folder());
    const auto& sine = warp->SineTable;
    for (int i : {64, 320, 576, 832})
        EXPECT_EQ(sine[size_t(i)], 38) << i;
    for (int i : {192, 448, 704})
        EXPECT_EQ(sine[size_t(i)], 0) << i;
    for (int i : {0, 128, 256, 384, 512, 640, 768})
        EXPECT_EQ(sine[size_t(i)], 19) << i;

    EXPECT_EQ(warp->DistanceTable[120][160], 0);
    EXPECT_EQ(warp->AngleTable[120][160], 127);
    EXPECT_EQ(warp->AngleTable[120][0], 255) << "left of the centre";
    EXPECT_EQ(warp->AngleTable[120][159], 255);
    EXPECT_EQ(warp->AngleTable[120][161], 127) << "right of the centre";
    EXPECT_EQ(warp->AngleTable[239][160], 191) << "straight below";
    EXPECT_EQ(warp->AngleTable[0][160], 63) << "straight above";
    EXPECT_EQ(warp->DistanceTable[0][0], 200);
    EXPECT_EQ(warp->AngleTable[0][0], 26);
    EXPECT_EQ(warp->DistanceTable[239][319], 198);
    EXPECT_EQ(warp->AngleTable[239][319], 153);
    EXPECT_EQ(warp->PictureTable[10][20], (20 + 30) % 256);
    EXPECT_EQ(warp->WarpImage.Width(), 320);
    EXPECT_EQ(warp->WarpImage.Height(), 240);
    EXPECT_EQ(warp->WarpImage.Palette[5], 0x050505u);
}

TEST(Warp, UpdatesFollowTheLookupsAndRepeatEvery256) {
    TempDir dir;
    WritePicture(dir, 320, 240);
    auto warp = std::make_unique<WarpEffect>(dir.Folder());
    // Untouched columns still show the picture on the first frame. Frames
    // write the display copy; the index picture is brought up to date on request.
    warp->UpdateWarp();
    warp->SyncIndexPicture();
    EXPECT_EQ(warp->WarpFrame, 1);
    auto at = [&](int x, int y) { return warp->WarpImage.PalettePixel(x, y); };
    auto expected = [&](int x, int y, int f) {
        int u = (warp->AngleTable[y][x] + f) % 256;
        int v = warp->DistanceTable[y][x] + warp->SineTable[size_t(f + x + y)];
        return uint32_t(warp->PictureTable[v][u]);
    };
    EXPECT_EQ(at(1, 0), expected(1, 0, 1)) << "odd columns on odd frames";
    EXPECT_EQ(at(0, 0), 0u) << "an even column keeps the stored picture: (0 + 0) mod 256";
    EXPECT_EQ(at(2, 0), 2u);
    EXPECT_EQ(at(1, 1), at(1, 0)) << "odd rows copy the row above";
    EXPECT_EQ(at(2, 1), at(2, 0));
    warp->UpdateWarp();
    warp->SyncIndexPicture();
    EXPECT_EQ(at(100, 50), expected(100, 50, 2));
    EXPECT_EQ(at(101, 50), expected(101, 50, 1));

    std::vector<uint8_t> after2(warp->WarpImage.ScanLine(0), warp->WarpImage.ScanLine(0) + 320);
    for (int i = 0; i < 256; ++i)
        warp->UpdateWarp();
    warp->SyncIndexPicture();
    EXPECT_EQ(warp->WarpFrame, 2);
    EXPECT_EQ(std::vector<uint8_t>(warp->WarpImage.ScanLine(0), warp->WarpImage.ScanLine(0) + 320),
              after2);
}

TEST(Warp, SmallPictureReadsIndexZeroOutside) {
    TempDir dir;
    WritePicture(dir, 16, 8);
    auto warp = std::make_unique<WarpEffect>(dir.Folder());
    EXPECT_EQ(warp->PictureTable[3][5], 5 + 9);
    EXPECT_EQ(warp->PictureTable[100][100], 0);
    EXPECT_EQ(warp->WarpImage.Width(), 320);
    for (int i = 0; i < 3; ++i)
        warp->UpdateWarp(); // no read outside the tables
    warp->SyncIndexPicture();
    EXPECT_EQ(warp->WarpImage.PalettePixel(0, 0), 0u) << "the corner lies outside the picture";
}

TEST(Warp, MissingPictureRaisesTheLoaderError) {
    TempDir dir;
    try {
        auto warp = std::make_unique<WarpEffect>(dir.Folder());
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + dir.Folder() + "select.bmp は開けません");
    }
}

TEST(Warp, FastAndPortableUpdatesDrawTheSamePicture) {
    TempDir dir;
    WritePicture(dir, 320, 240);
    auto fast = std::make_unique<WarpEffect>(dir.Folder());
    auto portable = std::make_unique<WarpEffect>(dir.Folder());
    Surface a, b;
    a.SetSize(320, 240), b.SetSize(320, 240);
    // Past a whole turn, and with a palette change half-way (the display copy
    // is made again), each frame drawn both ways and by the palette itself.
    for (int frame = 0; frame < 300; ++frame) {
        if (frame == 150)
            for (auto* w : {fast.get(), portable.get()})
                w->WarpImage.Palette[7] = 0x123456;
        fast->UpdateWarp();
        portable->UpdateWarp();
        portable->UpdateWarpPortable();
        fast->UpdateWarp();
        a.Canvas().Draw(0, 0, fast->WarpImage);
        b.Canvas().Draw(0, 0, portable->WarpImage);
        fast->SyncIndexPicture();
        portable->SyncIndexPicture();
        for (int y = 0; y < 240; ++y)
            ASSERT_EQ(0, std::memcmp(fast->WarpRows[y], portable->WarpRows[y], 320))
                << frame << " " << y;
        ASSERT_EQ(0, std::memcmp(a.Bits(), b.Bits(), 320 * 240 * 2)) << frame;
    }
    // The display copy matches the palette conversion of the index pixels.
    fast->SyncIndexPicture();
    ASSERT_TRUE(fast->WarpImage.DisplayCopyUsable());
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            ASSERT_EQ(a.Pixel(x, y), RgbValueToPixel(fast->WarpImage.Palette[fast->WarpRows[y][x]]))
                << x << "," << y;
    fast->WarpImage.Palette[fast->WarpRows[0][0]] = 0xFF0000;
    EXPECT_FALSE(fast->WarpImage.DisplayCopyUsable());
    a.Canvas().Draw(0, 0, fast->WarpImage);
    EXPECT_EQ(a.Pixel(0, 0), 0xF800) << "a changed palette draws from the index pixels";
}

TEST(Warp, IndexPictureAgreesWithTheDisplayCopyFromTheFirstFrame) {
    // The first frames still show parts of the loaded picture (in the odd
    // rows too, where the first frame copied nothing down), and a palette
    // change remakes the display copy from the index picture: after each
    // frame, either way, the index picture through the palette is what is drawn.
    TempDir dir;
    WritePicture(dir, 320, 240);
    for (bool fastPath : {true, false}) {
        for (int start : {0, 1}) {
            auto warp = std::make_unique<WarpEffect>(dir.Folder());
            warp->WarpFrame = uint8_t(start);
            Surface shown;
            shown.SetSize(320, 240);
            for (int frame = 0; frame < 6; ++frame) {
                if (frame == 3) warp->WarpImage.Palette[9] = 0x00FF00;
                fastPath ? warp->UpdateWarp() : warp->UpdateWarpPortable();
                shown.Canvas().Draw(0, 0, warp->WarpImage);
                warp->SyncIndexPicture();
                for (int y = 0; y < 240; ++y)
                    for (int x = 0; x < 320; ++x)
                        ASSERT_EQ(shown.Pixel(x, y),
                                  RgbValueToPixel(warp->WarpImage.Palette[warp->WarpRows[y][x]]))
                            << fastPath << " " << start << " " << frame << " " << x << "," << y;
            }
        }
    }
}
