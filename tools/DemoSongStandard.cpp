// The fourth demo song, "Stop and Go": a chart written the way charts are
// written today, for --standard. Base-36 ids, the tempo changed inside
// measures (channels 03 and 08), two stops (09), a measure of 3/4 (02), long
// notes both as 51-59 pairs and with #LNOBJ, keys the four lanes fold
// together, a #RANDOM fill, "#BANNER" and "#STAGEFILE". The exact reading does
// not understand it; that is what the standard reading is for.
#include "files/Files.h"
#include "tools/Assets.h"
#include "tools/DemoParts.h"
#include "tools/Jpeg.h"
#include "tools/Raster.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tappo::tools {
namespace {

using namespace demo;

constexpr int Measures = 22;                               // two of count-in, one to end on
constexpr int Root = 57;                                   // A
const std::vector<int> MinorPentatonic = {0, 3, 5, 7, 10}; // minor pentatonic

// The melody's keysounds "M0" to "MA" and the long notes' "L0" to "L3".
std::string MelodyId(int i) {
    return std::string("M") + "0123456789A"[i];
}
std::string LongId(int i) {
    return "L" + std::to_string(i);
}
int MelodyNote(int i) {
    return Root + 12 + (i / 5) * 12 + MinorPentatonic[size_t(i % 5)];
}

// One channel line; `ids` holds one two-character id a step ("00": nothing).
std::string Line(int measure, const char* channel, const std::vector<std::string>& ids) {
    char head[16];
    std::snprintf(head, sizeof head, "#%03d%s:", measure, channel);
    std::string line = head;
    for (const std::string& id : ids)
        line += id;
    return line + "\r\n";
}

std::vector<std::string> Steps(int count, std::initializer_list<std::pair<int, std::string>> at) {
    std::vector<std::string> ids(size_t(count), "00");
    for (const auto& [step, id] : at)
        ids[size_t(step)] = id;
    return ids;
}

// Keys 1-5, 8, 9 and the scratch (6): the note field folds them onto four lanes.
constexpr const char* KeyChannels[8] = {"11", "12", "13", "14", "15", "18", "19", "16"};

std::string Header() {
    std::string text;
    auto add = [&](const std::string& line) { text += line + "\r\n"; };
    add("Demo chart of Tappo Player, written by its asset maker for --standard.");
    add("#PLAYER 1");
    add("#GENRE BREAKBEAT");
    add("#TITLE Stop and Go");
    add("#ARTIST Tappo Sound Team");
    add("#BPM 120");
    add("#PLAYLEVEL 6");
    add("#BANNER banner.bmp");
    add("#STAGEFILE stage.jpg");
    add("#LNTYPE 1");
    add("#LNOBJ ZZ");
    add("#WAV0K kick.wav");
    add("#WAV0S snare.wav");
    add("#WAV0H hat.wav");
    add("#WAV0C crash.wav");
    for (int i = 0; i < 11; ++i)
        add("#WAV" + MelodyId(i) + " note" + std::to_string(i) + ".wav");
    for (int i = 0; i < 4; ++i)
        add("#WAV" + LongId(i) + " long" + std::to_string(i) + ".wav");
    add("#BMPA1 scene1.bmp");
    add("#BMPA2 scene2.jpg");
    add("#BMPA3 scene3.bmp");
    add("#BMPA4 scene4.jpg");
    add("#BMPSP sparkles.bmp");
    add("#BPM01 90");
    add("#BPM02 110.5");
    add("#STOP01 96");
    add("#STOP02 48");
    add("");
    return text;
}

// Drums and images of measure m (`steps` sixteenths long).
std::string Drums(int m, int steps) {
    std::string text;
    std::vector<std::string> hat(size_t(steps), "00");
    for (int s = 0; s < steps; s += 2)
        hat[size_t(s)] = "0H";
    text += Line(m, "01", hat);
    if (m < 2) return text;
    if (m == Measures - 1) return text + Line(m, "01", Steps(steps, {{0, "0C"}, {0, "0K"}}));
    text += Line(m, "01", Steps(steps, {{0, "0K"}, {8, "0K"}}));
    text +=
        Line(m, "01", steps == 16 ? Steps(16, {{4, "0S"}, {12, "0S"}}) : Steps(12, {{4, "0S"}}));
    if ((m - 2) % 4 == 0) text += Line(m, "01", Steps(steps, {{0, "0C"}}));
    if (m % 4 == 2) text += Line(m, "04", Steps(1, {{0, "A" + std::to_string(1 + (m / 4) % 4)}}));
    if (m % 2) text += Line(m, "07", Steps(2, {{0, "SP"}}));
    return text;
}

// Quarter-note melody on the keys, walking the scale.
std::string Melody(int m, int steps, Noise& noise, int& current) {
    std::array<std::vector<std::string>, 8> keys;
    for (auto& k : keys)
        k.assign(size_t(steps), "00");
    for (int s = 0; s < steps; s += 4) {
        current = std::clamp(current + int(noise.Next() * 3.0), 0, 10);
        keys[size_t(current * 8 / 11)][size_t(s)] = MelodyId(current);
    }
    std::string text;
    for (int k = 0; k < 8; ++k)
        if (std::any_of(keys[size_t(k)].begin(), keys[size_t(k)].end(),
                        [](auto& id) { return id != "00"; }))
            text += Line(m, KeyChannels[k], keys[size_t(k)]);
    return text;
}

// Where the timing moves: tempo changes, stops, the short measure.
std::string Timing(int m) {
    switch (m) {
    case 5:
        return Line(m, "03", Steps(2, {{1, "96"}})); // 150 from the half
    case 8:
        return Line(m, "08", Steps(4, {{0, "01"}, {2, "02"}})); // 90, then 110.5
    case 9:
        return Line(m, "09", Steps(4, {{3, "01"}})); // two beats' stop
    case 11:
        return "#01102:0.75\r\n"; // a 3/4 measure
    case 12:
        return Line(m, "03", Steps(1, {{0, "78"}})); // back to 120
    case 13:
        return Line(m, "09", Steps(4, {{1, "02"}})); // one beat's stop
    default:
        return {};
    }
}

// Long notes: 51-59 pairs in measures 6-7 and 14-15, #LNOBJ in 16-17.
std::string LongNotes(int m) {
    switch (m) {
    case 6:
    case 14:
        return Line(m, "51", Steps(4, {{0, LongId(0)}, {2, LongId(0)}})) +
               Line(m, "55", Steps(4, {{2, LongId(1)}}));
    case 7:
    case 15:
        return Line(m, "55", Steps(4, {{0, LongId(1)}})) +
               Line(m, "53", Steps(4, {{1, LongId(2)}, {3, LongId(2)}}));
    case 16:
    case 17:
        return Line(m, "16", Steps(4, {{0, LongId(3)}, {1, "ZZ"}})) +
               Line(m, "13", Steps(4, {{2, MelodyId(4)}, {3, "ZZ"}}));
    default:
        return {};
    }
}

std::string WriteChart() {
    std::string text = Header();
    Noise noise(404);
    int current = 5;
    for (int m = 0; m < Measures; ++m) {
        const int steps = m == 11 ? 12 : 16;
        text += Drums(m, steps) + Timing(m);
        if (m >= 2 && m < Measures - 1 && (m < 16 || m > 17))
            text += Melody(m, steps, noise, current);
        text += LongNotes(m);
        if (m == 18) {
            // A fill chosen at random: --inspect and --render-wav take the first.
            text += "#RANDOM 2\r\n#IF 1\r\n" +
                    Line(m, "01", Steps(8, {{5, "0S"}, {6, "0S"}, {7, "0S"}})) + "#ELSE\r\n" +
                    Line(m, "01", Steps(8, {{6, "0C"}})) + "#ENDIF\r\n#ENDRANDOM\r\n";
        }
    }
    return text;
}

} // namespace

void WriteStandardDemoSong(const std::string& songsFolder) {
    const std::string dir = songsFolder + "demo4-stop-and-go/";
    std::filesystem::create_directories(dir);
    auto put = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFileAtomic(dir + name, bytes);
    };
    auto wav = [](const std::vector<int16_t>& pcm) { return EncodeWav16(pcm, 1, Rate); };
    put("kick.wav", wav(Kick()));
    put("snare.wav", wav(Snare()));
    put("hat.wav", wav(Hat()));
    put("crash.wav", wav(Crash()));
    for (int i = 0; i < 11; ++i)
        put("note" + std::to_string(i) + ".wav",
            wav(Pluck(MidiFrequency(MelodyNote(i)), 0.8, 0.5, 400 + uint32_t(i))));
    for (int i = 0; i < 4; ++i)
        put("long" + std::to_string(i) + ".wav",
            wav(Pluck(MidiFrequency(Root + MinorPentatonic[size_t(i)]), 2.4, 0.7,
                      410 + uint32_t(i))));

    const Palette palette{Rgb(60, 20, 30), Rgb(200, 90, 60), Rgb(255, 220, 120),
                          Rgb(50, 25, 35), Rgb(110, 50, 60), Rgb(120, 255, 200)};
    std::vector<Image> scenes;
    scenes.reserve(4);
    for (int v = 0; v < 4; ++v)
        scenes.push_back(Scene(palette, v, 404 + uint32_t(v)));
    put("scene1.bmp", EncodeBmp(BitmapFromPicture(scenes[0])));
    put("scene2.jpg", EncodeJpeg(scenes[1]));
    put("scene3.bmp", EncodeBmp(BitmapFromPicture(scenes[2])));
    put("scene4.jpg", EncodeJpeg(scenes[3]));
    put("sparkles.bmp", EncodeBmp(BitmapFromPicture(Sparkles(palette.accent, 404))));
    // The folder's banner for the exact reading; the chart's own for the standard one.
    put("disk.bmp", EncodeBmp(BitmapFromPicture(Banner(scenes[0], "BREAKBEAT"))));
    put("banner.bmp", EncodeBmp(BitmapFromPicture(Banner(scenes[2], "STOP&GO"))));
    Image stage = scenes[3];
    Painter painter(stage);
    painter.Text(41, 141, 16, "Stop and Go", Rgb(20, 10, 10));
    painter.Text(40, 140, 16, "Stop and Go", Rgb(255, 255, 255));
    put("stage.jpg", EncodeJpeg(stage));
    const std::string chart = WriteChart();
    put("stop-and-go.bms", std::vector<uint8_t>(chart.begin(), chart.end()));
}

} // namespace tappo::tools
