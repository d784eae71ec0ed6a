// JPEG decoding through libjpeg. libjpeg's own error handler calls exit(), so
// errors jump back here and become the player's "JPEG エラー #n" message. The
// decoding frame holds only plain C data, so the long jump skips no destructor.
#include "base/Errors.h"
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

struct TJpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
    auto* mgr = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
    std::longjmp(mgr->jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {} // warnings are not worth a report

struct TJpegJob {
    const uint8_t* data;
    size_t size;
    uint32_t* pixels; // malloc'd, width * height, 0x00RRGGBB
    JSAMPLE* row;     // malloc'd scan line
    int width, height;
    int code;
};

bool DecodeInto(TJpegJob& job) {
    jpeg_decompress_struct cinfo{};
    TJpegErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.emit_message = OnJpegMessage;
    if (setjmp(err.jump)) {
        job.code = err.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        std::free(job.pixels), std::free(job.row);
        job.pixels = nullptr, job.row = nullptr;
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
    job.pixels = static_cast<uint32_t*>(std::malloc(size_t(job.width) * job.height * 4));
    job.row = static_cast<JSAMPLE*>(std::malloc(size_t(job.width) * 3));
    if (!job.pixels || !job.row) {
        err.pub.msg_code = JERR_OUT_OF_MEMORY;
        std::longjmp(err.jump, 1);
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {job.row};
        size_t y = cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, rows, 1);
        uint32_t* out = job.pixels + y * job.width;
        for (int x = 0; x < job.width; ++x) {
            const JSAMPLE* p = job.row + size_t(x) * 3;
            out[x] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(job.row);
    job.row = nullptr;
    return true;
}

} // namespace

TPicture DecodeJpeg(const uint8_t* data, size_t size) {
    TJpegJob job{data, size, nullptr, nullptr, 0, 0, 0};
    if (!DecodeInto(job)) throw TError(FormatText(text::JpegError, job.code));
    // Owned from here, so that running out of memory for the copy frees it.
    const std::unique_ptr<uint32_t, decltype(&std::free)> pixels(job.pixels, &std::free);
    TPicture picture;
    picture.Width = job.width;
    picture.Height = job.height;
    picture.Rgb.assign(pixels.get(), pixels.get() + size_t(job.width) * job.height);
    return picture;
}

} // namespace tappo
