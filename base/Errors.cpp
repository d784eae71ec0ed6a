#include "base/Errors.h"

namespace tappo {
namespace {

// Replaces the first %s or %d of `pattern` (from `from`) and returns where the
// next search starts.
size_t ReplaceNext(std::string& s, size_t from, const std::string& value) {
    for (size_t i = from; i + 1 < s.size(); ++i) {
        if (s[i] == '%' && (s[i + 1] == 's' || s[i + 1] == 'd')) {
            s.replace(i, 2, value);
            return i + value.size();
        }
    }
    return s.size();
}

} // namespace

FileOpenError::FileOpenError(const std::string& path)
    : Error(FormatText(Tr(text::FileOpen), path)) {}

std::string FormatText(const std::string& pattern, const std::string& a) {
    std::string s = pattern;
    ReplaceNext(s, 0, a);
    return s;
}

std::string FormatText(const std::string& pattern, const std::string& a, const std::string& b) {
    std::string s = pattern;
    ReplaceNext(s, ReplaceNext(s, 0, a), b);
    return s;
}

std::string FormatText(const std::string& pattern, long long a) {
    return FormatText(pattern, std::to_string(a));
}

std::string FormatText(const std::string& pattern, long long a, long long b, long long c) {
    std::string s = pattern;
    size_t at = ReplaceNext(s, 0, std::to_string(a));
    at = ReplaceNext(s, at, std::to_string(b));
    ReplaceNext(s, at, std::to_string(c));
    return s;
}

} // namespace tappo
