// JPEG decoding through libjpeg. libjpeg's own error handler calls exit(), so
// errors jump back here and become the player's "JPEG エラー #n" message. The
// decoding frame holds only plain C data, so the long jump skips no destructor.
#include "base/Errors.h"
#include "formats/BmpStretch.h"
#include "formats/Picture.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jerror.h>
#include <jpeglib.h>

namespace tappo {
namespace {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
    auto* mgr = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(mgr->jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {} // warnings are not worth a report

// The whole picture into `pixels`, or, with `stretch`, the rows it shows
// onto it one at a time (through `rgb`).
struct JpegJob {
    const uint8_t* data;
    size_t size;
    bmp::RowStretch* stretch;
    uint32_t* pixels; // malloc'd, width * height, 0x00RRGGBB
    JSAMPLE* row;     // malloc'd scan line
    uint32_t* rgb;    // malloc'd, one row of 0x00RRGGBB for the stretch
    int width, height;
    int code;
};

void FreeJpegBuffers(JpegJob& job) {
    std::free(job.pixels), std::free(job.row), std::free(job.rgb);
    job.pixels = nullptr, job.row = nullptr, job.rgb = nullptr;
}

bool DecodeInto(JpegJob& job) {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.emit_message = OnJpegMessage;
    if (setjmp(err.jump)) {
        job.code = err.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        FreeJpegBuffers(job);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, job.data, static_cast<unsigned long>(job.size));
    jpeg_read_header(&cinfo, TRUE);
    if (!PictureSizeAllowed(cinfo.image_width, cinfo.image_height)) {
        err.pub.msg_code = JERR_IMAGE_TOO_BIG;
        std::longjmp(err.jump, 1);
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    job.width = int(cinfo.output_width);
    job.height = int(cinfo.output_height);
    if (job.stretch)
        job.rgb = static_cast<uint32_t*>(std::malloc(size_t(job.width) * 4));
    else
        job.pixels = static_cast<uint32_t*>(std::malloc(size_t(job.width) * job.height * 4));
    job.row = static_cast<JSAMPLE*>(std::malloc(size_t(job.width) * 3));
    if (!(job.stretch ? job.rgb && job.stretch->Begin(job.width, job.height)
                      : job.pixels != nullptr) ||
        !job.row) {
        err.pub.msg_code = JERR_OUT_OF_MEMORY;
        std::longjmp(err.jump, 1);
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {job.row};
        const int y = int(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, rows, 1);
        if (job.stretch && !job.stretch->Shown(y)) continue;
        uint32_t* out = job.stretch ? job.rgb : job.pixels + size_t(y) * job.width;
        for (int x = 0; x < job.width; ++x) {
            const JSAMPLE* p = job.row + size_t(x) * 3;
            out[x] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
        if (job.stretch) job.stretch->Row(y, job.rgb);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(job.row), std::free(job.rgb);
    job.row = nullptr, job.rgb = nullptr;
    return true;
}

} // namespace

Image DecodeJpeg(const uint8_t* data, size_t size) {
    JpegJob job{data, size, nullptr, nullptr, nullptr, nullptr, 0, 0, 0};
    if (!DecodeInto(job)) throw Error(FormatText(Tr(text::JpegError), job.code));
    // Owned from here, so that running out of memory for the copy frees it.
    const std::unique_ptr<uint32_t, decltype(&std::free)> pixels(job.pixels, &std::free);
    Image picture;
    picture.Width = job.width;
    picture.Height = job.height;
    picture.Rgb.assign(pixels.get(), pixels.get() + size_t(job.width) * job.height);
    return picture;
}

PictureSize DrawJpegStretched(const uint8_t* data, size_t size, uint16_t* out, int width,
                              int height) {
    bmp::RowStretch stretch(out, width, height);
    JpegJob job{data, size, &stretch, nullptr, nullptr, nullptr, 0, 0, 0};
    if (!DecodeInto(job)) throw Error(FormatText(Tr(text::JpegError), job.code));
    return {job.width, job.height};
}

} // namespace tappo
