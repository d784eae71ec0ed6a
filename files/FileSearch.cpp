#include "files/FileSearch.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <deque>
#include <dirent.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace tappo {
namespace {

struct Entry {
    std::string name;
    bool isDirectory;
};

// The entries of one folder, sorted; an unreadable folder has none.
std::vector<Entry> ListFolder(const std::string& folder) {
    std::vector<Entry> entries;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return entries;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool isDir = e->d_type == DT_DIR, isFile = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) { // links count as what they point to
            struct stat st;
            const bool ok = stat((folder + name).c_str(), &st) == 0;
            isDir = ok && S_ISDIR(st.st_mode);
            isFile = ok && S_ISREG(st.st_mode);
        }
        // Only files and folders: a FIFO, socket or device is never reported
        // (opening a FIFO named like a chart would block for ever).
        if (isDir || isFile) entries.push_back({std::move(name), isDir});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return NameLess(a.name, b.name); });
    return entries;
}

// The folder made absolute, with a trailing separator.
std::string AbsoluteWithSlash(const std::string& folder) {
    std::error_code ec;
    std::string absolute =
        std::filesystem::absolute(folder.empty() ? "." : folder, ec).lexically_normal().string();
    if (ec || absolute.empty()) absolute = folder.empty() ? "." : folder;
    return absolute.back() == '/' ? absolute : absolute + "/";
}

} // namespace

bool NameLess(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = AsciiLower(a[i]), y = AsciiLower(b[i]);
        if (x != y) return (unsigned char)x < (unsigned char)y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool MatchesWildcard(const std::string& name, const std::string& pattern) {
    // Iterative match with one backtrack point for the last '*'.
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++, starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1, n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

namespace {

// Walks the folders breadth-first from `base`, listing each folder once, and
// calls `visit(folder, entries)` for every folder in order; a false return
// stops the walk. A folder reached twice (through a link) is walked once.
template <class Visit> bool WalkFolders(const std::string& base, bool recursive, Visit visit) {
    struct stat st;
    if (stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
    std::set<std::pair<dev_t, ino_t>> seen{{st.st_dev, st.st_ino}};
    std::deque<std::string> queue{base};
    while (!queue.empty()) {
        const std::string folder = std::move(queue.front());
        queue.pop_front();
        const std::vector<Entry> entries = ListFolder(folder);
        if (recursive) {
            for (const Entry& e : entries) {
                if (!e.isDirectory) continue;
                std::string sub = folder + e.name + "/";
                if (stat(sub.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second)
                    continue;
                queue.push_back(std::move(sub));
            }
        }
        if (!visit(folder, entries)) return false;
    }
    return true;
}

} // namespace

std::vector<std::string> FileSearch::FolderList() const {
    std::vector<std::string> folders;
    WalkFolders(AbsoluteWithSlash(Directory), Recursive,
                [&](const std::string& folder, const std::vector<Entry>&) {
                    folders.push_back(folder);
                    return true;
                });
    return folders;
}

bool FileSearch::Search() {
    if (!OnFound || running_) return false;
    running_ = true;
    bool result = true;
    try {
        const std::string pattern = SearchName.empty() ? "*" : SearchName;
        result =
            WalkFolders(AbsoluteWithSlash(Directory), Recursive,
                        [&](const std::string& folder, const std::vector<Entry>& entries) {
                            for (const Entry& e : entries) {
                                if (!MatchesWildcard(e.name, pattern)) continue;
                                if (!OnFound(folder + e.name, FoundFile{e.name, e.isDirectory}))
                                    return false;
                            }
                            return true;
                        });
    } catch (...) {
        running_ = false;
        throw;
    }
    running_ = false;
    return result;
}

} // namespace tappo
