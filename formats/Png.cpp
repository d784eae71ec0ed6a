// PNG through libpng's simplified reader, which handles every colour type and
// bit depth and reports errors without ending the program; and the same
// decoding row by row onto a stretch (libpng's row reader set up with the
// transforms the simplified reader chooses for 8-bit RGBA).
#include "formats/Png.h"

#include "base/Errors.h"
#include "formats/BmpStretch.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace tappo {

bool IsPng(const uint8_t* data, size_t size) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= 8 && std::memcmp(data, signature, 8) == 0;
}

namespace {

// libpng's RGBA bytes to picture colours in place: transparent pixels (alpha
// below one half) become black, the colour key of every keyed draw.
void RgbaToPicturePixels(uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t p[4];
        std::memcpy(p, pixels + i, 4);
        pixels[i] = p[3] < 128 ? 0u : uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
}

// libpng takes a buffer of the declared size for each chunk before the image
// data and only then finds the file too short, so a 100-byte file that
// declares a 2 GB text chunk would cost 2 GB. Such a file fails anyway, with
// this same message; it is refused here before any chunk is read.
const char* ChunkPastEnd(const uint8_t* data, size_t size) {
    size_t at = 8;
    while (size - at >= 8) {
        const uint32_t length = uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 |
                                uint32_t(data[at + 2]) << 8 | data[at + 3];
        if (std::memcmp(data + at + 4, "IDAT", 4) == 0 ||
            std::memcmp(data + at + 4, "IEND", 4) == 0)
            return nullptr;
        if (length > size - at - 8) return "read beyond end of data";
        at += 8 + size_t(length);
        if (size - at < 4) return nullptr;
        at += 4; // the checksum
    }
    return nullptr;
}

} // namespace

Image DecodePng(const uint8_t* data, size_t size) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    struct Finisher {
        png_image* image;
        ~Finisher() { png_image_free(image); }
    } finisher{&image};
    if (IsPng(data, size))
        if (const char* fault = ChunkPastEnd(data, size))
            throw Error(Tr("PNG エラー: ") + std::string(fault));
    if (!png_image_begin_read_from_memory(&image, data, size))
        throw Error(Tr("PNG エラー: ") + std::string(image.message));
    // The size is checked before any pixel memory is taken.
    if (!PictureSizeAllowed(image.width, image.height))
        throw Error(Tr("PNG エラー: 画像が大きすぎます"));
    image.format = PNG_FORMAT_RGBA;
    // Decoded straight into the picture's own memory (four bytes a pixel
    // either way) and converted there, so a large file is held once, not twice.
    Image picture;
    try {
        picture = Image(int(image.width), int(image.height));
    } catch (const std::bad_alloc&) {
        throw Error(Tr("PNG エラー: メモリが足りません"));
    }
    auto* rgba = reinterpret_cast<uint8_t*>(picture.Rgb.data());
    if (!png_image_finish_read(&image, nullptr, rgba, 0, nullptr))
        throw Error(Tr("PNG エラー: ") + std::string(image.message));
    RgbaToPicturePixels(picture.Rgb.data(), picture.Rgb.size());
    return picture;
}

namespace {

// One row-by-row read. libpng's errors jump back to ReadPngRows, whose frame
// holds only plain C data (buffers are malloc'd here and freed there), so the
// jump skips no destructor. The message is kept as the simplified reader keeps
// it: at most 63 bytes.
struct PngRows {
    const uint8_t* data;
    size_t size, at;
    bmp::RowStretch* stretch;
    png_structp png;
    png_infop info;
    uint8_t* row;   // one row of 4-byte pixels
    uint8_t* held;  // an interlaced file's shown rows, until its last pass
    uint8_t** rows; // an interlaced file: where each row is read to
    char message[64];
    bool tooLarge, outOfMemory;
    int width, height;
};

void OnPngError(png_structp png, png_const_charp text) {
    auto* job = static_cast<PngRows*>(png_get_error_ptr(png));
    const size_t n = std::min(std::strlen(text), sizeof job->message - 1);
    std::memcpy(job->message, text, n);
    job->message[n] = 0;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadPngBytes(png_structp png, png_bytep out, size_t need) {
    auto* job = static_cast<PngRows*>(png_get_io_ptr(png));
    if (job->size - job->at < need) png_error(png, "read beyond end of data");
    std::memcpy(out, job->data + job->at, need);
    job->at += need;
}

void FreePngRows(PngRows& job) {
    png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
    std::free(job.row), std::free(job.held), std::free(job.rows);
    job.row = job.held = nullptr, job.rows = nullptr;
}

// What libpng's simplified reader asks of the row reader for 8-bit RGBA
// output, call for call, so the pixels are the same: everything expanded to
// 8-bit RGB with alpha, 16-bit files taken as linear unless they say
// otherwise, sRGB out.
void SetRgbaTransforms(png_structp png, png_infop info) {
    png_set_expand(png);
    const png_byte type = png_get_color_type(png, info);
    const bool sixteen = png_get_bit_depth(png, info) == 16;
    int transparent = 0;
    png_get_tRNS(png, info, nullptr, &transparent, nullptr);
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || transparent > 0;
    if ((type & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, sixteen ? PNG_GAMMA_LINEAR : PNG_DEFAULT_sRGB);
    if (sixteen) png_set_scale_16(png);
    if (!alpha) png_set_add_alpha(png, 255, PNG_FILLER_AFTER);
    png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, PNG_DEFAULT_sRGB);
    // Only the chunks that bear on colour are read past this point.
    static const png_byte colourChunks[] = {'b', 'K', 'G', 'D', 0, 'c', 'H', 'R', 'M', 0,
                                            'g', 'A', 'M', 'A', 0, 'i', 'C', 'C', 'P', 0,
                                            's', 'B', 'I', 'T', 0, 's', 'R', 'G', 'B', 0};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, colourChunks,
                                int(sizeof colourChunks / 5));
}

// A file read in one pass: each row the stretch shows goes onto it as it is read.
bool ReadPlainPngRows(PngRows& job) {
    for (int y = 0; y < job.height; ++y) {
        png_read_row(job.png, job.row, nullptr);
        if (!job.stretch->Shown(y)) continue;
        auto* pixels = reinterpret_cast<uint32_t*>(job.row);
        RgbaToPicturePixels(pixels, size_t(job.width));
        job.stretch->Row(y, pixels);
    }
    FreePngRows(job);
    return true;
}

// Each pass of an interlaced file adds pixels to rows already read, so the
// rows the stretch shows are held until the last pass; the others all go to
// one row that is never looked at.
bool ReadInterlacedPngRows(PngRows& job, size_t rowBytes, int passes) {
    size_t shown = 0;
    for (int y = 0; y < job.height; ++y)
        shown += job.stretch->Shown(y);
    job.held = static_cast<uint8_t*>(std::calloc(shown, rowBytes));
    job.rows = static_cast<uint8_t**>(std::malloc(size_t(job.height) * sizeof *job.rows));
    if (!job.held || !job.rows) {
        job.outOfMemory = true;
        FreePngRows(job);
        return false;
    }
    for (int y = 0, k = 0; y < job.height; ++y)
        job.rows[y] = job.stretch->Shown(y) ? job.held + rowBytes * size_t(k++) : job.row;
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < job.height; ++y)
            png_read_row(job.png, job.rows[y], nullptr);
    for (int y = 0; y < job.height; ++y) {
        if (job.rows[y] == job.row) continue;
        auto* pixels = reinterpret_cast<uint32_t*>(job.rows[y]);
        RgbaToPicturePixels(pixels, size_t(job.width));
        job.stretch->Row(y, pixels);
    }
    FreePngRows(job);
    return true;
}

// libpng's errors in the helpers above jump back here too: they hold only
// plain C data as well.
bool ReadPngRows(PngRows& job) {
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnPngError, OnPngWarning);
    if (job.png) job.info = png_create_info_struct(job.png);
    if (!job.png || !job.info) {
        std::strcpy(job.message, "png_image_read: out of memory");
        FreePngRows(job);
        return false;
    }
    if (setjmp(png_jmpbuf(job.png))) {
        FreePngRows(job);
        return false;
    }
    png_set_read_fn(job.png, &job, ReadPngBytes);
    png_set_benign_errors(job.png, 1);
    png_read_info(job.png, job.info);
    const png_uint_32 width = png_get_image_width(job.png, job.info);
    const png_uint_32 height = png_get_image_height(job.png, job.info);
    // The size is checked before any pixel memory is taken.
    if (!PictureSizeAllowed(width, height)) {
        job.tooLarge = true;
        FreePngRows(job);
        return false;
    }
    job.width = int(width), job.height = int(height);
    SetRgbaTransforms(job.png, job.info);
    const int passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    if (png_get_color_type(job.png, job.info) != PNG_COLOR_TYPE_RGB_ALPHA ||
        png_get_bit_depth(job.png, job.info) != 8)
        png_error(job.png, "png_read_image: invalid transformations");
    const size_t rowBytes = size_t(width) * 4;
    job.row = static_cast<uint8_t*>(std::malloc(rowBytes));
    if (!job.row || !job.stretch->Begin(job.width, job.height)) {
        job.outOfMemory = true;
        FreePngRows(job);
        return false;
    }
    return passes == 1 ? ReadPlainPngRows(job) : ReadInterlacedPngRows(job, rowBytes, passes);
}

} // namespace

PictureSize DrawPngStretched(const uint8_t* data, size_t size, uint16_t* out, int width,
                             int height) {
    if (!data || size == 0)
        throw Error(Tr("PNG エラー: ") +
                    std::string("png_image_begin_read_from_memory: invalid argument"));
    if (IsPng(data, size))
        if (const char* fault = ChunkPastEnd(data, size))
            throw Error(Tr("PNG エラー: ") + std::string(fault));
    bmp::RowStretch stretch(out, width, height);
    PngRows job{};
    job.data = data, job.size = size, job.stretch = &stretch;
    if (ReadPngRows(job)) return {job.width, job.height};
    if (job.tooLarge) throw Error(Tr("PNG エラー: 画像が大きすぎます"));
    if (job.outOfMemory) throw Error(Tr("PNG エラー: メモリが足りません"));
    throw Error(Tr("PNG エラー: ") + std::string(job.message));
}

} // namespace tappo
