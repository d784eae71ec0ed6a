// PNG files written from pictures: the player's screenshots.
#include "base/Errors.h"
#include "formats/Png.h"

#include <png.h>
#include <zlib.h>

#include <vector>

namespace tappo {

namespace {
void AppendPngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void FlushPng(png_structp) {}
} // namespace

std::vector<uint8_t> EncodePng(const Image& picture) {
    std::vector<uint8_t> out;
    const int w = picture.Width, h = picture.Height;
    if (picture.Empty()) throw Error(Tr("empty picture"));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        throw Error(Tr("PNG encoder unavailable"));
    }
    std::vector<uint8_t> rows(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = picture.At(x, y);
            uint8_t* p = &rows[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
        }
    std::vector<png_bytep> pointers(h);
    for (int y = 0; y < h; ++y)
        pointers[y] = &rows[size_t(y) * w * 3];
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw Error(Tr("PNG encoding failed"));
    }
    png_set_write_fn(png, &out, AppendPngBytes, FlushPng);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> EncodeIndexedPng(const IndexedImage& picture) {
    std::vector<uint8_t> out;
    const int w = picture.Width, h = picture.Height;
    if (w <= 0 || h <= 0 || picture.Index.size() != size_t(w) * size_t(h) ||
        picture.Palette.empty() || picture.Palette.size() > 256)
        throw Error(Tr("empty picture"));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        throw Error(Tr("PNG encoder unavailable"));
    }
    std::vector<png_color> palette;
    for (uint32_t c : picture.Palette)
        palette.push_back({png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
    std::vector<png_bytep> pointers(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        pointers[size_t(y)] = const_cast<png_bytep>(&picture.Index[size_t(y) * size_t(w)]);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw Error(Tr("PNG encoding failed"));
    }
    png_set_write_fn(png, &out, AppendPngBytes, FlushPng);
    // Each row as its difference from the row above, run-length coded: a
    // flat picture's rows are mostly their neighbours', so this is small, and
    // far quicker than choosing filters and searching for matches.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_strategy(png, Z_RLE);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace tappo
