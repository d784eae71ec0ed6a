// Builds the same small song twice: once as a plain folder (ASCII names, WAV
// keysounds, BMP pictures) and once as a pack made on Windows arrives on Linux
// today: names in other letter case, "\" between folders, Japanese folder names
// stored as UTF-8 and as raw Shift-JIS bytes, keysounds re-encoded to Ogg
// Vorbis, FLAC and MP3 under the name stem the chart gives, PNG pictures with
// transparency, and charts saved as UTF-8 with a byte-order mark and as
// Shift-JIS. Rendering both must give the same sounds at the same times.
//   tappo-songpack OUTDIR             writes OUTDIR/plain and OUTDIR/pack
//   tappo-songpack --compare A.wav B.wav   compares two renders' onsets and energy
#include "formats/Wave.h"
#include "tools/Assets.h"

#include <png.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace tappo;

namespace {

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) {
    WriteBytes(path, {text.begin(), text.end()});
}

std::vector<int16_t> Synth(int rate, double seconds, double freq, double noise, double decay) {
    std::vector<int16_t> s(static_cast<size_t>(rate * seconds));
    uint32_t seed = 12345;
    for (size_t i = 0; i < s.size(); ++i) {
        seed = seed * 1664525 + 1013904223;
        const double t = double(i) / rate, n = (int(seed >> 16) - 32768) / 32768.0;
        const double v = (1 - noise) * std::sin(2 * M_PI * freq * t) + noise * n;
        s[i] = int16_t(14000 * v * std::exp(-decay * t));
    }
    return s;
}

struct Sound {
    const char* plainName;
    std::string packPath; // as stored in the pack
    int format;           // libsndfile format for the pack, 0: WAV
    std::vector<int16_t> samples;
    int rate;
};

void WriteSoundFile(const fs::path& path, const Sound& s) {
    fs::create_directories(path.parent_path());
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = s.rate;
    info.format = s.format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error(std::string("cannot write ") + path.string() + ": " +
                                 sf_strerror(nullptr));
    sf_writef_short(f, s.samples.data(), sf_count_t(s.samples.size()));
    sf_close(f);
}

// 64 x 48 pictures: an opaque gradient and a ring on the colour key.
std::vector<uint8_t> Rgba(bool layer) {
    std::vector<uint8_t> p(64 * 48 * 4);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* q = &p[size_t(y * 64 + x) * 4];
            const double d = std::hypot(x - 32, y - 24);
            if (layer) {
                const bool ring = d > 12 && d < 18;
                q[0] = ring ? 255 : 0, q[1] = ring ? 220 : 0, q[2] = ring ? 64 : 0,
                q[3] = ring ? 255 : 0;
            } else {
                q[0] = uint8_t(x * 4), q[1] = uint8_t(y * 5), q[2] = 160, q[3] = 255;
            }
        }
    return p;
}

std::vector<uint8_t> Png(const std::vector<uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 64, image.height = 48, image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

// A 24-bit bottom-up BMP of the same pixels (transparent ones black).
std::vector<uint8_t> Bmp(const std::vector<uint8_t>& rgba) {
    const uint32_t row = 64 * 3, size = 54 + row * 48;
    std::vector<uint8_t> b(size);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, size), put32(10, 54), put32(14, 40), put32(18, 64), put32(22, 48);
    b[26] = 1, b[28] = 24;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const uint8_t* q = &rgba[size_t(y * 64 + x) * 4];
            uint8_t* d = &b[54 + size_t(47 - y) * row + size_t(x) * 3];
            const bool clear = q[3] < 128;
            d[0] = clear ? 0 : q[2], d[1] = clear ? 0 : q[1], d[2] = clear ? 0 : q[0];
        }
    return b;
}

std::string Chart(const std::string& title, const std::vector<std::string>& wavs,
                  const std::string& back, const std::string& layer) {
    std::string c = "Written by the song-pack test maker.\r\n#PLAYER 1\r\n#TITLE " + title +
                    "\r\n#ARTIST Tappo\r\n#GENRE Test\r\n#PLAYLEVEL 3\r\n#BPM 150\r\n";
    for (size_t i = 0; i < wavs.size(); ++i)
        c += "#WAV0" + std::to_string(i + 1) + " " + wavs[i] + "\r\n";
    if (!back.empty()) {
        c += "#BMP01 " + back + "\r\n#BMP02 " + layer + "\r\n";
        c += "#00104:01\r\n#00107:02\r\n";
    }
    for (int m = 1; m <= 3; ++m) {
        char measure[8];
        std::snprintf(measure, sizeof measure, "%03d", m);
        for (const char* line : {"11:0100010001000100", "12:0000020000000200",
                                 "13:0303030303030303", "14:04000000", "01:00000005"})
            c.append("#").append(measure).append(line).append("\r\n");
    }
    return c;
}

void MakeFolders(const fs::path& out) {
    const std::string bellUtf8 = "\xE9\x9F\xB3", chimeUtf8 = "\xE9\x90\x98"; // 音, 鐘
    const std::string bellSjis = "\x89\xB9", chimeSjis = "\x8F\xE0";
    std::vector<Sound> sounds = {
        {"kick.wav", std::string("kick.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS,
         Synth(44100, 0.25, 60, 0.05, 14), 44100},
        {"snare.wav", std::string("Snare.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
         Synth(22050, 0.2, 190, 0.7, 18), 22050},
        {"hat.wav", std::string("Sub/HAT.WAV"), 0, Synth(22050, 0.08, 8000, 0.9, 40), 22050},
        {"bell.wav", bellUtf8 + "/bell.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
         Synth(44100, 0.5, 880, 0, 5), 44100},
        {"chime.wav", chimeSjis + "/chime.wav", 0, Synth(44100, 0.4, 1320, 0, 6), 44100},
    };
    std::vector<std::string> plainNames;
    for (auto& s : sounds) {
        WriteBytes(out / "plain" / s.plainName, tools::EncodeWav16(s.samples, 1, s.rate));
        if (s.format)
            WriteSoundFile(out / "pack" / s.packPath, s);
        else
            WriteBytes(out / "pack" / s.packPath, tools::EncodeWav16(s.samples, 1, s.rate));
        plainNames.push_back(s.plainName);
    }
    WriteBytes(out / "plain" / "back.bmp", Bmp(Rgba(false)));
    WriteBytes(out / "plain" / "layer.bmp", Bmp(Rgba(true)));
    WriteBytes(out / "pack" / "Back.png", Png(Rgba(false)));
    WriteBytes(out / "pack" / "layer.PNG", Png(Rgba(true)));
    const std::string titleSjis = "\x83\x70\x83\x62\x83\x4E",
                      titleUtf8 = "\xE3\x83\x91\xE3\x83\x83\xE3\x82\xAF"; // パック
    WriteText(out / "plain" / "song.bms", Chart(titleSjis, plainNames, "back.bmp", "layer.bmp"));
    WriteText(out / "pack" / "song-utf8.bms",
              "\xEF\xBB\xBF" + Chart(titleUtf8,
                                     {"KICK.WAV", "snare.wav", "sub\\hat.wav",
                                      bellUtf8 + "\\bell.wav", chimeUtf8 + "\\chime.wav"},
                                     "back.bmp", "LAYER.bmp"));
    WriteText(out / "pack" / "song-sjis.bms",
              Chart(titleSjis,
                    {"Kick.wav", "SNARE.WAV", "SUB\\hat.wav", bellSjis + "\\bell.wav",
                     chimeSjis + "\\chime.wav"},
                    "back.BMP", "layer.bmp"));
    // Without pictures the play screen shows the chart's title, genre and artist.
    WriteText(out / "pack" / "info-sjis.bms", Chart(titleSjis, {}, "", ""));
    WriteText(out / "pack" / "info-utf8.bms", "\xEF\xBB\xBF" + Chart(titleUtf8, {}, "", ""));
}

std::vector<int16_t> ReadRender(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    WaveFormat format;
    std::string problem;
    auto pcm = DecodeWave(bytes, format, problem);
    if (!pcm) throw std::runtime_error(std::string(path) + problem);
    return pcm->ToVector();
}

// Energy per 10 ms window, and where a window is far louder than the last.
int Compare(const char* a, const char* b) {
    const auto x = ReadRender(a), y = ReadRender(b);
    auto windows = [](const std::vector<int16_t>& s) {
        std::vector<double> e(s.size() / 882 + 1);
        for (size_t i = 0; i < s.size(); ++i)
            e[i / 882] += double(s[i]) * s[i];
        return e;
    };
    const auto ex = windows(x), ey = windows(y);
    double tx = 0, ty = 0;
    for (double v : ex)
        tx += v;
    for (double v : ey)
        ty += v;
    auto onsets = [](const std::vector<double>& e, double total) {
        std::vector<size_t> o;
        const double floor = total / double(e.size()) * 0.05;
        for (size_t i = 1; i < e.size(); ++i)
            if (e[i] > floor && e[i] > 3 * e[i - 1]) o.push_back(i);
        return o;
    };
    const auto ox = onsets(ex, tx), oy = onsets(ey, ty);
    int missing = 0;
    for (size_t w : ox) {
        bool found = false;
        for (size_t v : oy)
            found = found || (v + 2 >= w && v <= w + 2);
        if (!found)
            ++missing,
                std::printf("onset at %.2f s of %s is missing from %s\n", double(w) * 0.01, a, b);
    }
    const double ratio = ty / tx;
    std::printf("onsets %zu / %zu, missing %d, energy ratio %.4f\n", ox.size(), oy.size(), missing,
                ratio);
    return missing == 0 && ox.size() == oy.size() && std::fabs(ratio - 1) < 0.05 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::strcmp(argv[1], "--compare") == 0) return Compare(argv[2], argv[3]);
        if (argc != 2) {
            std::fprintf(stderr, "usage: tappo-songpack OUTDIR | --compare A.wav B.wav\n");
            return 2;
        }
        MakeFolders(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappo-songpack: %s\n", e.what());
        return 1;
    }
    return 0;
}
