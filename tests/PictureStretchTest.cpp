// PNG and JPEG pictures decoded row by row onto a stretch give exactly the
// pixels of the whole decode drawn by the canvas, for every kind of file the
// libraries write (made here with them), and the same errors.
#include "formats/Png.h"
#include "tests/TestUtil.h"
#include "tools/Jpeg.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <functional>

namespace tappo {
namespace {

// Pixel (dx, dy) of the stretch shows picture pixel (dx * Width / w, dy * Height / h).
std::vector<uint16_t> Stretched(const Image& picture, int w, int h) {
    std::vector<uint16_t> out(size_t(w) * h);
    for (int dy = 0; dy < h; ++dy)
        for (int dx = 0; dx < w; ++dx)
            out[size_t(dy) * w + dx] = RgbValueToPixel(picture.At(
                int(int64_t(dx) * picture.Width / w), int(int64_t(dy) * picture.Height / h)));
    return out;
}

uint8_t Noise(uint32_t k) {
    k = k * 2654435761u;
    return uint8_t((k ^ (k >> 13)) * 40503u >> 11);
}

// Every byte of the rows varies, so every sample value and transparency occurs.
std::vector<uint8_t> WritePng(int w, int h, int type, int depth, bool interlaced,
                              const std::function<void(png_structp, png_infop)>& chunks = {}) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> palette(size_t(1) << depth);
        for (size_t i = 0; i < palette.size(); ++i)
            palette[i] = {Noise(uint32_t(i)), Noise(uint32_t(i + 999)), Noise(uint32_t(i + 7))};
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    }
    if (chunks) chunks(png, info);
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    std::vector<uint8_t> rows(size_t(h) * ((size_t(w) * channels * depth + 7) / 8));
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = Noise(uint32_t(i + size_t(type) * 1000003u));
    std::vector<png_bytep> pointers(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        pointers[size_t(y)] = rows.data() + rows.size() / size_t(h) * size_t(y);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The whole decode of `reference` (the same file unless given) drawn by the
// canvas, against `file` decoded row by row; errors the same both ways.
void ExpectSamePixelsBothWays(const std::vector<uint8_t>& file, bool png, const std::string& what,
                              const std::vector<uint8_t>* reference = nullptr) {
    const std::vector<uint8_t>& whole = reference ? *reference : file;
    const auto decode = [&] {
        return png ? DecodePng(whole.data(), whole.size()) : DecodeJpeg(whole.data(), whole.size());
    };
    for (const auto& target : {std::pair{320, 240}, std::pair{13, 7}}) {
        // Named copies: clang before 16 cannot capture structured bindings in a lambda.
        const int w = target.first, h = target.second;
        std::vector<uint16_t> rows(size_t(w) * h, 0xBEEF);
        const auto draw = [&] {
            return png ? DrawPngStretched(file.data(), file.size(), rows.data(), w, h)
                       : DrawJpegStretched(file.data(), file.size(), rows.data(), w, h);
        };
        const std::string wholeError = test::ErrorOf([&] { (void)decode(); });
        EXPECT_EQ(test::ErrorOf([&] { (void)draw(); }), wholeError) << what;
        if (!wholeError.empty()) return;
        const Image picture = decode();
        const PictureSize size = draw();
        EXPECT_EQ(size.Width, picture.Width) << what;
        EXPECT_EQ(size.Height, picture.Height) << what;
        EXPECT_TRUE(rows == Stretched(picture, w, h)) << what << " onto " << w << "x" << h;
    }
}

TEST(PictureStretch, PngRowByRowGivesTheWholeDecodesPixelsAndErrors) {
    const auto trns = [](png_structp p, png_infop i) {
        png_byte alpha[256];
        for (int k = 0; k < 256; ++k)
            alpha[k] = Noise(uint32_t(k * 3));
        png_color_16 key{0, 0x3, 0x5, 0x7, 0x9};
        const bool palette = png_get_color_type(p, i) == PNG_COLOR_TYPE_PALETTE;
        png_set_tRNS(p, i, alpha, palette ? 1 << png_get_bit_depth(p, i) : 0, &key);
    };
    const auto linear = [](png_structp p, png_infop i) { png_set_gAMA_fixed(p, i, 100000); };
    const auto srgb = [](png_structp p, png_infop i) {
        png_set_sRGB(p, i, PNG_sRGB_INTENT_PERCEPTUAL);
    };
    struct PictureCase {
        int w, h, type, depth;
        bool interlaced;
        std::function<void(png_structp, png_infop)> chunks;
    };
    const std::vector<PictureCase> cases = {
        {61, 47, PNG_COLOR_TYPE_PALETTE, 8, false, trns},
        {33, 20, PNG_COLOR_TYPE_PALETTE, 2, true, {}},
        {50, 30, PNG_COLOR_TYPE_GRAY, 1, false, {}},
        {41, 29, PNG_COLOR_TYPE_GRAY, 4, false, trns},
        {40, 300, PNG_COLOR_TYPE_GRAY, 8, false, linear},
        {37, 25, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {}},
        {37, 25, PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, {}},
        {700, 9, PNG_COLOR_TYPE_RGB, 16, false, {}},
        {45, 31, PNG_COLOR_TYPE_RGB, 16, false, srgb},
        {45, 31, PNG_COLOR_TYPE_RGB, 8, true, trns},
        {3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8, true, linear},
        {29, 500, PNG_COLOR_TYPE_RGB_ALPHA, 16, true, {}},
        {1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}},
    };
    for (const PictureCase& c : cases) {
        const std::string what = "type " + std::to_string(c.type) + " depth " +
                                 std::to_string(c.depth) + (c.interlaced ? " interlaced" : "");
        const std::vector<uint8_t> file =
            WritePng(c.w, c.h, c.type, c.depth, c.interlaced, c.chunks);
        // An interlaced file shows what the same pixels stored row after row
        // show (libpng's whole-picture reader, as patched here, puts a 16-bit
        // interlaced file's rows out of order; the row reader does not).
        const std::vector<uint8_t> plain = WritePng(c.w, c.h, c.type, c.depth, false, c.chunks);
        ExpectSamePixelsBothWays(file, true, what, &plain);
        if (c.depth < 16) ExpectSamePixelsBothWays(file, true, what + " whole");
    }
    // Cut short inside the pixels, or with a broken checksum: the same error.
    for (const bool interlaced : {false, true}) {
        const std::vector<uint8_t> file = WritePng(45, 31, PNG_COLOR_TYPE_RGB, 8, interlaced);
        ExpectSamePixelsBothWays({file.begin(), file.begin() + long(file.size() / 2)}, true, "cut");
        std::vector<uint8_t> broken = file;
        broken[20] ^= 1;
        ExpectSamePixelsBothWays(broken, true, "broken header");
    }
    // Larger than any picture the player takes: refused before the pixels.
    std::vector<uint8_t> huge = WritePng(9000, 1, PNG_COLOR_TYPE_GRAY, 1, false);
    ExpectSamePixelsBothWays(huge, true, "too wide");
}

std::vector<uint8_t> WriteJpeg(int w, int h, int components, bool progressive) {
    return tools::EncodeJpegSamples(
        w, h, {.Components = components, .Progressive = progressive, .Quality = 75},
        [](size_t i, int y) { return Noise(uint32_t(i / 7 + size_t(y) * 31)); });
}

TEST(PictureStretch, JpegRowByRowGivesTheWholeDecodesPixelsAndErrors) {
    const std::vector<uint8_t> grey = WriteJpeg(45, 33, 1, false);
    ExpectSamePixelsBothWays(grey, false, "grey");
    ExpectSamePixelsBothWays(WriteJpeg(333, 251, 3, false), false, "colour");
    ExpectSamePixelsBothWays(WriteJpeg(97, 401, 3, true), false, "progressive");
    ExpectSamePixelsBothWays(WriteJpeg(40, 30, 4, false), false, "CMYK");
    ExpectSamePixelsBothWays({grey.begin(), grey.begin() + 40}, false, "cut in the header");
}

} // namespace
} // namespace tappo
