#include "tools/Jpeg.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace tappo::tools {

std::vector<uint8_t> EncodeJpegSamples(int w, int h, const JpegLayout& layout,
                                       const std::function<uint8_t(size_t, int)>& sample) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err); // our own pictures: a failure here is a bug worth stopping for
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = layout.Components;
    c.in_color_space = layout.Components == 1   ? JCS_GRAYSCALE
                       : layout.Components == 4 ? JCS_CMYK
                                                : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, layout.Quality, TRUE);
    if (layout.Progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * size_t(layout.Components));
    while (c.next_scanline < c.image_height) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = JSAMPLE(sample(i, int(c.next_scanline)));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

std::vector<uint8_t> EncodeJpeg(const Image& picture, int quality) {
    return EncodeJpegSamples(picture.Width, picture.Height, {.Quality = quality},
                             [&](size_t i, int y) {
                                 const uint32_t v = picture.At(int(i / 3), y);
                                 return uint8_t(v >> (16 - 8 * (i % 3)));
                             });
}

} // namespace tappo::tools
