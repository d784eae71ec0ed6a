// Pictures stretched (nearest pixel) onto 5-6-5 pixels, for the readers'
// Draw...Stretched: bitmaps whole or run by run, PNG and JPEG files row by row.
// Pixel (dx, dy) of a `width` x `height` destination shows picture pixel
// (dx * pictureWidth / width, dy * pictureHeight / height), as the canvas's
// CopyRect draws a decoded picture.
#pragma once

#include "formats/Picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tappo::bmp {

// The picture rows such a stretch to `rows` rows reads (1) and skips (0).
std::vector<uint8_t> RowsRead(int pictureHeight, int rows);
// A decoded bitmap (its rows RowsRead(Height, height) at least) onto `out`.
void StretchOnto(const BitmapData& bitmap, uint16_t* out, int width, int height);
// A run-length coded picture: its runs (see rle::Read) from `At` in the
// `Size` bytes at `Data`, four bits a pixel or eight.
struct RlePicture {
    const uint8_t* Data;
    size_t Size, At;
    bool Four;
    int Width, Height;
    const std::vector<uint32_t>& Palette;
};
// Such a picture straight onto `out`, run by run.
void StretchRleOnto(const RlePicture& picture, uint16_t* out, int width, int height);

// Where a decoder sends a picture's rows: its size first, then the rows the
// stretch shows (0x00RRGGBB pixels), in any order. Each row goes straight
// onto every destination row that shows it, so only the decoder's own row is
// held. Nothing here throws: the decoders call it between their C library's
// calls, whose errors jump back past the caller.
class RowStretch {
  public:
    RowStretch(uint16_t* out, int width, int height) : out_(out), width_(width), height_(height) {}
    // False when the column table cannot be had (out of memory).
    bool Begin(int pictureWidth, int pictureHeight) noexcept;
    bool Shown(int y) const noexcept;
    void Row(int y, const uint32_t* pixels) noexcept;

  private:
    uint16_t* out_;
    int width_, height_;
    int pictureHeight_ = 0;
    std::vector<int> columns_;
};

} // namespace tappo::bmp
