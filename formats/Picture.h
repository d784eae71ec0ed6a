// Decoded pictures in memory: BMP files and packed bitmaps (with their palette
// kept), JPEG, and a plain RGB picture that every format can turn into.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tappo {

// 0x00BBGGRR canvas colour, or 0x00RRGGBB picture colour, to a 5-6-5 pixel.
inline uint16_t RgbToPixel(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}
inline uint16_t ColorToPixel(uint32_t bgr) {
    return RgbToPixel(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}
inline uint16_t RgbValueToPixel(uint32_t rgb) {
    return RgbToPixel((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Every index of a 0x00RRGGBB palette as its 5-6-5 pixel; an index past the
// palette's end is black.
using PixelTable = std::array<uint16_t, 256>;
template <typename Palette> PixelTable PaletteToPixels(const Palette& palette) {
    PixelTable table{};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = RgbValueToPixel(i < palette.size() ? palette[i] : 0);
    return table;
}

// True-colour picture, rows from the top, each pixel 0x00RRGGBB.
struct Image {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Rgb;

    Image() = default;
    Image(int w, int h, uint32_t fill = 0) : Width(w), Height(h), Rgb(size_t(w) * h, fill) {}
    uint32_t At(int x, int y) const { return Rgb[size_t(y) * Width + x]; }
    uint32_t& At(int x, int y) { return Rgb[size_t(y) * Width + x]; }
    bool Empty() const { return Width <= 0 || Height <= 0; }
};

struct PictureSize {
    int Width = 0;
    int Height = 0;
};

// A bitmap as stored: for 8 bits or less every pixel is its palette index,
// above that its colour as 0x00RRGGBB. Rows from the top.
struct BitmapData {
    int Width = 0;
    int Height = 0;
    int BitCount = 0;
    std::vector<uint32_t> Palette; // 0x00RRGGBB
    std::vector<uint32_t> Pixels;

    uint32_t Raw(int x, int y) const { return Pixels[size_t(y) * Width + x]; }
    uint32_t ColourAt(int x, int y) const;
    Image ToPicture() const;
};

// Largest picture any reader accepts, checked before pixel memory is taken,
// so a corrupt or hostile header cannot make the player allocate gigabytes.
inline constexpr int MaxPictureSide = 8192;
inline constexpr long long MaxPicturePixels = 32LL * 1024 * 1024;
bool PictureSizeAllowed(long long width, long long height);

// A whole BMP file ("BM" header). Throws Error with `errorText` on a bad file.
BitmapData DecodeBmpFile(const uint8_t* data, size_t size,
                         const char* errorText = "ビットマップイメージが不正です");
// The same into `out`, reusing its memory (for loading many pictures in a row).
void DecodeBmpFile(const uint8_t* data, size_t size, BitmapData& out,
                   const char* errorText = "ビットマップイメージが不正です");
// Where a picture is drawn stretched: `Width` x `Height` 5-6-5 pixels at
// `Pixels`, rows `Width` apart.
struct StretchTarget {
    uint16_t* Pixels;
    int Width, Height;
};
// A BMP file stretched (nearest pixel) over `onto`: pixel (dx, dy) shows the
// picture's pixel (dx * Width / onto.Width, dy * Height / onto.Height), the
// colour of DecodeBmpFile's result. Only the picture rows the stretch shows
// are decoded, run-length coded ones run by run straight onto the target;
// `scratch` keeps decoding memory from one file to the next. Throws as
// DecodeBmpFile.
void DrawBmpFileStretched(const uint8_t* data, size_t size, const StretchTarget& onto,
                          BitmapData& scratch,
                          const char* errorText = "ビットマップイメージが不正です");
// A packed bitmap: info header, masks, colour table and pixels, no file header.
// Only the 40-byte and the old 12-byte headers are accepted.
BitmapData DecodePackedDib(const uint8_t* data, size_t size,
                           const char* errorText = "不正な DIB です");

// Writes an uncompressed bottom-up BMP: 8 bits with palette when BitCount <= 8,
// otherwise 24 bits.
std::vector<uint8_t> EncodeBmp(const BitmapData& bitmap);
BitmapData BitmapFromPicture(const Image& picture);

// JPEG through libjpeg, to 24-bit colour. Throws "JPEG エラー #n" on a bad stream.
Image DecodeJpeg(const uint8_t* data, size_t size);
// The same stretched as DrawBmpFileStretched stretches, decoded row by row:
// only one row of the picture is held (libjpeg itself holds a progressive
// file's coefficients). Returns the picture's size; throws as DecodeJpeg.
PictureSize DrawJpegStretched(const uint8_t* data, size_t size, uint16_t* out, int width,
                              int height);

BitmapData LoadBmpFile(const std::string& path);

// Which reader a picture file goes to. Packs re-encode pictures under their old
// names, so the first bytes decide: PNG, JPEG and BMP ("BM") by their
// signatures, and GIF and WebP, which the player does not read. Bytes that say
// nothing leave it to the extension of `path` (case-insensitive): ".png",
// ".jpg" or ".jpeg", ".bmp" or ".dib"; Unknown when that says nothing either.
enum class PictureKind { Unknown, Png, Jpeg, Bmp, Gif, WebP };
PictureKind PictureKindOf(const uint8_t* data, size_t size, std::string_view path);
// The same from the extension alone (for a file with no bytes to look at).
PictureKind PictureKindOfName(std::string_view path);
// Why a picture of `kind` (GIF or WebP) is not read.
std::string UnreadPictureKindText(PictureKind kind);
// Reads a PNG, JPEG or BMP file, as PictureKindOf tells it. Throws Error for
// any other file (naming its extension when it tells nothing).
Image LoadPictureFile(const std::string& path);

} // namespace tappo
