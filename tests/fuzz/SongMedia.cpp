#include "tests/fuzz/SongMedia.h"

#include "formats/Picture.h"
#include "formats/Png.h"
#include "tools/Assets.h"
#include "tools/Jpeg.h"
#include "tools/SoundEncode.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tappo::fuzz {
namespace {

// A striped picture with a black (see-through) corner, `w` x `h`.
Image Stripes(int w, int h) {
    Image p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.At(x, y) = x < w / 3 && y < h / 3 ? 0u : uint32_t(x * 40) << 16 | uint32_t(y * 60);
    return p;
}

std::vector<uint8_t> Bmp24(int w, int h) {
    return EncodeBmp(BitmapFromPicture(Stripes(w, h)));
}

std::vector<uint8_t> Bmp8(int w, int h) {
    BitmapData b;
    b.Width = w, b.Height = h, b.BitCount = 8;
    b.Palette = {0x000000, 0xFF8000, 0x0080FF, 0xFFFFFF};
    for (int i = 0; i < w * h; ++i)
        b.Pixels.push_back(uint8_t(i % 4));
    return EncodeBmp(b);
}

// The decoded files, made once: every form of every stem.
struct MediaSet {
    std::vector<uint8_t> wav, ogg, flac, mp3, ulaw, ima, bmp24, bmp8, png, jpeg;
    MediaSet() {
        const int rate = 8000, frames = 400;
        std::vector<int16_t> tone(frames);
        for (int i = 0; i < frames; ++i)
            tone[size_t(i)] = int16_t(9000 * std::sin(i * 0.35) * (frames - i) / frames);
        wav = tools::EncodeWav16(tone, 1, rate);
        ogg = EncodeTone(SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, rate, frames);
        flac = EncodeTone(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 11025, frames);
        mp3 = EncodeTone(SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, rate, frames);
        ulaw = EncodeTone(SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, rate, frames);
        ima = EncodeTone(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, frames);
        bmp24 = Bmp24(12, 9);
        bmp8 = Bmp8(10, 6);
        png = EncodePng(Stripes(9, 7));
        jpeg = tools::EncodeJpeg(Stripes(16, 8), 50);
    }
};

} // namespace

std::vector<uint8_t> EncodeTone(int format, int channels, int rate, int frames) {
    std::vector<int16_t> samples(size_t(frames) * size_t(channels));
    for (size_t i = 0; i < samples.size(); ++i) {
        const size_t frame = i / size_t(channels);
        samples[i] = int16_t(8000 * std::sin(double(frame) * 0.2 + double(i % 2)));
    }
    return tools::EncodeSound(samples, channels, rate, format);
}

std::vector<MediaFile> SongMedia(uint8_t choice) {
    static const MediaSet m;
    std::vector<MediaFile> files;
    const auto pick = [&](int shift, MediaFile a, MediaFile b, MediaFile c, MediaFile d) {
        MediaFile* forms[] = {&a, &b, &c, &d};
        files.push_back(std::move(*forms[(choice >> shift) & 3]));
    };
    pick(0, {"s1.wav", m.wav}, {"s1.ogg", m.ogg}, {"s1.wav", m.flac}, {"s1.mp3", m.mp3});
    pick(2, {"s2.wav", m.ogg}, {"s2.flac", m.flac}, {"s2.wav", m.ulaw}, {"s2.wav", m.ima});
    pick(4, {"p1.bmp", m.bmp24}, {"p1.png", m.png}, {"p1.jpg", m.jpeg}, {"p1.bmp", m.png});
    files.push_back(choice & 64 ? MediaFile{"p2.bmp", m.bmp8} : MediaFile{"p2.bmp", m.jpeg});
    return files;
}

} // namespace tappo::fuzz
