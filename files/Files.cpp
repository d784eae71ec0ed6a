// Whole-file reads and crash-safe writes.
#include "files/Files.h"

#include "base/Errors.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

} // namespace tappo
