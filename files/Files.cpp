// Whole-file reads and crash-safe writes.
#include "files/Files.h"

#include "base/Errors.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tappo {

FileTooLargeError::FileTooLargeError(const std::string& path, uint64_t maxBytes)
    : Error(FormatText(Tr("ファイル %s は大きすぎます (%s MB まで)"), path,
                       std::to_string(maxBytes >> 20))) {}

std::vector<uint8_t> ReadWholeFile(const std::string& path, uint64_t maxBytes) {
    // Only regular files are read: a folder, a FIFO or a device named like a
    // chart or picture is refused at once (opening is non-blocking, so a FIFO
    // without a writer cannot hang the player).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw FileOpenError(path);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        throw FileOpenError(path);
    }
    if (uint64_t(st.st_size) > maxBytes) {
        ::close(fd);
        throw FileTooLargeError(path, maxBytes);
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.reserve(static_cast<size_t>(st.st_size) + FileReadSlack);
        bytes.resize(static_cast<size_t>(st.st_size) + FileReadSlack);
        bytes.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        throw FileOpenError(path);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the file shrank while it was read
        done += size_t(n);
    }
    ::close(fd);
    if (done != bytes.size()) throw FileOpenError(path);
    return bytes;
}

void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw Error(FormatText(Tr("ファイル %s を作成できません"), path));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    // The data reaches the disk before the new name does: after a crash the
    // old file or the whole new one is there, never a cut one.
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
        std::remove(temp.c_str());
        throw Error(FormatText(Tr("ファイル %s に書き込めません"), path));
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw Error(FormatText(Tr("ファイル %s を作成できません"), path));
    }
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string FileBehindLinks(const std::string& path) {
    // As many links as the system itself follows before it calls it a loop.
    constexpr int MaxLinks = 40;
    std::string file = path;
    for (int links = 0; links <= MaxLinks; ++links) {
        struct stat st;
        if (::lstat(file.c_str(), &st) != 0) {
            if (links == 0) return file; // no file yet: it is made where it is named
            const std::filesystem::path folder = std::filesystem::path(file).parent_path();
            std::error_code ec;
            if (std::filesystem::is_directory(folder.empty() ? "." : folder, ec)) return file;
            throw Error(
                FormatText(Tr("%s is a link to %s, in a folder that does not exist"), path, file));
        }
        if (!S_ISLNK(st.st_mode)) return file;
        std::string target(size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(file.c_str(), target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size())
            throw Error(FormatText(Tr("ファイル %s を作成できません"), path));
        target.resize(size_t(n));
        const size_t slash = file.find_last_of('/');
        if (target[0] == '/' || slash == std::string::npos) {
            file = std::move(target);
        } else {
            file.resize(slash + 1);
            file += target;
        }
    }
    throw Error(FormatText(Tr("%s is a loop of links"), path));
}

} // namespace tappo
