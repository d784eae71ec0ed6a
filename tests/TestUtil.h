// Helpers shared by the tests: temporary folders, environment variables and
// hand-built bitmaps.
#pragma once

#include "formats/Picture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace tappo::test {

class TempDir {
  public:
    TempDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "tappo-test-XXXXXX").string();
        path_ = mkdtemp(templ.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // With a trailing separator, like the program folder.
    std::string Folder() const { return path_.string() + "/"; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// An environment variable set for the life of the object, then restored.
class Environment {
  public:
    Environment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~Environment() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// Bytes of a little-endian record, built field by field.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(uint32_t v) {
        b.push_back(uint8_t(v));
        return *this;
    }
    Bytes& u16(uint32_t v) { return u8(v & 255).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& str(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
};

// A 40-byte info header.
inline Bytes InfoHeader(int w, int h, int bits, uint32_t compression = 0, uint32_t colours = 0) {
    Bytes t;
    t.u32(40).u32(uint32_t(w)).u32(uint32_t(h)).u16(1).u16(uint32_t(bits)).u32(compression);
    t.u32(0).u32(0).u32(0).u32(colours).u32(0);
    return t;
}

// Wraps packed-bitmap bytes (header, table, pixels) in a BMP file header.
inline std::vector<uint8_t> WithFileHeader(const std::vector<uint8_t>& packed, uint32_t pixelsAt) {
    Bytes f;
    f.str("BM").u32(uint32_t(14 + packed.size())).u32(0).u32(14 + pixelsAt).raw(packed);
    return f.b;
}

// The text of the exception `f` throws, or "" when it throws none.
inline std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// The lines of a text file (a problem log), none when it is missing.
inline std::vector<std::string> LogLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A run-length coded 8-bit bitmap that leaves pixels out: rows ended early,
// a delta over rows and columns, and an end before the top rows.
inline std::vector<uint8_t> GappedRleBmp(int w, int h, int seed) {
    Bytes p = InfoHeader(w, h, 8, 1, 16);
    for (uint32_t i = 0; i < 16; ++i)
        p.u32((i * 0x0F1F2F + uint32_t(seed) * 0x010101 + 0x101010) & 0xFFFFFF);
    for (int row = 0; row < h - 3; ++row) {
        int x = 0;
        if (row % 9 == 4) {
            p.u8(0).u8(2).u8(5).u8(2); // delta: 5 right, 2 up
            row += 2, x = 5;
        }
        for (; x < w / 2; x += 20)
            p.u8(20).u8(uint32_t((x / 20 + row + seed) % 15 + 1));
        p.u8(0).u8(0);
    }
    p.u8(0).u8(1);
    return WithFileHeader(p.b, 40 + 64);
}

} // namespace tappo::test
