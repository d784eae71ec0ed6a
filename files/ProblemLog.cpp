#include "files/ProblemLog.h"

#include "base/Report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tappo {

void ProblemLog::Report(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    // The previous run's log is kept as ".1" (a regular file only, as below).
    if (struct stat old{}; count_ == 1 && lstat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        std::rename(path_.c_str(), (path_ + ".1").c_str());
    char number[32];
    std::snprintf(number, sizeof number, "debug#%.5d ... ", count_);
    const std::string line = number + text + '\n';
    // The log is only ever a regular file of its own: a link in its place is
    // not followed (its target would be emptied) and a FIFO is not waited on
    // (start-up would hang until something reads it).
    const int fd = open(path_.c_str(),
                        O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    std::string refusal;
    struct stat st {};
    if (fd < 0)
        refusal = errno == ELOOP   ? "it is a symbolic link"
                  : errno == ENXIO ? "it is not a regular file"
                                   : std::strerror(errno);
    else if (fstat(fd, &st) != 0)
        refusal = std::strerror(errno); // NOLINT(bugprone-branch-clone): as ftruncate's below
    else if (!S_ISREG(st.st_mode))
        refusal = "it is not a regular file";
    else if (count_ == 1 && ftruncate(fd, 0) != 0)
        refusal = std::strerror(errno);
    for (size_t done = 0; refusal.empty() && done < line.size();) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n == 0 || errno != EINTR)
            refusal = n == 0 ? "nothing could be written" : std::strerror(errno);
    }
    if (fd >= 0) close(fd);
    if (!refusal.empty() && !refused_) {
        refused_ = true;
        ReportOnConsole("the sound problem log " + path_ + " is not written: " + refusal);
    }
}

void ProblemLog::ReportFailedCall(const std::string& text, long code) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "(Error Code(%lX))", static_cast<unsigned long>(code));
    Report(text + suffix);
}

} // namespace tappo
