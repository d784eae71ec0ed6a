#include "tools/DemoSongs.h"

#include "files/Files.h"
#include "formats/Picture.h"
#include "tools/Assets.h"
#include "tools/DemoParts.h"
#include "tools/Jpeg.h"
#include "tools/Midi.h"
#include "tools/Raster.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iconv.h>
#include <map>

namespace tappo::tools {
namespace demo {

// ---------- sounds ----------

std::vector<int16_t> ToPcm(const std::vector<double>& v, double gain) {
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        out[i] = int16_t(std::lround(std::clamp(v[i] * gain, -1.0, 1.0) * 32000));
    return out;
}

std::vector<int16_t> Kick() {
    std::vector<double> v(size_t(Rate * 0.35));
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / Rate;
        const double f = 45 + 110 * std::exp(-t / 0.03);
        phase += 2 * M_PI * f / Rate;
        v[i] = std::sin(phase) * std::exp(-t / 0.12) + 0.3 * std::exp(-t / 0.002);
    }
    return ToPcm(v, 0.48);
}

std::vector<int16_t> Snare() {
    std::vector<double> v(size_t(Rate * 0.25));
    Noise noise(7);
    double low = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / Rate;
        const double n = noise.Next();
        low += 0.35 * (n - low); // soften the hiss a little
        v[i] = 0.7 * (n - 0.5 * low) * std::exp(-t / 0.06) +
               0.5 * std::sin(2 * M_PI * 190 * t) * std::exp(-t / 0.05);
    }
    return ToPcm(v, 0.42);
}

std::vector<int16_t> Hat() {
    std::vector<double> v(size_t(Rate * 0.06));
    Noise noise(11);
    double prev = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / Rate;
        const double n = noise.Next();
        v[i] = (n - prev) * std::exp(-t / 0.015); // high-passed noise
        prev = n;
    }
    return ToPcm(v, 0.25);
}

std::vector<int16_t> Crash() {
    std::vector<double> v(size_t(Rate * 1.2));
    Noise noise(13);
    double prev = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / Rate;
        const double n = noise.Next();
        v[i] = (0.6 * n + 0.4 * (n - prev)) * std::exp(-t / 0.35);
        prev = n;
    }
    return ToPcm(v, 0.15);
}

// A plucked string (Karplus-Strong) with a touch of a second, octave string.
std::vector<int16_t> Pluck(double frequency, double seconds, double brightness, uint32_t seed) {
    std::vector<double> v(size_t(Rate * seconds));
    Noise noise(seed);
    auto string = [&](double f, double gain) {
        const size_t period = std::max<size_t>(2, size_t(Rate / f));
        std::vector<double> line(period);
        for (double& x : line)
            x = noise.Next();
        size_t at = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            const double a = line[at], b = line[(at + 1) % period];
            const double out = a;
            line[at] = (brightness * a + (1 - brightness) * b) * 0.996;
            at = (at + 1) % period;
            v[i] += gain * out;
        }
    };
    string(frequency, 0.8);
    string(frequency * 2, 0.2);
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / Rate;
        v[i] *= std::min(1.0, t / 0.002) * std::exp(-t / (seconds * 0.45));
    }
    return ToPcm(v, 0.38);
}

double MidiFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// ---------- pictures ----------

// A landscape: sky gradient, a soft sun, two hill ridges, scattered stars.
Image Scene(const Palette& p, int variant, uint32_t seed) {
    Image pic(320, 240);
    Painter painter(pic);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            pic.At(x, y) = Mix(p.skyTop, p.skyBottom, y / 239.0);
    Noise noise(seed);
    for (int i = 0; i < 60; ++i) {
        const int x = int((noise.Next() + 1) * 160), y = int((noise.Next() + 1) * 60);
        painter.Blend(x, y, Rgb(255, 255, 240), 0.4 + 0.3 * noise.Next());
    }
    const double sunX = 60 + 70 * variant, sunY = 70 + 12 * (variant % 2);
    // A halo that brightens towards the sun.
    painter.FillEllipse(sunX, sunY, 46, 46, [&](double x, double y) {
        const double d = std::hypot(x - sunX, y - sunY);
        return Mix(Mix(p.skyTop, p.skyBottom, y / 239.0), p.sun,
                   0.55 * std::clamp(1.0 - (d - 20) / 26, 0.0, 1.0));
    });
    painter.FillEllipse(sunX, sunY, 20, 20, [&](double, double) { return p.sun; });
    auto ridge = [&](double base, double amp, double freq, double shift, uint32_t colour) {
        std::vector<Point> pts{{0, 240}};
        for (int x = 0; x <= 320; x += 4)
            pts.push_back({double(x), base - amp * (0.6 * std::sin(x * freq + shift) +
                                                    0.4 * std::sin(x * freq * 2.3 + shift * 1.7))});
        pts.push_back({320, 240});
        painter.FillPolygon(pts, [&](double, double y) {
            return Mix(colour, Scale(colour, 0.55), (y - base + amp) / 120);
        });
    };
    ridge(170, 22, 0.018, variant * 1.3, p.hillsFar);
    ridge(205, 16, 0.027, variant * 2.1 + 1, p.hills);
    // A light stripe of the accent colour across the far hills.
    for (int x = 0; x < 320; ++x)
        painter.Blend(x, 150 + int(6 * std::sin(x * 0.05 + variant)), p.accent, 0.35);
    return pic;
}

// Small four-pointed stars on black (black is transparent in a layer).
Image Sparkles(uint32_t colour, uint32_t seed) {
    Image pic(320, 240, 0);
    Painter painter(pic);
    painter.HardEdges = true;
    Noise noise(seed);
    for (int i = 0; i < 26; ++i) {
        const double x = (noise.Next() + 1) * 160, y = (noise.Next() + 1) * 100 + 8;
        const double r = 3 + 3 * (noise.Next() + 1);
        painter.FillPolygon({{x, y - r},
                             {x + r * 0.25, y - r * 0.25},
                             {x + r, y},
                             {x + r * 0.25, y + r * 0.25},
                             {x, y + r},
                             {x - r * 0.25, y + r * 0.25},
                             {x - r, y},
                             {x - r * 0.25, y - r * 0.25}},
                            Mix(colour, Rgb(255, 255, 255), 0.3 * (noise.Next() + 1)));
    }
    return pic;
}

// Rings spreading from the middle, on black.
Image Rings(uint32_t colour) {
    Image pic(320, 240, 0);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const double d = std::hypot(x - 160.0, (y - 120.0) * 1.2);
            const double ring = std::fmod(d, 40.0);
            if (ring < 2.5 && d > 30 && d < 190) pic.At(x, y) = Scale(colour, 1.0 - d / 260);
        }
    return pic;
}

// The folder's banner, cut to the disk shape as the player would cut it.
Image Banner(const Image& scene, const std::string& label) {
    Image banner(80, 52);
    for (int y = 0; y < 52; ++y)
        for (int x = 0; x < 80; ++x)
            banner.At(x, y) = scene.At(x * 320 / 80, y * 240 / 52);
    Painter painter(banner);
    const int w = painter.TextWidth(8, label);
    painter.Text((80 - w) / 2 + 1, 19, 8, label, Rgb(20, 20, 30));
    painter.Text((80 - w) / 2, 18, 8, label, Rgb(255, 255, 255));
    const Image mask = MakeDiskMask();
    for (int y = 0; y < 52; ++y)
        for (int x = 0; x < 80; ++x) {
            const uint32_t m = mask.At(x, y) >> 16; // the red component
            if (m != 255) banner.At(x, y) = m * 0x010101u;
        }
    return banner;
}

std::string ToCp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == iconv_t(-1)) return utf8; // NOLINT(performance-no-int-to-ptr): iconv's failure value
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char* dst = out.data();
    const size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1)) return utf8;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace demo
namespace {

using namespace demo;

// ---------- charts ----------

struct Song {
    std::string folder, title, artist, genre;
    double bpm;
    int measures; // including two measures of intro and one of outro
    int root;     // MIDI note of the key
    std::vector<int> scale;
    std::vector<std::array<int, 3>>
        chords; // chord tones (semitones over the root), one per measure, cycled
    uint8_t padProgram, bassProgram;
    Palette palette;
    uint32_t seed;
};

struct ChartPlan {
    std::string file;
    int player; // #PLAYER
    int level;
    bool dense; // eighths and sixteenths instead of quarter notes
};

// One measure of objects on a 16-step grid.
using Grid = std::array<int, 16>; // 0: nothing, else the object id

std::string Line(int measure, int channel, const Grid& grid) {
    char head[16];
    std::snprintf(head, sizeof head, "#%03d%02d:", measure, channel);
    std::string line = head;
    for (int id : grid) {
        char obj[4];
        std::snprintf(obj, sizeof obj, "%02X", id);
        line += obj;
    }
    return line + "\r\n";
}

constexpr int KickId = 0x01, SnareId = 0x02, HatId = 0x03, CrashId = 0x04, NoteBase = 0x10;
constexpr int LaneChannels[2][4] = {{11, 13, 15, 16}, {21, 23, 25, 26}};

// The melody's pitches: the scale over two octaves from the key's root.
std::vector<int> MelodyNotes(const Song& s) {
    std::vector<int> notes;
    for (int octave = 0; octave < 2; ++octave)
        for (int step : s.scale)
            notes.push_back(s.root + 12 + octave * 12 + step);
    notes.push_back(s.root + 36);
    return notes;
}

std::string WriteChart(const Song& s, const ChartPlan& plan, const std::vector<int>& melody) {
    std::string text;
    auto add = [&](const std::string& line) { text += line + "\r\n"; };
    add("Demo chart of Tappo Player, written by its asset maker.");
    add("#PLAYER " + std::to_string(plan.player));
    add("#GENRE " + s.genre);
    add("#TITLE " + ToCp932(s.title));
    add("#ARTIST " + ToCp932(s.artist));
    char bpm[32];
    std::snprintf(bpm, sizeof bpm, "#BPM %g", s.bpm);
    add(bpm);
    add("#PLAYLEVEL " + std::to_string(plan.level));
    add("#MIDIFILE music.mid");
    add("#WAV01 kick.wav");
    add("#WAV02 snare.wav");
    add("#WAV03 hat.wav");
    add("#WAV04 crash.wav");
    for (size_t i = 0; i < melody.size(); ++i) {
        char def[40];
        std::snprintf(def, sizeof def, "#WAV%02X note%02zu.wav", NoteBase + int(i), i);
        add(def);
    }
    add("#BMP01 scene1.bmp");
    add("#BMP02 scene2.jpg");
    add("#BMP03 scene3.bmp");
    add("#BMP04 scene4.jpg");
    add("#BMP05 sparkles.bmp");
    add("#BMP06 rings.bmp");
    add("");

    Noise noise(s.seed * 31 + uint32_t(plan.level));
    int current = int(melody.size()) / 2;
    const int last = s.measures - 1;
    const int lanesUsed = plan.player == 3 ? 8 : 4;
    for (int m = 0; m < s.measures; ++m) {
        // Drums: a count-in of hats, then a steady beat, a crash at each phrase.
        Grid kick{}, snare{}, hat{}, crash{};
        for (int step = 0; step < 16; step += 2)
            hat[size_t(step)] = HatId;
        if (m >= 2 && m < last) {
            kick[0] = kick[8] = KickId;
            if (m % 2) kick[10] = KickId;
            snare[4] = snare[12] = SnareId;
            if ((m - 2) % 4 == 0) crash[0] = CrashId;
        }
        if (m == last) crash[0] = CrashId, kick[0] = KickId;
        text += Line(m, 1, hat);
        if (m >= 2) text += Line(m, 1, kick) + Line(m, 1, snare) + Line(m, 1, crash);

        // Background images: a new scene every four measures, sparkles on the beat.
        if (m % 4 == 0) {
            Grid base{};
            base[0] = 1 + (m / 4) % 4;
            text += Line(m, 4, base);
        }
        if (m >= 2) {
            Grid layer{};
            layer[0] = m == last ? 0xFF : 5 + m % 2;
            if (m != last) layer[8] = 0xFF;
            text += Line(m, 7, layer);
        }

        // Melody on the lanes, from the third measure to the one before the last.
        if (m < 2 || m >= last) continue;
        std::array<Grid, 8> lanes{};
        const std::array<int, 3>& chord = s.chords[size_t(m - 2) % s.chords.size()];
        const int rhythm = int((noise.Next() + 1) * 2) % 4;
        for (int step = 0; step < 16; ++step) {
            bool hit;
            if (!plan.dense) {
                hit = step % 4 == 0 && !(rhythm == 3 && step == 12);
            } else {
                static const char* patterns[4] = {"x.x.x.x.x.x.x.x.", "x...x.x.x...x.x.",
                                                  "x.x.x...x.x.x...", "x...x.x.x.x.x..."};
                hit = patterns[rhythm][step] == 'x';
            }
            if (!hit) continue;
            // A gentle walk over the scale that turns back at its ends, leaning to
            // chord tones on the beat and moving to another lane for each note.
            const int top = int(melody.size()) - 1;
            auto walk = [&](int from, int by) {
                int to = from + by;
                if (to < 0) to = -to;
                if (to > top) to = 2 * top - to;
                return std::clamp(to, 0, top);
            };
            const int previousLane = current * lanesUsed / int(melody.size());
            int move = int(std::lround(noise.Next() * 2.2));
            if (move == 0) move = noise.Next() > 0 ? 1 : -1;
            int next = walk(current, move);
            for (int tries = 0; tries < 4 && next * lanesUsed / int(melody.size()) == previousLane;
                 ++tries)
                next = walk(next, move > 0 ? 1 : -1);
            current = next;
            if (step % 4 == 0) {
                // On the beat: the nearest chord tone on another lane, if there is one.
                auto isChordTone = [&](int i) {
                    return std::find(chord.begin(), chord.end(),
                                     (melody[size_t(i)] - s.root) % 12) != chord.end();
                };
                for (int d : {0, 1, -1, 2, -2, 3, -3}) {
                    const int c = current + d;
                    if (c < 0 || c > top || !isChordTone(c)) continue;
                    if (c * lanesUsed / int(melody.size()) == previousLane && d != 3 && d != -3)
                        continue;
                    current = c;
                    break;
                }
            }
            const int lane = current * lanesUsed / int(melody.size());
            lanes[size_t(lane)][size_t(step)] = NoteBase + current;
            // Two players: the second plays a third below, a beat's answer.
            if (plan.player == 2 && step % 8 == 4) {
                const int harmony = std::max(0, current - 2);
                lanes[size_t(4 + harmony * 4 / int(melody.size()))][size_t(step)] =
                    NoteBase + harmony;
            }
        }
        for (int lane = 0; lane < 8; ++lane) {
            if (std::all_of(lanes[size_t(lane)].begin(), lanes[size_t(lane)].end(),
                            [](int v) { return v == 0; }))
                continue;
            text += Line(m, LaneChannels[lane / 4][lane % 4], lanes[size_t(lane)]);
        }
    }
    return text;
}

std::vector<uint8_t> WriteMusic(const Song& s) {
    MidiSong song;
    song.Bpm = s.bpm;
    song.Programs[0] = s.padProgram;
    song.Programs[1] = s.bassProgram;
    const uint32_t lead =
        uint32_t(std::lround(480 * s.bpm / 60)); // song time 0 to measure 0: one second
    const uint32_t bar = 4 * 480;
    for (int m = 2; m < s.measures; ++m) {
        const uint32_t start = lead + uint32_t(m) * bar;
        const std::array<int, 3>& chord = s.chords[size_t(m - 2) % s.chords.size()];
        const bool last = m == s.measures - 1;
        for (int tone : chord)
            song.Notes.push_back(
                {start, bar - 20, 0, uint8_t(s.root + 12 + tone), uint8_t(last ? 70 : 58)});
        if (last) break;
        for (int beat = 0; beat < 4; ++beat) {
            const int tone = beat == 2 ? chord[2] - 12 : chord[0];
            song.Notes.push_back(
                {start + uint32_t(beat) * 480, 400, 1, uint8_t(s.root - 12 + tone), 92});
        }
    }
    return EncodeMidi(song);
}

void WriteSong(const std::string& songsFolder, const Song& s,
               const std::vector<ChartPlan>& charts) {
    const std::string dir = songsFolder + s.folder + "/";
    std::filesystem::create_directories(dir);
    auto put = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFileAtomic(dir + name, bytes);
    };
    auto wav = [](const std::vector<int16_t>& pcm) { return EncodeWav16(pcm, 1, Rate); };

    put("kick.wav", wav(Kick()));
    put("snare.wav", wav(Snare()));
    put("hat.wav", wav(Hat()));
    put("crash.wav", wav(Crash()));
    const std::vector<int> melody = MelodyNotes(s);
    for (size_t i = 0; i < melody.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "note%02zu.wav", i);
        put(name, wav(Pluck(MidiFrequency(melody[i]), 0.9, 0.55, s.seed + uint32_t(i))));
    }
    put("music.mid", WriteMusic(s));

    std::vector<Image> scenes;
    for (int v = 0; v < 4; ++v) {
        Palette p = s.palette;
        p.skyTop = Mix(p.skyTop, Rgb(0, 0, 0), 0.15 * v);
        p.sun = Mix(p.sun, p.accent, 0.25 * v);
        scenes.push_back(Scene(p, v, s.seed + uint32_t(v)));
    }
    put("scene1.bmp", EncodeBmp(BitmapFromPicture(scenes[0])));
    put("scene2.jpg", EncodeJpeg(scenes[1]));
    put("scene3.bmp", EncodeBmp(BitmapFromPicture(scenes[2])));
    put("scene4.jpg", EncodeJpeg(scenes[3]));
    put("sparkles.bmp", EncodeBmp(BitmapFromPicture(Sparkles(s.palette.accent, s.seed))));
    put("rings.bmp", EncodeBmp(BitmapFromPicture(Rings(s.palette.sun))));
    put("disk.bmp", EncodeBmp(BitmapFromPicture(Banner(scenes[0], s.genre))));
    for (const ChartPlan& plan : charts) {
        const std::string text = WriteChart(s, plan, melody);
        put(plan.file, std::vector<uint8_t>(text.begin(), text.end()));
    }
}

} // namespace

void WriteDemoSongs(const std::string& songsFolder) {
    const std::string dir = songsFolder.back() == '/' ? songsFolder : songsFolder + "/";
    const std::vector<int> majorPentatonic = {0, 2, 4, 7, 9}, minorPentatonic = {0, 3, 5, 7, 10};

    Song morning{"demo1-morning-steps",
                 "朝のステップ (Morning Steps)",
                 "Tappo Sound Team",
                 "POP",
                 120,
                 30,
                 60,
                 majorPentatonic,
                 {{0, 4, 7}, {-3, 0, 4}, {-7, -3, 0}, {-5, -1, 2}}, // C, Am, F, G
                 88,
                 33,
                 {Rgb(40, 70, 150), Rgb(250, 180, 120), Rgb(255, 235, 170), Rgb(40, 70, 60),
                  Rgb(90, 110, 140), Rgb(255, 140, 90)},
                 101};
    WriteSong(dir, morning, {{"morning.bms", 1, 3, false}});

    Song twin{"demo2-twin-lanes",
              "Twin Lanes",
              "Tappo Sound Team",
              "TRANCE",
              140,
              34,
              57,
              minorPentatonic,
              {{0, 3, 7}, {-4, 0, 3}, {-9, -5, -2}, {-2, 2, 5}}, // Am, F, C, G (in A minor)
              89,
              38,
              {Rgb(10, 10, 40), Rgb(70, 30, 110), Rgb(200, 160, 255), Rgb(20, 15, 45),
               Rgb(50, 35, 90), Rgb(80, 220, 255)},
              202};
    WriteSong(dir, twin, {{"twin-light.bms", 2, 4, false}, {"twin-hard.bms", 2, 8, true}});

    Song road{"demo3-wide-road",
              "Wide Road",
              "Tappo Sound Team",
              "AMBIENT",
              100,
              26,
              62,
              {0, 2, 4, 6, 7, 9, 11},
              {{0, 4, 7}, {2, 6, 9}, {-5, -1, 2}, {-3, 0, 4}}, // D, E, A, Bm: a lydian lift
              48,
              32,
              {Rgb(20, 60, 90), Rgb(120, 200, 190), Rgb(240, 255, 220), Rgb(30, 70, 50),
               Rgb(60, 110, 100), Rgb(255, 230, 120)},
              303};
    WriteSong(dir, road, {{"wide-road.bms", 3, 5, true}});
    WriteStandardDemoSong(dir);
}

} // namespace tappo::tools
