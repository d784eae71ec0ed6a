#include "chart/FileLookup.h"

#include "chart/ShiftJis.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace tappo {
namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The entry of `folder` equal to `name` (as written or converted from
// Shift-JIS) ignoring ASCII case; "" when there is none.
std::string FindInFolder(const std::string& folder, const std::string& name) {
    const std::string converted = Cp932ToUtf8(name);
    for (const std::string& candidate : {name, converted})
        if (Exists(folder + candidate)) return candidate;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return "";
    std::string found;
    while (dirent* e = readdir(dir)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0 || strcasecmp(e->d_name, converted.c_str()) == 0) {
            found = e->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

std::string FolderOfChart(const std::string& path) {
    const bool shiftJis = !IsValidUtf8(path);
    size_t end = 0; // one past the last separator
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (shiftJis && IsShiftJisLeadByte(c)) {
            ++i; // a double-byte character: its second byte is never a separator
        } else if (c == '/' || c == '\\') {
            end = i + 1;
        }
    }
    return path.substr(0, end);
}

std::string ResolveChartFile(const std::string& path) {
    if (path.empty() || Exists(path)) return path;
    std::string normal = path;
    // Backslashes in the chart's part of the name separate folders, but in
    // Shift-JIS text a backslash can also be the second byte of a character,
    // so the name is only rewritten when the original does not exist.
    const bool shiftJis = !IsValidUtf8(normal);
    for (size_t i = 0; i < normal.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(normal[i]);
        if (shiftJis && IsShiftJisLeadByte(c)) {
            ++i; // skip the trail byte of a double-byte character
        } else if (c == '\\') {
            normal[i] = '/';
        }
    }
    // Walk the path one part at a time, matching each part loosely.
    std::string resolved = normal[0] == '/' ? "/" : "";
    size_t start = normal[0] == '/' ? 1 : 0;
    while (start <= normal.size()) {
        const size_t slash = normal.find('/', start);
        const std::string part = normal.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty()) {
            const std::string match = FindInFolder(resolved, part);
            if (match.empty()) return path;
            resolved += match;
            if (slash != std::string::npos) resolved += '/';
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return Exists(resolved) ? resolved : path;
}

} // namespace tappo
