#include "platform/Platform.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "formats/Png.h"

#include <cstdio>
#include <filesystem>

namespace tappo {

std::string ExecutableFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string folder = ec ? std::filesystem::current_path().string() : exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

void StderrMessageBox::Show(const std::string& text) {
    ReportOnConsole(text);
}

std::vector<uint8_t> EncodePng(const Surface& surface) {
    const int w = surface.Width(), h = surface.Height();
    if (w <= 0 || h <= 0) throw Error(Tr("empty picture"));
    Image picture(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.At(x, y) = PixelToRgbValue(surface.Pixel(x, y));
    return EncodePng(picture);
}

void WritePng(const std::string& path, const Surface& surface) {
    WriteFileAtomic(path, EncodePng(surface));
}

} // namespace tappo
