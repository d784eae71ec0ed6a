#include "tools/Jpeg.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace tappo::tools {

std::vector<uint8_t> EncodeJpeg(const Image& picture, int quality) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err); // our own pictures: a failure here is a bug worth stopping for
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(picture.Width);
    c.image_height = JDIMENSION(picture.Height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(picture.Width) * 3);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < picture.Width; ++x) {
            const uint32_t v = picture.At(x, int(c.next_scanline));
            row[size_t(x) * 3] = JSAMPLE(v >> 16), row[size_t(x) * 3 + 1] = JSAMPLE(v >> 8);
            row[size_t(x) * 3 + 2] = JSAMPLE(v);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

} // namespace tappo::tools
