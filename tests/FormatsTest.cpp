// The file formats on their own: archives read into plain pictures without any
// display, and PNG written from a picture.
#include "TestUtil.h"
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/ArchiveReader.h"
#include "formats/ArchiveWriter.h"
#include "formats/Picture.h"
#include "formats/Png.h"
#include "formats/WaveWriter.h"
#include "platform/SpriteSheet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace tappo {
namespace {

std::vector<uint8_t> SolidBmpFile(int w, int h, uint32_t rgb) {
    return EncodeBmp(BitmapFromPicture(Image(w, h, rgb)));
}

std::vector<uint8_t> TwoItemArchive() {
    std::vector<ArchiveItem> items(2);
    items[0].Name = "Receptors";
    items[0].Data = SolidBmpFile(16, 8, 0x808080);
    items[1].Name = "Stars";
    items[1].PatternWidth = 10, items[1].PatternHeight = 10, items[1].SkipWidth = 4;
    items[1].Transparent = false, items[1].SystemMemory = true;
    items[1].TransparentColor = 0xFF00FF;
    items[1].PictureClass = "";
    return WriteArchive(items);
}

TEST(Formats, AnArchiveReadsIntoPlainPictures) {
    const std::vector<uint8_t> bytes = TwoItemArchive();
    const ArchiveContents contents = ReadArchive(bytes.data(), bytes.size());
    ASSERT_EQ(contents.Items.size(), 2u);
    const ArchivePicture& receptors = contents.Items[0];
    EXPECT_EQ(receptors.Name, "Receptors");
    EXPECT_TRUE(receptors.Transparent);
    ASSERT_EQ(receptors.Picture.Width, 16);
    EXPECT_EQ(receptors.Picture.At(3, 3), 0x808080u);
    const ArchivePicture& stars = contents.Items[1];
    EXPECT_EQ(stars.PatternWidth, 10);
    EXPECT_EQ(stars.SkipWidth, 4);
    EXPECT_FALSE(stars.Transparent);
    EXPECT_TRUE(stars.SystemMemory);
    EXPECT_EQ(stars.TransparentColor, 0xFF00FFu);
    EXPECT_TRUE(stars.Picture.Empty());
}

TEST(Formats, ADamagedArchiveLeavesTheImageListEmpty) {
    const std::vector<uint8_t> bytes = TwoItemArchive();
    const std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 8);
    EXPECT_THROW(ReadArchive(cut.data(), cut.size()), Error);
    SpriteSheet list;
    list.LoadFromBytes(bytes.data(), bytes.size());
    ASSERT_EQ(list.Items.Count(), 2);
    EXPECT_THROW(list.LoadFromBytes(cut.data(), cut.size()), Error);
    EXPECT_EQ(list.Items.Count(), 0) << "no half-read list";
}

TEST(Formats, PngWrittenFromAPictureReadsBack) {
    Image picture(3, 2);
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000};
    for (int i = 0; i < 6; ++i)
        picture.At(i % 3, i / 3) = colours[i];
    const std::vector<uint8_t> png = EncodePng(picture);
    ASSERT_TRUE(IsPng(png.data(), png.size()));
    const Image back = DecodePng(png.data(), png.size());
    EXPECT_EQ(back.Width, 3);
    EXPECT_EQ(back.Height, 2);
    EXPECT_EQ(back.Rgb, picture.Rgb);
    EXPECT_THROW(EncodePng(Image()), Error);
}

TEST(Formats, APicturesContentChoosesItsReaderAndItsNameOnlyBreaksTies) {
    const auto kind = [](std::vector<uint8_t> bytes, const char* name) {
        return PictureKindOf(bytes.data(), bytes.size(), name);
    };
    const std::vector<uint8_t> png = EncodePng(Image(1, 1)), jpeg = {0xFF, 0xD8, 0xFF, 0xE0},
                               bmp = {'B', 'M', 0}, none = {1, 2, 3};
    EXPECT_EQ(kind(png, "a.bmp"), PictureKind::Png);
    EXPECT_EQ(kind(jpeg, "a.png"), PictureKind::Jpeg);
    EXPECT_EQ(kind(bmp, "a.JPG"), PictureKind::Bmp);
    EXPECT_EQ(kind({'G', 'I', 'F', '8', '7', 'a'}, "a.bmp"), PictureKind::Gif);
    EXPECT_EQ(kind(none, "dir.png/a.JPEG"), PictureKind::Jpeg);
    EXPECT_EQ(kind(none, "a.Png"), PictureKind::Png);
    EXPECT_EQ(kind(none, "a.dib"), PictureKind::Bmp);
    EXPECT_EQ(kind(none, "dir.bmp/a"), PictureKind::Unknown);
    // The banner reader goes by the same rule: a PNG under a ".jpg" name reads.
    test::TempDir dir;
    WriteFileAtomic(dir.File("banner.jpg"), png);
    EXPECT_EQ(LoadPictureFile(dir.File("banner.jpg")).Width, 1);
    WriteFileAtomic(dir.File("banner.tga"), none);
    EXPECT_EQ(test::ErrorOf([&] { LoadPictureFile(dir.File("banner.tga")); }),
              "拡張子 .tga の画像形式は処理できません");
}

TEST(WaveFileWriter, WritesAWholeFileOrNone) {
    test::TempDir dir;
    const std::vector<int16_t> frames(2 * 100, 7);
    {
        WaveFileWriter wav(dir.File("ok.wav"), 250);
        wav.Write(frames.data(), 100);
        wav.Write(frames.data(), 100);
        wav.Finish();
        EXPECT_EQ(ReadWholeFile(dir.File("ok.wav")).size(), 44u + 200 * 4);
    }
    {
        // Past the longest file the writer makes: nothing more is written, and
        // the file is refused rather than left with sizes that lie.
        WaveFileWriter wav(dir.File("long.wav"), 250);
        wav.Write(frames.data(), 100);
        wav.Write(frames.data(), 100);
        EXPECT_FALSE(wav.TooLong());
        wav.Write(frames.data(), 100);
        EXPECT_TRUE(wav.TooLong());
        EXPECT_EQ(wav.Frames(), 200u);
        EXPECT_THROW(wav.Finish(), Error);
    }
    {
        WaveFileWriter wav(dir.File("dropped.wav")); // never finished
        wav.Write(frames.data(), 100);
    }
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.Folder()))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"ok.wav"});
}

} // namespace
} // namespace tappo
