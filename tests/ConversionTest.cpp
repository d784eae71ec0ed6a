// Sample-rate conversion, the WAV reader's conversion to the mix format, the
// BMP pixel readers and the picture stretch, each checked against a plain
// per-sample (per-pixel) form of the same arithmetic over many inputs.
#include "TestUtil.h"
#include "chart/FileLookup.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "formats/Wave.h"
#include "media/Media.h"
#include "platform/Display.h"
#include "platform/Surface.h"
#include "tools/Assets.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace tappo;
using namespace tappo::test;

namespace {

// Cubic (Catmull-Rom) conversion to the mix rate, one sample at a time with
// the neighbours held at the ends: the result the fast paths must give.
std::vector<int16_t> ReferenceResample(const std::vector<int16_t>& in, uint32_t fromRate) {
    const size_t frames = in.size() / 2;
    if (fromRate == uint32_t(MixRate) || frames == 0) return in;
    const size_t outFrames = size_t((uint64_t(frames) * MixRate + fromRate - 1) / fromRate);
    std::vector<int16_t> out(outFrames * 2);
    const uint64_t step = (uint64_t(fromRate) << 32) / uint64_t(MixRate);
    const long last = long(frames) - 1;
    uint64_t pos = 0;
    for (size_t o = 0; o < outFrames; ++o, pos += step) {
        const long i = long(pos >> 32);
        const float t = float(uint32_t(pos)) * (1.0f / 4294967296.0f);
        const long i0 = i > 0 ? i - 1 : 0, i2 = i + 1 <= last ? i + 1 : last,
                   i3 = i + 2 <= last ? i + 2 : last;
        for (int c = 0; c < 2; ++c) {
            const float y0 = in[size_t(i0) * 2 + size_t(c)], y1 = in[size_t(i) * 2 + size_t(c)];
            const float y2 = in[size_t(i2) * 2 + size_t(c)], y3 = in[size_t(i3) * 2 + size_t(c)];
            const float v =
                y1 +
                0.5f * t *
                    (y2 - y0 + t * (2 * y0 - 5 * y1 + 4 * y2 - y3 + t * (3 * (y1 - y2) + y3 - y0)));
            out[o * 2 + size_t(c)] = int16_t(v >= 32767.f    ? 32767
                                             : v <= -32768.f ? -32768
                                                             : int(v + (v >= 0 ? 0.5f : -0.5f)));
        }
    }
    return out;
}

// Stereo samples: quiet noise, full-scale noise (the cubic overshoots and is
// held to 16 bits), and runs of the extremes (exact halves and sixteenths).
std::vector<int16_t> TestSignal(size_t frames, int kind, std::mt19937& rng) {
    std::vector<int16_t> s(frames * 2);
    std::uniform_int_distribution<int> full(-32768, 32767), quiet(-300, 300), pick(0, 3);
    const int16_t extremes[4] = {-32768, 32767, 0, -1};
    for (int16_t& v : s)
        v = int16_t(kind == 0 ? quiet(rng) : kind == 1 ? full(rng) : extremes[pick(rng)]);
    return s;
}

} // namespace

TEST(Resample, EveryRateGivesTheCubicResultSampleForSample) {
    std::mt19937 rng(7);
    const uint32_t rates[] = {1000,  8000,  11025, 16000, 22050, 22051,
                              32000, 44100, 48000, 88200, 96000, 768000};
    const size_t lengths[] = {1, 2, 3, 4, 5, 7, 64, 1001};
    for (uint32_t rate : rates) {
        for (size_t frames : lengths) {
            for (int kind = 0; kind < 3; ++kind) {
                const std::vector<int16_t> in = TestSignal(frames, kind, rng);
                ASSERT_EQ(ResampleStereo(in, rate), ReferenceResample(in, rate))
                    << rate << " Hz, " << frames << " frames, signal " << kind;
            }
        }
    }
}

TEST(Resample, DoubledRateIsExactOverManyInputs) {
    // The 22,050 Hz path uses integer arithmetic; over a long mixed signal it
    // must agree with the float cubic on every sample, including the clamped ones.
    std::mt19937 rng(11);
    for (int kind = 0; kind < 3; ++kind) {
        const std::vector<int16_t> in = TestSignal(200000, kind, rng);
        ASSERT_EQ(ResampleStereo(in, 22050), ReferenceResample(in, 22050)) << "signal " << kind;
    }
    EXPECT_TRUE(ResampleStereo({}, 22050).empty());
    EXPECT_EQ(ResampleStereo({5}, 22050), std::vector<int16_t>{5})
        << "a lone half frame stays as it was";
}

TEST(Resample, WaveFilesConvertToTheSameSamplesAsBefore) {
    // The reader converts straight into the sample's storage; the samples are
    // the channel copy (mono on both sides) followed by the cubic conversion.
    std::mt19937 rng(3);
    for (int channels : {1, 2}) {
        for (int rate : {11025, 22050, 44100, 48000}) {
            const std::vector<int16_t> samples = TestSignal(3001, 1, rng);
            std::vector<int16_t> file(samples.begin(), samples.begin() + 3001 * channels);
            WaveFormat format;
            std::string problem;
            auto pcm = DecodeWave(tools::EncodeWav16(file, channels, rate), format, problem);
            ASSERT_TRUE(pcm) << problem;
            std::vector<int16_t> stereo(3001 * 2);
            for (size_t i = 0; i < 3001; ++i) {
                stereo[2 * i] = file[i * size_t(channels)];
                stereo[2 * i + 1] = file[i * size_t(channels) + size_t(channels - 1)];
            }
            EXPECT_EQ(pcm->ToVector(), ReferenceResample(stereo, uint32_t(rate)))
                << channels << " x " << rate;
        }
    }
}

TEST(BmpPixels, FourBitRowsOfEveryWidthAndTheirColours) {
    // Odd and even widths, plain and run-length coded, against the nibbles;
    // a short colour table gives black for the indices past its end.
    for (int width = 1; width <= 9; ++width) {
        const size_t stride = ((size_t(width) * 4 + 31) / 32) * 4;
        Bytes bmp = InfoHeader(width, 2, 4, 0, 3);
        bmp.u32(0x112233).u32(0x445566).u32(0x778899);
        std::vector<uint8_t> rows(stride * 2);
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = uint8_t(i * 37 + 5);
        bmp.raw(rows);
        const BitmapData b = DecodePackedDib(bmp.b.data(), bmp.b.size());
        const Image picture = b.ToPicture();
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t byte = rows[stride * size_t(1 - y) + size_t(x / 2)];
                const uint32_t index = x % 2 ? byte & 15u : byte >> 4u;
                ASSERT_EQ(b.Raw(x, y), index) << width << " wide at " << x << "," << y;
                const uint32_t colours[3] = {0x112233, 0x445566, 0x778899};
                ASSERT_EQ(picture.At(x, y), index < 3 ? colours[index] : 0u);
            }
        }
    }
    // Run-length coded: a run of 5 alternating nibbles, then 3 literal pixels.
    Bytes rle = InfoHeader(9, 1, 4, 2, 4);
    rle.u32(0).u32(0xFF0000).u32(0x00FF00).u32(0x0000FF);
    rle.u8(5).u8(0x12).u8(0).u8(3).u8(0x31).u8(0x20).u8(0).u8(1);
    const BitmapData r = DecodePackedDib(rle.b.data(), rle.b.size());
    const uint32_t expected[9] = {1, 2, 1, 2, 1, 3, 1, 2, 0};
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(r.Raw(x, 0), expected[x]) << x;
}

TEST(BmpPixels, StretchMatchesNearestPixelEverywhere) {
    // Sources inside, partly outside and past the picture: pixels outside it are black.
    Image picture(7, 5);
    for (size_t i = 0; i < picture.Rgb.size(); ++i)
        picture.Rgb[i] = uint32_t(i * 0x0A1B2C);
    const Rect sources[] = {Bounds(0, 0, 7, 5), Bounds(2, 1, 3, 3), Bounds(-2, -1, 10, 8),
                            Bounds(5, 4, 6, 6)};
    const Rect dests[] = {Bounds(0, 0, 20, 12), Bounds(-3, 2, 9, 4), Bounds(4, -2, 30, 30)};
    for (const Rect& source : sources) {
        for (const Rect& dest : dests) {
            Surface surface;
            surface.SetSize(16, 10);
            surface.Canvas().CopyRect(dest, picture, source);
            for (int y = 0; y < 10; ++y) {
                for (int x = 0; x < 16; ++x) {
                    uint16_t want = 0;
                    if (x >= dest.Left && x < dest.Right && y >= dest.Top && y < dest.Bottom) {
                        const long long sx = source.Left + (long long)(x - dest.Left) *
                                                               source.Width() / dest.Width();
                        const long long sy = source.Top + (long long)(y - dest.Top) *
                                                              source.Height() / dest.Height();
                        const bool inside =
                            sx >= 0 && sx < picture.Width && sy >= 0 && sy < picture.Height;
                        want = inside ? RgbValueToPixel(picture.At(int(sx), int(sy))) : 0;
                    } else {
                        continue; // untouched
                    }
                    ASSERT_EQ(surface.Bits()[size_t(y) * 16 + size_t(x)], want) << x << "," << y;
                }
            }
        }
    }
}

TEST(BmpPixels, BackgroundsLoadAsTheirStretchedPictures) {
    // Each kind of bitmap (indexed plain and run-length coded, short colour
    // tables, true colour, smaller and larger than the screen) lands on its
    // surface exactly as the picture reader's result stretched by the canvas.
    TempDir dir;
    ChartData chart;
    std::vector<std::string> names;
    auto add = [&](const std::vector<uint8_t>& bytes) {
        const std::string name = dir.File("p" + std::to_string(names.size()) + ".bmp");
        WriteFileAtomic(name, bytes);
        chart.BmpFileNames[names.size() + 1] = name;
        names.push_back(name);
    };
    Image colours(37, 23);
    for (size_t i = 0; i < colours.Rgb.size(); ++i)
        colours.Rgb[i] = uint32_t(i * 0x030507 + 0x102030) & 0xFFFFFF;
    add(EncodeBmp(BitmapFromPicture(colours)));
    Image wide(700, 500);
    for (size_t i = 0; i < wide.Rgb.size(); ++i)
        wide.Rgb[i] = uint32_t(i * 0x01F3A7);
    add(EncodeBmp(BitmapFromPicture(wide)));
    for (int bits : {4, 8}) {
        Bytes packed = InfoHeader(5, 3, bits, bits == 4 ? 2 : 1, 3);
        packed.u32(0x00FF00).u32(0xFF00FF).u32(0x123456);
        packed.u8(3)
            .u8(bits == 4 ? 0x12 : 2)
            .u8(0)
            .u8(0)
            .u8(2)
            .u8(bits == 4 ? 0x45 : 5)
            .u8(0)
            .u8(0);
        packed.u8(0).u8(1);
        add(WithFileHeader(packed.b, uint32_t(packed.b.size() - 10)));
    }
    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    display.Open();
    BgaBank surfaces;
    int32_t layer = 0;
    FileResolver files;
    ASSERT_TRUE(LoadBgaImages(BgaLoad{surfaces, chart, display, layer, files}));
    const int w = display.Mode.Width, h = display.Mode.Height;
    for (size_t i = 0; i < names.size(); ++i) {
        Surface expected(&display);
        expected.SetSize(w, h);
        const Image picture = ReadBgaPicture(names[i]);
        expected.Canvas().CopyRect(Bounds(0, 0, w, h), picture,
                                   Bounds(0, 0, picture.Width, picture.Height));
        ASSERT_TRUE(surfaces[i + 1]) << names[i];
        ASSERT_EQ(std::memcmp(surfaces[i + 1]->Bits(), expected.Bits(), size_t(w) * size_t(h) * 2),
                  0)
            << names[i];
    }
}
