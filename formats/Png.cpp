// PNG through libpng's simplified reader, which handles every colour type and
// bit depth and reports errors without ending the program.
#include "formats/Png.h"

#include "base/Errors.h"

#include <png.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace tappo {

bool IsPng(const uint8_t* data, size_t size) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= 8 && std::memcmp(data, signature, 8) == 0;
}

TPicture DecodePng(const uint8_t* data, size_t size) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    struct TFinisher {
        png_image* image;
        ~TFinisher() { png_image_free(image); }
    } finisher{&image};
    if (!png_image_begin_read_from_memory(&image, data, size))
        throw TError(std::string("PNG エラー: ") + image.message);
    // The size is checked before any pixel memory is taken.
    if (!PictureSizeAllowed(image.width, image.height))
        throw TError("PNG エラー: 画像が大きすぎます");
    image.format = PNG_FORMAT_RGBA;
    // Decoded straight into the picture's own memory (four bytes a pixel
    // either way) and converted there, so a large file is held once, not twice.
    TPicture picture;
    try {
        picture = TPicture(int(image.width), int(image.height));
    } catch (const std::bad_alloc&) {
        throw TError("PNG エラー: メモリが足りません");
    }
    auto* rgba = reinterpret_cast<uint8_t*>(picture.Rgb.data());
    if (!png_image_finish_read(&image, nullptr, rgba, 0, nullptr))
        throw TError(std::string("PNG エラー: ") + image.message);
    for (uint32_t& pixel : picture.Rgb) {
        uint8_t p[4];
        std::memcpy(p, &pixel, 4);
        pixel = p[3] < 128 ? 0u : uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    return picture;
}

} // namespace tappo
