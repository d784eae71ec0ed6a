// Picture files by extension: PNG, BMP/DIB and JPEG.
#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "formats/Png.h"

#include <filesystem>

namespace tappo {

Image LoadPictureFile(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    const std::string lower = AsciiLower(ext);
    if (lower == "png") {
        const std::vector<uint8_t> bytes = ReadWholeFile(path);
        return DecodePng(bytes.data(), bytes.size());
    }
    if (lower == "bmp" || lower == "dib") {
        // A banner saved as PNG under its old name still shows.
        const std::vector<uint8_t> bytes = ReadWholeFile(path);
        if (IsPng(bytes.data(), bytes.size())) return DecodePng(bytes.data(), bytes.size());
        return DecodeBmpFile(bytes.data(), bytes.size()).ToPicture();
    }
    if (lower == "jpg" || lower == "jpeg") {
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        return DecodeJpeg(bytes.data(), bytes.size());
    }
    throw Error(FormatText(Tr(text::UnknownExtension), ext));
}

} // namespace tappo
