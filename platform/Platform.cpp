#include "platform/Platform.h"

#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Picture.h"

#include <cstdio>
#include <filesystem>
#include <png.h>

namespace tappo {

std::string ExecutableFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string folder = ec ? std::filesystem::current_path().string() : exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

void TStderrMessageBox::Show(const std::string& text) {
    std::fprintf(stderr, "tappoplayer: %s\n", text.c_str());
    std::fflush(stderr);
}

namespace {
void AppendPngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void FlushPng(png_structp) {}
} // namespace

std::vector<uint8_t> EncodePng(const TDirectDrawSurface& surface) {
    std::vector<uint8_t> out;
    const int w = surface.Width(), h = surface.Height();
    if (w <= 0 || h <= 0) throw TError("empty picture");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        throw TError("PNG encoder unavailable");
    }
    std::vector<uint8_t> rows(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = PixelToRgbValue(surface.Pixel(x, y));
            uint8_t* p = &rows[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
        }
    std::vector<png_bytep> pointers(h);
    for (int y = 0; y < h; ++y) pointers[y] = &rows[size_t(y) * w * 3];
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw TError("PNG encoding failed");
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

void WritePng(const std::string& path, const TDirectDrawSurface& surface) {
    WriteFileAtomic(path, EncodePng(surface));
}

} // namespace tappo
