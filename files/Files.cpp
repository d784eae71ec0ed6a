// Whole-file reads and crash-safe writes, and picture loading by extension.
#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "formats/Picture.h"
#include "formats/Png.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tappo {

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    // Only regular files are read: a folder, a FIFO or a device named like a
    // chart or picture is refused at once (opening is non-blocking, so a FIFO
    // without a writer cannot hang the player).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EFOpenError(path);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        throw EFOpenError(path);
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        throw EFOpenError(path);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the file shrank while it was read
        done += size_t(n);
    }
    ::close(fd);
    if (done != bytes.size()) throw EFOpenError(path);
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
    throw TError(FormatText(text::UnknownExtension, ext));
}

} // namespace tappo
