// Builders of the crafted files the hostile-input tests feed to the readers.
// They are made here rather than checked in: some are megabytes long.
#pragma once

#include "TestUtil.h"
#include "formats/ArchiveWriter.h"

#include <cstdint>
#include <vector>

namespace tappo::test {

// A 24-bit BMP file of one colour.
inline std::vector<uint8_t> SolidBmp(int w, int h, uint32_t rgb = 0x00FF00) {
    BitmapData b;
    b.Width = w, b.Height = h, b.BitCount = 24;
    b.Pixels.assign(size_t(w) * h, rgb);
    return EncodeBmp(b);
}

// A 1 x 1 RLE8 file whose runs of 255 pixels of colour 7 add up to more than
// 2^31 columns (about 16.8 MB).
inline std::vector<uint8_t> RleOverflowBmp() {
    Bytes packed = InfoHeader(1, 1, 8, 1, 8);
    for (uint32_t i = 0; i < 8; ++i)
        packed.u32(i * 0x111111);
    const size_t runs = (size_t(1) << 31) / 255 + 16;
    packed.b.reserve(packed.b.size() + runs * 2 + 2);
    for (size_t i = 0; i < runs; ++i)
        packed.u8(255).u8(7);
    packed.u8(0).u8(1);
    return WithFileHeader(packed.b, 40 + 32);
}

// A BMP file header and info header of a w x h 24-bit picture, and no pixels.
inline std::vector<uint8_t> HeaderOnlyBmp(int w, int h) {
    return WithFileHeader(InfoHeader(w, h, 24).b, 40);
}

// A sprite archive with one picture item whose children section holds
// `depth` lists nested in each other.
inline std::vector<uint8_t> DeeplyNestedArchive(size_t depth) {
    ArchiveItem item;
    item.Data = SolidBmp(2, 2);
    std::vector<uint8_t> bytes = WriteArchive({item});
    bytes.pop_back(); // the end of the (empty) children section
    bytes.insert(bytes.end(), depth, 1);
    bytes.insert(bytes.end(), depth + 1, 0);
    return bytes;
}

// An 8-bit mono WAV file at `rate` with `frames` samples of silence.
inline std::vector<uint8_t> LowRateWave(uint32_t rate, size_t frames) {
    Bytes w;
    w.str("RIFF").u32(uint32_t(4 + 8 + 16 + 8 + frames + (frames & 1))).str("WAVE");
    w.str("fmt ").u32(16).u16(1).u16(1).u32(rate).u32(rate).u16(1).u16(8);
    w.str("data").u32(uint32_t(frames));
    w.b.insert(w.b.end(), frames + (frames & 1), 128);
    return w.b;
}

} // namespace tappo::test
