#include "app/Settings.h"

#include "base/Errors.h"
#include "files/Files.h"
#include "files/StateFolder.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace tappo {
namespace {

// Far above any settings file a person writes; a larger file is not read.
constexpr uint64_t MaxSettingsBytes = 1 << 20;

std::string Trim(const std::string& s) {
    const size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return "";
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

bool ParseNumber(const std::string& s, long min, long max, int& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (errno || *end || v < min || v > max) return false;
    out = int(v);
    return true;
}

// One key of the file: how its value reads (an error text, empty when it
// reads) and how the values set are written back.
struct SettingsKey {
    const char* Name;
    std::string (*Read)(const std::string& value, Settings& s);
    std::vector<std::string> (*Write)(const Settings& s);
};

template <class T> std::vector<std::string> One(const std::optional<T>& v, std::string text) {
    return v ? std::vector<std::string>{std::move(text)} : std::vector<std::string>{};
}

// "~/x" as the file x in the home folder; any other value as it is.
std::string InHome(const std::string& value) {
    const char* home = std::getenv("HOME");
    if (value.starts_with("~/") && home && home[0] == '/') return home + value.substr(1);
    return value;
}

const SettingsKey Keys[] = {
    {"songs",
     [](const std::string& v, Settings& s) -> std::string {
         if (v.empty()) return Tr("songs needs a folder");
         s.Songs.push_back(InHome(v));
         return "";
     },
     [](const Settings& s) { return s.Songs; }},
    {"reading",
     [](const std::string& v, Settings& s) -> std::string {
         if (v != "exact" && v != "standard") return Tr("reading is exact or standard");
         s.Standard = v == "standard";
         return "";
     },
     [](const Settings& s) {
         return One(s.Standard, s.Standard.value_or(false) ? "standard" : "exact");
     }},
    {"scale",
     [](const std::string& v, Settings& s) -> std::string {
         int n = 0;
         if (v != "auto" && !ParseNumber(v, 1, 16, n))
             return Tr("scale is a whole number from 1 to 16, or auto");
         s.Scale = n;
         return "";
     },
     [](const Settings& s) {
         const int n = s.Scale.value_or(0);
         return One(s.Scale, n ? std::to_string(n) : "auto");
     }},
    {"screen",
     [](const std::string& v, Settings& s) -> std::string {
         if (v != "window" && v != "full") return Tr("screen is window or full");
         s.Windowed = v == "window";
         return "";
     },
     [](const Settings& s) {
         return One(s.Windowed, s.Windowed.value_or(false) ? "window" : "full");
     }},
    {"audio-buffer",
     [](const std::string& v, Settings& s) -> std::string {
         int n = 0;
         if (!ParseNumber(v, 64, 8192, n))
             return Tr("audio-buffer is a number of frames from 64 to 8192");
         s.AudioBufferFrames = n;
         return "";
     },
     [](const Settings& s) {
         return One(s.AudioBufferFrames, std::to_string(s.AudioBufferFrames.value_or(0)));
     }},
    {"volume",
     [](const std::string& v, Settings& s) -> std::string {
         int n = 0;
         if (!ParseNumber(v, 0, 100, n)) return Tr("volume is a whole number from 0 to 100");
         s.Volume = n;
         return "";
     },
     [](const Settings& s) { return One(s.Volume, std::to_string(s.Volume.value_or(0))); }},
    {"table",
     [](const std::string& v, Settings& s) -> std::string {
         if (v.empty()) return Tr("table needs a URL or a file");
         s.Tables.push_back(InHome(v));
         return "";
     },
     [](const Settings& s) { return s.Tables; }},
    {"scroll-speed",
     [](const std::string& v, Settings& s) -> std::string {
         double x = 0;
         const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), x);
         if (v.empty() || error != std::errc() || end != v.data() + v.size() || !(x >= 0.5) ||
             x > 4 || std::fmod(x * 4, 1.0) != 0)
             return Tr("scroll-speed is a number from 0.5 to 4 in steps of 0.25");
         s.ScrollSpeed = x;
         return "";
     },
     [](const Settings& s) {
         char text[16];
         std::snprintf(text, sizeof text, "%g", s.ScrollSpeed.value_or(1));
         return One(s.ScrollSpeed, text);
     }},
    {"rate",
     [](const std::string& v, Settings& s) -> std::string {
         s.RatePercent = ParseRatePercent(v);
         return s.RatePercent ? "" : Tr("rate is a number from 0.5 to 2 in steps of 0.05");
     },
     [](const Settings& s) { return One(s.RatePercent, RateNumber(s.RatePercent.value_or(100))); }},
    {"sort",
     [](const std::string& v, Settings& s) -> std::string {
         s.Sort = SortNamed(v);
         if (!s.Sort)
             return Tr(
                 "sort is folders, title, artist, level, BPM, length, notes, added or played");
         return "";
     },
     [](const Settings& s) { return One(s.Sort, SortName(s.Sort.value_or(SongSort::Found))); }},
};

const SettingsKey* FindKey(const std::string& name) {
    for (const SettingsKey& key : Keys)
        if (name == key.Name) return &key;
    return nullptr;
}

// The key of a "key = value" line; empty for a blank line, a comment or a line
// without "=".
std::string KeyOfLine(const std::string& line) {
    const std::string trimmed = Trim(line);
    const size_t equals = trimmed.find('=');
    if (trimmed.empty() || trimmed[0] == '#' || equals == std::string::npos) return "";
    return Trim(trimmed.substr(0, equals));
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

std::optional<int> ParseRatePercent(const std::string& text) {
    // Digits, then at most two decimals: read exactly, as the percent.
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string decimals = point == std::string::npos ? "" : text.substr(point + 1);
    auto digits = [](const std::string& d) {
        return d.find_first_not_of("0123456789") == std::string::npos;
    };
    if (whole.empty() || whole.size() > 3 || decimals.size() > 2 || !digits(whole) ||
        !digits(decimals) || (point != std::string::npos && decimals.empty()))
        return std::nullopt;
    const int percent =
        std::stoi(whole) * 100 +
        (decimals.empty() ? 0 : std::stoi(decimals) * (decimals.size() == 1 ? 10 : 1));
    if (percent < 50 || percent > 200 || percent % 5 != 0) return std::nullopt;
    return percent;
}

std::string RateNumber(int percent) {
    char number[16];
    std::snprintf(number, sizeof number, "%d.%02d", percent / 100, percent % 100);
    return number;
}

std::string SettingsPath() {
    const std::string folder = UserFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? "" : folder + "settings";
}

Settings ParseSettings(const std::string& text, const std::string& fileName,
                       std::vector<std::string>& problems) {
    Settings settings;
    const std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string where = fileName + ":" + std::to_string(i + 1) + ": ";
        const std::string line = Trim(lines[i]);
        if (line.empty() || line[0] == '#') continue;
        // Every use of a value stops at a NUL byte: what is behind it would be
        // dropped without a word.
        if (line.find('\0') != std::string::npos) {
            problems.push_back(where + Tr("the line holds a NUL byte"));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            problems.push_back(where + Tr("not a \"key = value\" line"));
            continue;
        }
        const std::string name = Trim(line.substr(0, equals));
        const SettingsKey* key = FindKey(name);
        if (!key) {
            problems.push_back(where + FormatText(Tr("unknown key \"%s\""), name));
            continue;
        }
        const std::string error = key->Read(Trim(line.substr(equals + 1)), settings);
        if (!error.empty()) problems.push_back(where + error);
    }
    return settings;
}

Settings ReadSettingsFile(const std::string& path, std::vector<std::string>& problems) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return {};
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(path, MaxSettingsBytes);
        return ParseSettings(std::string(bytes.begin(), bytes.end()), path, problems);
    } catch (const std::exception& e) {
        problems.push_back(e.what());
        return {};
    }
}

std::string MergeSettings(const std::string& text, const Settings& given) {
    std::vector<std::string> out;
    std::vector<bool> written(std::size(Keys), false);
    for (const std::string& line : SplitLines(text)) {
        const SettingsKey* key = FindKey(KeyOfLine(line));
        const std::vector<std::string> values =
            key ? key->Write(given) : std::vector<std::string>{};
        if (values.empty()) {
            out.push_back(line);
            continue;
        }
        const size_t k = size_t(key - Keys);
        if (written[k]) continue;
        written[k] = true;
        for (const std::string& v : values)
            out.push_back(std::string(key->Name) + " = " + v);
    }
    for (size_t k = 0; k < std::size(Keys); ++k) {
        if (written[k]) continue;
        for (const std::string& v : Keys[k].Write(given))
            out.push_back(std::string(Keys[k].Name) + " = " + v);
    }
    std::string merged;
    for (const std::string& line : out)
        merged += line + "\n";
    return merged;
}

void SaveSettings(const std::string& path, const Settings& given) {
    if (path.empty()) throw Error(Tr("no folder for the settings file: HOME is not set"));
    Settings absolute = given;
    for (std::string& folder : absolute.Songs) {
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(folder, ec);
        if (!ec) folder = full.lexically_normal().string();
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    // A settings file that is a link stays one: its target is rewritten.
    const std::string file = FileBehindLinks(path);
    std::string text;
    if (std::filesystem::exists(file, ec)) {
        const std::vector<uint8_t> bytes = ReadWholeFile(file, MaxSettingsBytes);
        text.assign(bytes.begin(), bytes.end());
    } else {
        text = "# Tappo Player settings: one \"key = value\" a line (see tappoplayer --help).\n";
    }
    const std::string merged = MergeSettings(text, absolute);
    WriteFileAtomic(file, std::vector<uint8_t>(merged.begin(), merged.end()));
}

std::vector<std::string> DefaultSongFolders(const std::string& programFolder) {
    std::vector<std::string> folders{programFolder};
    const std::string data = UserFolder("XDG_DATA_HOME", ".local/share");
    if (data.empty()) return folders;
    std::error_code ec;
    std::filesystem::create_directories(data + "songs", ec);
    if (std::filesystem::is_directory(data + "songs", ec)) folders.push_back(data + "songs/");
    return folders;
}

} // namespace tappo
