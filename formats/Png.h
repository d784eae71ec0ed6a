// PNG pictures for background images and banner sources.
#pragma once

#include "formats/Picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tappo {

bool IsPng(const uint8_t* data, size_t size);

// Any PNG (palette, grey, 16-bit, interlaced) to 24-bit colour. Transparent
// pixels (alpha below one half) become black, the colour key of every keyed
// draw, so a layer image keeps its holes. Throws Error("PNG エラー: ...") on a
// damaged file or one larger than any picture the player accepts.
Image DecodePng(const uint8_t* data, size_t size);
// The same file stretched (nearest pixel) over `width` x `height` 5-6-5
// pixels at `out`: pixel for pixel what the canvas's CopyRect draws of
// DecodePng's picture, decoded row by row, so only one row of the file is held
// (an interlaced file holds the rows the stretch shows until its last pass).
// Returns the picture's size; throws as DecodePng.
PictureSize DrawPngStretched(const uint8_t* data, size_t size, uint16_t* out, int width,
                             int height);

// A picture as an 8-bit RGB PNG file; throws Error on an empty picture.
std::vector<uint8_t> EncodePng(const Image& picture);

// A picture of at most 256 colours: every pixel an index into Palette
// (0x00RRGGBB), rows from the top.
struct IndexedImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Index;
    std::vector<uint32_t> Palette;
};
// As an 8-bit paletted PNG file, compressed for speed over size (large flat
// pictures such as the chart image); throws Error on an empty picture.
std::vector<uint8_t> EncodeIndexedPng(const IndexedImage& picture);

} // namespace tappo
