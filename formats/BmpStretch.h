// Bitmaps stretched (nearest pixel) onto 5-6-5 pixels, for the BMP reader's
// DrawBmpFileStretched. Pixel (dx, dy) of a `width` x `height` destination
// shows picture pixel (dx * pictureWidth / width, dy * pictureHeight / height).
#pragma once

#include "formats/Picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tappo::bmp {

// The picture rows such a stretch to `rows` rows reads (1) and skips (0).
std::vector<uint8_t> RowsRead(int pictureHeight, int rows);
// A decoded bitmap (its rows RowsRead(Height, height) at least) onto `out`.
void StretchOnto(const TBitmapData& bitmap, uint16_t* out, int width, int height);
// A run-length coded stream (see rle::Read) of a `pictureWidth` x
// `pictureHeight` picture with `palette` straight onto `out`, run by run.
void StretchRleOnto(const uint8_t* data, size_t size, size_t at, bool four, int pictureWidth,
                    int pictureHeight, const std::vector<uint32_t>& palette, uint16_t* out,
                    int width, int height);

} // namespace tappo::bmp
