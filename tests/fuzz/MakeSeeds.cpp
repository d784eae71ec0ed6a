// Writes the generated part of the fuzz seed corpora (the rest are copies of
// the demo songs' files): small files in every form each reader takes, and
// seeds that reach the deep places a fuzzer does not grow into by itself (long
// run streams, deep nesting, extreme header values).
// Usage: tappo-fuzz-seeds CORPUS_FOLDER
#include "HostileInput.h"
#include "TestUtil.h"
#include "files/Files.h"
#include "formats/ArchiveWriter.h"
#include "tests/fuzz/SongMedia.h"
#include "tools/Assets.h"
#include "tools/Jpeg.h"
#include "tools/Midi.h"

#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace tappo;
using namespace tappo::test;

namespace {

std::string corpus;

void Seed(const std::string& reader, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(corpus + "/" + reader);
    WriteFileAtomic(corpus + "/" + reader + "/" + name, bytes);
}

std::vector<uint8_t> Prefixed(uint8_t first, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> out{first};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

Bytes Grey(int entries) {
    Bytes t;
    for (int i = 0; i < entries; ++i)
        t.u32(uint32_t(i * 255 / (entries > 1 ? entries - 1 : 1)) * 0x010101);
    return t;
}

// Packed bitmaps in every form; the bitmap seeds are the same with a file header.
std::vector<std::pair<std::string, Bytes>> PackedBitmaps() {
    std::vector<std::pair<std::string, Bytes>> out;
    Bytes b8 = InfoHeader(5, 3, 8, 0, 4);
    b8.raw(Grey(4).b);
    for (int i = 0; i < 3; ++i)
        b8.u8(0).u8(1).u8(2).u8(3).u8(1).u8(0).u8(0).u8(0);
    out.push_back({"indexed8", b8});
    Bytes b1 = InfoHeader(9, 2, 1);
    b1.raw(Grey(2).b).u32(0x0055AAFF).u32(0x00FF55AA);
    out.push_back({"mono", b1});
    Bytes b4 = InfoHeader(3, 2, 4, 0, 16);
    b4.raw(Grey(16).b).u32(0x00F01E12).u32(0x00000034);
    out.push_back({"indexed4", b4});
    Bytes runs = InfoHeader(1, 1, 8, 1, 2);
    runs.raw(Grey(2).b);
    for (int i = 0; i < 8192; ++i)
        runs.u8(255).u8(1);
    runs.u8(0).u8(1);
    out.push_back({"rle8-long-runs", runs});
    Bytes rle8 = InfoHeader(6, 4, 8, 1, 4);
    rle8.raw(Grey(4).b);
    rle8.u8(3).u8(1).u8(0).u8(3).u8(2).u8(3).u8(2).u8(0).u8(0).u8(0);
    rle8.u8(0).u8(2).u8(2).u8(1).u8(255).u8(3).u8(0).u8(0).u8(4).u8(2).u8(0).u8(1);
    out.push_back({"rle8-deltas", rle8});
    Bytes rle4 = InfoHeader(7, 2, 4, 2, 16);
    rle4.raw(Grey(16).b);
    rle4.u8(5).u8(0x1F).u8(0).u8(0).u8(0).u8(5).u8(0x12).u8(0x34).u8(0x50).u8(0).u8(0).u8(1);
    out.push_back({"rle4", rle4});
    Bytes b16 = InfoHeader(2, 2, 16, 3);
    b16.u32(0xF800).u32(0x07E0).u32(0x001F).u16(0xF800).u16(0x07E0).u16(0x001F).u16(0xFFFF);
    out.push_back({"bitfields565", b16});
    Bytes b24 = InfoHeader(3, -2, 24, 0, 2);
    b24.u32(0x112233).u32(0x445566);
    for (int i = 0; i < 2; ++i)
        b24.u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF);
    out.push_back({"topdown24-colourcount", b24});
    Bytes b32 = InfoHeader(2, 1, 32);
    b32.u32(0x00ABCDEF).u32(0x00123456);
    out.push_back({"true32", b32});
    Bytes core;
    core.u32(12).u16(4).u16(2).u16(1).u16(8);
    for (int i = 0; i < 256; ++i)
        core.u8(uint32_t(i)).u8(uint32_t(255 - i)).u8(uint32_t(i / 2));
    core.u32(0x03020100).u32(0x07060504);
    out.push_back({"core-header", core});
    out.push_back({"header-only-8192x4096", InfoHeader(8192, 4096, 24)});
    Bytes wide = InfoHeader(8192, 1, 1);
    wide.raw(Grey(2).b).raw(std::vector<uint8_t>(1024, 0x5A));
    out.push_back({"widest-row", wide});
    return out;
}

void BitmapSeeds() {
    for (auto& [name, packed] : PackedBitmaps()) {
        Seed("dib", name, packed.b);
        const uint32_t headerSize = packed.b[0];
        uint32_t table = 0;
        if (headerSize == 40) {
            const uint32_t bits = packed.b[14], colours = packed.b[32] | packed.b[33] << 8;
            table = colours ? colours * 4 : bits <= 8 ? (1u << bits) * 4 : 0;
            if (packed.b[16] == 3) table += 12;
        } else {
            table = 256 * 3;
        }
        Seed("bmp", name, WithFileHeader(packed.b, headerSize + table));
    }
    Bytes alpha;
    alpha.u32(124).u32(2).u32(2).u16(1).u16(32).u32(6).u32(16).u32(0).u32(0).u32(0).u32(0);
    alpha.u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF).u32(0xFF000000);
    alpha.raw(std::vector<uint8_t>(124 - 56, 0))
        .u32(0x80FF0000)
        .u32(0x8000FF00)
        .u32(0x800000FF)
        .u32(0);
    Seed("bmp", "v5-alpha-bitfields", WithFileHeader(alpha.b, 124));
    Seed("bmp", "solid24", SolidBmp(16, 8, 0x3366CC));
    BitmapData b;
    b.Width = 4, b.Height = 4, b.BitCount = 8;
    b.Palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    b.Pixels = {0, 1, 2, 3, 1, 2, 3, 0, 2, 3, 0, 1, 3, 0, 1, 2};
    Seed("bmp", "encoded8", EncodeBmp(b));
    Seed("banner", "first-bitmap-24", Prefixed(0, SolidBmp(40, 26, 0x00FF00)));
    Seed("banner", "first-bitmap-8", Prefixed(0, EncodeBmp(b)));
    Seed("banner", "disk-bitmap", Prefixed(1, SolidBmp(80, 52, 0x808080)));
    Seed("banner", "first-bitmap-rle",
         Prefixed(0, WithFileHeader(PackedBitmaps()[3].second.b, 48)));
    Seed("banner", "first-bitmap-tall", Prefixed(0, SolidBmp(1, 2000, 0xFFFFFF)));
}

void JpegSeeds() {
    Image p(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            p.At(x, y) = uint32_t(x * 32) << 16 | uint32_t(y * 32);
    Seed("jpeg", "tiny", tools::EncodeJpeg(p, 75));
    Seed("jpeg", "odd-size", tools::EncodeJpeg(Image(17, 3, 0x808080), 50));
}

void ArchiveSeeds() {
    Seed("archive", "program-archive", tools::MakeSpriteArchive());
    std::vector<ArchiveItem> items(5);
    items[0].Name = "plain";
    items[0].Data = SolidBmp(6, 4, 0x123456);
    items[0].PatternWidth = 2, items[0].PatternHeight = 2, items[0].SkipWidth = 1;
    items[1].PictureClass = "TDIB";
    items[1].Data = PackedBitmaps()[4].second.b; // run-length coded
    items[1].Transparent = false;
    items[2].PictureClass = "TJPEGImage";
    items[2].Data = tools::EncodeJpeg(Image(8, 8, 0xFF00FF), 60);
    items[2].TransparentColor = 0xFF00FF;
    items[3].PictureClass = "";
    items[3].SkipWidth = 0x7FFFFFFF, items[3].SkipHeight = -0x7FFFFFFF - 1;
    items[4].PictureClass = "TDIB";
    items[4].Data = PackedBitmaps()[7].second.b; // 24 bits with a colour count
    items[4].PatternWidth = 1, items[4].PatternHeight = 1;
    Seed("archive", "every-picture-class", WriteArchive(items));
    Seed("archive", "nested-200", DeeplyNestedArchive(200));
    Seed("archive", "nested-300", DeeplyNestedArchive(300));
}

std::vector<uint8_t> Wave(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                          const std::vector<uint8_t>& data, bool extensible = false) {
    Bytes fmt;
    fmt.u16(extensible ? 0xFFFE : tag).u16(channels).u32(rate).u32(rate * channels * bits / 8);
    fmt.u16(channels * bits / 8).u16(bits);
    if (extensible) fmt.u16(22).u16(bits).u32(3).u16(tag).raw(std::vector<uint8_t>(14, 0));
    Bytes body;
    body.str("WAVE").str("LIST").u32(3).u8(1).u8(2).u8(3).u8(0);
    body.str("fmt ").u32(uint32_t(fmt.b.size())).raw(fmt.b);
    body.str("data").u32(uint32_t(data.size())).raw(data);
    if (data.size() & 1) body.u8(0);
    Bytes file;
    file.str("RIFF").u32(uint32_t(body.b.size())).raw(body.b);
    return file.b;
}

void WaveSeeds() {
    std::vector<uint8_t> ramp;
    ramp.reserve(96);
    for (int i = 0; i < 96; ++i)
        ramp.push_back(uint8_t(i * 5));
    Seed("wav", "stereo16-44100", Wave(1, 2, 44100, 16, ramp));
    Seed("wav", "mono8-22050", Wave(1, 1, 22050, 8, ramp));
    Seed("wav", "mono24-48000", Wave(1, 1, 48000, 24, ramp));
    Seed("wav", "float-extensible", Wave(3, 2, 32000, 32, ramp, true));
    Seed("wav", "pcm32-8000", Wave(1, 1, 8000, 32, ramp));
    Seed("wav", "rate-1hz", LowRateWave(1, 64));
    Seed("wav", "rate-1000hz", LowRateWave(1000, 64));
    Seed("wav", "step-tick", tools::EncodeWav16(tools::MakeStepTick(), 1, 44100));
    // Song packs' keysounds under their old ".wav" names, and RIFF files in
    // formats the WAV reader leaves to libsndfile.
    const int stereo = 2, mono = 1;
    for (const auto& [name, format, channels] : {
             std::tuple{"ogg-named-wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, mono},
             std::tuple{"flac-named-wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, stereo},
             std::tuple{"mp3-named-wav", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, mono},
             std::tuple{"riff-mulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, mono},
             std::tuple{"riff-alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, stereo},
             std::tuple{"riff-ima-adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, stereo},
             std::tuple{"riff-ms-adpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, mono},
             std::tuple{"riff-double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, mono},
         }) {
        const std::vector<uint8_t> bytes = fuzz::EncodeTone(format, channels, 11025, 300);
        if (!bytes.empty()) Seed("wav", name, bytes);
    }
}

void MidiSeeds() {
    tools::MidiSong song;
    song.Notes = {{0, 480, 0, 60, 100}, {480, 480, 9, 38, 90}};
    const std::vector<uint8_t> good = tools::EncodeMidi(song);
    Seed("midi", "one-track", good);
    std::vector<uint8_t> garbage(good.begin(), good.begin() + 14);
    for (int i = 0; i < 64; ++i)
        garbage.push_back(uint8_t(i * 37 + 11));
    Seed("midi", "header-then-garbage", garbage);
    std::vector<uint8_t> two(good.begin(), good.begin() + 14);
    two[9] = 1, two[11] = 2;
    const std::vector<uint8_t> track(good.begin() + 14, good.end());
    const std::vector<uint8_t> other = {'X', 'F', 'I', 'H', 0, 0, 0, 2, 7, 7};
    two.insert(two.end(), other.begin(), other.end());
    two.insert(two.end(), track.begin(), track.end());
    two.insert(two.end(), track.begin(), track.end());
    Seed("midi", "two-tracks-and-another-chunk", two);
}

void ChartSeeds() {
    auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    Seed(
        "chart", "extremes",
        text(
            "#PLAYER 3\r\n#TITLE \x83\x5C\x83\x93\x83\x4F\r\n#PLAYLEVEL 2147483647\r\n#BPM 0.0001\n"
            "#WAVZZ \\z.wav\n#BMP00 a.bmp\n#00002:0.001\n#99902:1000000\n#00011:0101zz\n"
            "#00104:00ZZ\n#00103:7F00\n#00108:01\n#99911:" +
            std::string(240, '1') + "\n#BPM -5\n"));
    static const char withNul[] = "\r\r\n\n#TITLE a\0b\n#00111:01";
    Seed("chart", "blank-lines-and-nul", text(std::string(withNul, sizeof withNul - 1)));
    // Charts for the standard reading: base-36 ids, random blocks, stops,
    // tempo slots and long notes of both kinds.
    Seed(
        "chart", "random-blocks",
        text(
            "#TITLE \xE3\x81\x82\xE3\x81\x84 UTF-8\n#PLAYER 1\n#BPM 150\n#WAVZ1 s1.wav\n"
            "#WAVa2 s2.wav\n#RANDOM 3\n#IF 1\n#00111:Z1Z1\n#ELSEIF 2\n#00112:a2\n#ELSE\n"
            "#RANDOM 2\n#IF 2\n#00113:Z1a2\n#ENDIF\n#ENDRANDOM\n#ENDIF\n#ENDRANDOM\n"
            "#SETRANDOM 2\n#IF 2\n#00214:Z1\n#ENDIF\n#IF 9\n#00215:a2\n#ENDIF\n#00201:Z1a2Z1a2\n"));
    Seed("chart", "stops-long-notes",
         text("#TITLE stops\n#PLAYER 3\n#BPM 120\n#BPM01 240.5\n#EXBPM02 60\n#STOP01 96\n"
              "#STOPZZ 1e9\n#LNTYPE 1\n#LNOBJ ZZ\n#WAV01 s1.wav\n#WAVZZ s2.wav\n#00103:B4\n"
              "#00108:0102\n#00109:0001\n#00151:01000100\n#00152:0101\n#00169:0001\n"
              "#00159:01\n#00161:0101\n#00111:01ZZ\n#00121:0000ZZ\n#001D1:01\n#00131:01\n"
              "#00202:0.5\n#00209:ZZ\n#00251:01\n"));
    Seed("chart", "song-media",
         text("#TITLE media\n#BPM 200\n#STAGEFILE p1.bmp\n#WAV01 s1.wav\n#WAV02 s2.wav\n"
              "#BMP01 p1.bmp\n#BMP02 p2.bmp\n#BMP00 p2.png\n#00101:0102\n#00104:0102\n"
              "#00106:02\n#00107:0100\n#00111:0102\n#00212:02010201\n#00204:0201\n"));
}

// Every chart seed (generated or copied) as a play seed in both readings:
// exact with 110 ms frames, standard with frames of about 2.5 seconds.
void PlaySeeds() {
    std::vector<std::filesystem::path> charts;
    for (const auto& e : std::filesystem::directory_iterator(corpus + "/chart"))
        if (e.is_regular_file()) charts.push_back(e.path());
    for (const auto& chart : charts) {
        const std::vector<uint8_t> bytes = ReadWholeFile(chart.string());
        const std::string name = chart.filename().string();
        for (const auto& [reading, prefix] :
             {std::pair{"exact-", std::vector<uint8_t>{0x00, 0x01}},
              std::pair{"standard-", std::vector<uint8_t>{0x01, 0x19}}}) {
            std::vector<uint8_t> seed = prefix;
            seed.insert(seed.end(), bytes.begin(), bytes.end());
            Seed("play", reading + name, seed);
        }
    }
    // The media chart over the other forms of each song-folder file (the
    // copies above have the first), in both readings: the first byte's bits
    // above the reading pick the forms.
    const std::vector<uint8_t> media = ReadWholeFile(corpus + "/chart/song-media");
    for (const uint8_t choice : {0x55, 0x2A, 0x3F, 0x40})
        for (const uint8_t standard : {0, 1}) {
            std::vector<uint8_t> seed{uint8_t(choice << 1 | standard), 0x01};
            seed.insert(seed.end(), media.begin(), media.end());
            char name[32];
            std::snprintf(name, sizeof name, "media-%02x-%s", choice,
                          standard ? "standard" : "exact");
            Seed("play", name, seed);
        }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tappo-fuzz-seeds CORPUS_FOLDER\n");
        return 2;
    }
    corpus = argv[1];
    BitmapSeeds();
    JpegSeeds();
    ArchiveSeeds();
    WaveSeeds();
    MidiSeeds();
    ChartSeeds();
    PlaySeeds(); // after the chart seeds it is made from
    return 0;
}
