// Picture files: which reader takes a file, and whole files read to pictures.
#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "formats/Png.h"

#include <cstring>

namespace tappo {

namespace {

// The extension of the last part of `path`, without its dot.
std::string Extension(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return std::string(path.substr(dot + 1));
}

} // namespace

PictureKind PictureKindOfName(std::string_view path) {
    const std::string ext = AsciiLower(Extension(path));
    if (ext == "png") return PictureKind::Png;
    if (ext == "jpg" || ext == "jpeg") return PictureKind::Jpeg;
    if (ext == "bmp" || ext == "dib") return PictureKind::Bmp;
    return PictureKind::Unknown;
}

PictureKind PictureKindOf(const uint8_t* data, size_t size, std::string_view path) {
    if (IsPng(data, size)) return PictureKind::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return PictureKind::Jpeg;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return PictureKind::Bmp;
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0))
        return PictureKind::Gif;
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0)
        return PictureKind::WebP;
    return PictureKindOfName(path);
}

std::string UnreadPictureKindText(PictureKind kind) {
    return FormatText(Tr("%s 形式の画像には対応していません"),
                      std::string(kind == PictureKind::Gif ? "GIF" : "WebP"));
}

Image LoadPictureFile(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    switch (PictureKindOf(bytes.data(), bytes.size(), path)) {
    case PictureKind::Png:
        return DecodePng(bytes.data(), bytes.size());
    case PictureKind::Jpeg:
        return DecodeJpeg(bytes.data(), bytes.size());
    case PictureKind::Bmp:
        return DecodeBmpFile(bytes.data(), bytes.size()).ToPicture();
    case PictureKind::Gif:
    case PictureKind::WebP:
        throw Error(UnreadPictureKindText(PictureKindOf(bytes.data(), bytes.size(), path)));
    case PictureKind::Unknown:
        break;
    }
    throw Error(FormatText(Tr(text::UnknownExtension), Extension(path)));
}

} // namespace tappo
