// The pieces the demo songs are made of: synthesised drum and plucked-string
// sounds, landscape pictures and banners, and the chart text helpers.
#pragma once

#include "formats/Picture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo::tools {

// Writes the fourth demo song, charted the way charts are written today
// (base-36 ids, tempo changes, stops, long notes); below `songsFolder`, which
// ends with a separator.
void WriteStandardDemoSong(const std::string& songsFolder);

namespace demo {

inline constexpr int Rate = 44100;

// A small seeded generator: the same song on every build.
class Noise {
  public:
    explicit Noise(uint32_t seed) : s_(seed) {}
    double Next() {
        s_ = s_ * 1664525u + 1013904223u;
        return double(int32_t(s_)) / 2147483648.0;
    }

  private:
    uint32_t s_;
};

std::vector<int16_t> ToPcm(const std::vector<double>& v, double gain);
std::vector<int16_t> Kick();
std::vector<int16_t> Snare();
std::vector<int16_t> Hat();
std::vector<int16_t> Crash();
std::vector<int16_t> Pluck(double frequency, double seconds, double brightness, uint32_t seed);
double MidiFrequency(int note);

struct Palette {
    uint32_t skyTop, skyBottom, sun, hills, hillsFar, accent;
};

Image Scene(const Palette& p, int variant, uint32_t seed);
Image Sparkles(uint32_t colour, uint32_t seed);
Image Rings(uint32_t colour);
// The folder's banner, cut to the disk shape as the player would cut it.
Image Banner(const Image& scene, const std::string& label);
std::string ToCp932(const std::string& utf8);

} // namespace demo
} // namespace tappo::tools
