// Whole-file reads and crash-safe writes, and picture loading by extension.
#include "media/AsciiCase.h"
#include "media/Errors.h"
#include "media/Picture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tappo {

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw EFOpenError(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EFOpenError(path);
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) throw EFOpenError(path);
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) throw EFOpenError(path);
    return bytes;
}

void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw TError("ファイル " + path + " を作成できません");
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temp.c_str());
            throw TError("ファイル " + path + " に書き込めません");
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw TError("ファイル " + path + " を作成できません");
    }
}

TPicture LoadPictureFile(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    const std::string lower = AsciiLower(ext);
    if (lower == "bmp" || lower == "dib") return LoadBmpFile(path).ToPicture();
    if (lower == "jpg" || lower == "jpeg") {
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        return DecodeJpeg(bytes.data(), bytes.size());
    }
    throw TError(FormatText(text::UnknownExtension, ext));
}

} // namespace tappo
