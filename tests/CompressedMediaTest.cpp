// Keysounds in Ogg Vorbis and FLAC, and PNG pictures, as modern song packs ship
// them. The files are encoded here with the libraries themselves.
#include "base/Errors.h"
#include "formats/Png.h"
#include "formats/SoundFile.h"
#include "tests/TestUtil.h"
#include "tools/Assets.h"
#include "tools/SoundEncode.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>
#include <zlib.h>

#include <cmath>
#include <cstring>

namespace tappo {
namespace {

std::vector<uint8_t> EncodeSound(const std::vector<int16_t>& samples, int channels, int rate,
                                 int format) {
    std::vector<uint8_t> bytes = tools::EncodeSound(samples, channels, rate, format);
    EXPECT_FALSE(bytes.empty()) << "libsndfile cannot write format " << format;
    return bytes;
}

// A decaying 440 Hz tone, the shape of a keysound.
std::vector<int16_t> Tone(int rate, int frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        s[size_t(i)] =
            int16_t(12000 * std::sin(2 * M_PI * 440 * i / rate) * std::exp(-3.0 * i / frames));
    return s;
}

double Energy(const PcmBuffer& pcm) {
    double e = 0;
    for (size_t i = 0; i < pcm.Frames() * 2; ++i)
        e += double(pcm.Data()[i]) * pcm.Data()[i];
    return e;
}

TEST(CompressedSound, FlacDecodesToTheSameSampleAsTheSameWav) {
    for (int rate : {22050, 44100, 48000}) {
        const auto tone = Tone(rate, rate / 5);
        WaveFormat wavFormat, flacFormat;
        std::string problem;
        auto fromWav = DecodeWave(tools::EncodeWav16(tone, 1, rate), wavFormat, problem);
        auto fromFlac = DecodeSoundFile(
            EncodeSound(tone, 1, rate, SF_FORMAT_FLAC | SF_FORMAT_PCM_16), flacFormat, problem);
        ASSERT_TRUE(fromWav && fromFlac) << problem;
        EXPECT_EQ(fromFlac->ToVector(), fromWav->ToVector()) << rate << " Hz";
        EXPECT_EQ(flacFormat.SamplesPerSec, uint32_t(rate));
    }
}

TEST(CompressedSound, LossyFilesKeepLengthAndEnergy) {
    const auto tone = Tone(22050, 11025);
    WaveFormat format;
    std::string problem;
    auto fromWav = DecodeWave(tools::EncodeWav16(tone, 1, 22050), format, problem);
    ASSERT_TRUE(fromWav);
    const auto ogg = EncodeSound(tone, 1, 22050, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    ASSERT_TRUE(LooksLikeCompressedSound(ogg.data(), ogg.size()));
    auto fromOgg = DecodeSoundFile(ogg, format, problem);
    ASSERT_TRUE(fromOgg) << problem;
    EXPECT_EQ(fromOgg->Frames(), fromWav->Frames());
    EXPECT_NEAR(Energy(*fromOgg) / Energy(*fromWav), 1.0, 0.05);
    // MP3 frames pad the start and end, so only the energy is compared.
    const auto mp3 = EncodeSound(tone, 1, 22050, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
    ASSERT_TRUE(LooksLikeCompressedSound(mp3.data(), mp3.size()));
    auto fromMp3 = DecodeSoundFile(mp3, format, problem);
    ASSERT_TRUE(fromMp3) << problem;
    EXPECT_NEAR(Energy(*fromMp3) / Energy(*fromWav), 1.0, 0.1);
}

TEST(CompressedSound, StereoKeepsBothChannelsAndWiderFilesTheirFirstTwo) {
    std::vector<int16_t> quad;
    for (int i = 0; i < 1000; ++i)
        quad.insert(quad.end(), {int16_t(100), int16_t(-200), int16_t(300), int16_t(400)});
    WaveFormat format;
    std::string problem;
    auto pcm = DecodeSoundFile(EncodeSound(quad, 4, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16),
                               format, problem);
    ASSERT_TRUE(pcm) << problem;
    ASSERT_EQ(pcm->Frames(), 1000u);
    EXPECT_EQ(pcm->Data()[0], 100);
    EXPECT_EQ(pcm->Data()[1], -200);
}

TEST(CompressedSound, DamagedFilesAreRefusedWithoutACrash) {
    WaveFormat format;
    std::string problem;
    EXPECT_EQ(DecodeSoundFile({}, format, problem), nullptr);
    EXPECT_FALSE(problem.empty());
    const std::vector<uint8_t> junk(5000, 0x5A);
    EXPECT_EQ(DecodeSoundFile(junk, format, problem), nullptr);
    // Cut anywhere, an Ogg file decodes what it has or is refused.
    const auto ogg = EncodeSound(Tone(44100, 44100), 1, 44100, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    for (size_t cut : {size_t(4), size_t(60), ogg.size() / 3, ogg.size() - 7}) {
        std::vector<uint8_t> part(ogg.begin(), ogg.begin() + long(cut));
        auto pcm = DecodeSoundFile(part, format, problem);
        if (pcm) {
            EXPECT_LE(pcm->Frames(), 44100u);
        }
    }
    // Rates the player refuses, as it does for WAV files.
    for (int rate : {500, 800000}) {
        problem.clear();
        EXPECT_EQ(
            DecodeSoundFile(EncodeSound(Tone(8000, 800), 1, rate, SF_FORMAT_AU | SF_FORMAT_PCM_16),
                            format, problem),
            nullptr)
            << rate;
        EXPECT_EQ(problem, "のfmtチャンクが不正です");
    }
}

std::vector<uint8_t> EncodePngRgba(int w, int h, const std::vector<uint8_t>& rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(w);
    image.height = uint32_t(h);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr));
    out.resize(size);
    return out;
}

TEST(PngPicture, TransparentPixelsBecomeTheColourKey) {
    // Opaque red, transparent green, half-covered blue, opaque white.
    const std::vector<uint8_t> rgba = {255, 0, 0,   255, 0,   255, 0,   0,
                                       0,   0, 255, 200, 255, 255, 255, 255};
    const auto png = EncodePngRgba(2, 2, rgba);
    ASSERT_TRUE(IsPng(png.data(), png.size()));
    const Image picture = DecodePng(png.data(), png.size());
    ASSERT_EQ(picture.Width, 2);
    ASSERT_EQ(picture.Height, 2);
    EXPECT_EQ(picture.At(0, 0), 0xFF0000u);
    EXPECT_EQ(picture.At(1, 0), 0u);
    EXPECT_EQ(picture.At(0, 1), 0x0000FFu);
    EXPECT_EQ(picture.At(1, 1), 0xFFFFFFu);
}

TEST(PngPicture, DamagedOrOversizedFilesGiveAnError) {
    const auto png = EncodePngRgba(4, 4, std::vector<uint8_t>(64, 255));
    EXPECT_NE(test::ErrorOf([] { DecodePng(nullptr, 0); }).find("PNG エラー"), std::string::npos);
    for (size_t cut : {size_t(8), size_t(30), png.size() - 14}) {
        const std::string error = test::ErrorOf([&] { DecodePng(png.data(), cut); });
        EXPECT_NE(error.find("PNG エラー"), std::string::npos) << cut;
    }
    // A header claiming 60000 x 60000 pixels is refused before any pixel memory.
    std::vector<uint8_t> huge = png;
    const uint8_t side[4] = {0, 0, 0xEA, 0x60};
    std::memcpy(&huge[16], side, 4);
    std::memcpy(&huge[20], side, 4);
    const uint32_t crc = uint32_t(crc32(0, huge.data() + 12, 17));
    const uint8_t crcBytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8),
                                 uint8_t(crc)};
    std::memcpy(&huge[29], crcBytes, 4);
    EXPECT_NE(test::ErrorOf([&] { DecodePng(huge.data(), huge.size()); }).find("PNG エラー"),
              std::string::npos);
}

} // namespace
} // namespace tappo
