#include "tools/Assets.h"

#include "files/Files.h"
#include "formats/ArchiveWriter.h"
#include "tools/Raster.h"

#include <cmath>
#include <filesystem>

namespace tappo::tools {
namespace {

constexpr uint32_t Key = 0;               // transparent in every sprite
const uint32_t Outline = Rgb(18, 18, 34); // dark, but never the key

// Upward arrow in a 32 x 32 cell; other directions are quarter turns of it.
std::vector<Point> ArrowShape() {
    return {{16, 2.5}, {29.5, 16}, {21.5, 16}, {21.5, 29.5}, {10.5, 29.5}, {10.5, 16}, {2.5, 16}};
}

// Lanes from left to right: left, down, up, right.
constexpr int LaneTurns[4] = {3, 2, 0, 1};
const uint32_t LaneColours[4] = {Rgb(240, 70, 170), Rgb(70, 160, 255), Rgb(90, 225, 110),
                                 Rgb(255, 160, 50)};

void DrawArrow(Painter& painter, double ox, double oy, int lane, double glow) {
    const auto shape = Rotate(ArrowShape(), 16, 16, LaneTurns[lane]);
    std::vector<Point> body, rim;
    for (const Point& p : shape)
        body.push_back({p.X + ox, p.Y + oy});
    rim = Grow(body, 1.6);
    painter.FillPolygon(rim, Outline);
    const uint32_t base = LaneColours[lane];
    const double turns = LaneTurns[lane] * M_PI / 2;
    const double ax = std::sin(turns), ay = -std::cos(turns); // pointing direction
    painter.FillPolygon(body, [&](double x, double y) {
        // Lighter towards the tip, brighter on the beat.
        double along = ((x - ox - 16) * ax + (y - oy - 16) * ay) / 14.0; // -1 .. 1
        uint32_t c = Mix(Scale(base, 0.7), Mix(base, Rgb(255, 255, 255), 0.35), (along + 1) / 2);
        return Mix(c, Rgb(255, 255, 255), 0.55 * glow);
    });
    painter.FillPolygon(Grow(body, -3.2), [&](double x, double y) {
        double along = ((x - ox - 16) * ax + (y - oy - 16) * ay) / 14.0;
        uint32_t c = Mix(base, Rgb(255, 255, 255), 0.25 + 0.25 * (along + 1) / 2);
        return Mix(c, Rgb(255, 255, 255), 0.6 * glow);
    });
}

void DrawReceptor(Painter& painter, double ox, int lane, bool beat) {
    const auto shape = Rotate(ArrowShape(), 16, 16, LaneTurns[lane]);
    std::vector<Point> body;
    body.reserve(shape.size());
    for (const Point& p : shape)
        body.push_back({p.X + ox, p.Y});
    painter.FillPolygon(Grow(body, 1.6), Outline);
    const uint32_t rim = beat ? Rgb(255, 255, 255) : Rgb(150, 155, 175);
    painter.FillPolygon(body, beat ? Mix(LaneColours[lane], rim, 0.6) : rim);
    painter.FillPolygon(Grow(body, -2.4), Outline);
    painter.FillPolygon(Grow(body, -3.6), beat ? Rgb(60, 60, 90) : Key);
}

Image Star() {
    Image p(10, 10, Key);
    Painter painter(p);
    painter.HardEdges = true;
    std::vector<Point> pts;
    for (int i = 0; i < 10; ++i) {
        double r = (i % 2) ? 2.1 : 5.0, a = -M_PI / 2 + i * M_PI / 5;
        pts.push_back({5 + r * std::cos(a), 5.3 + r * std::sin(a)});
    }
    painter.FillPolygon(Grow(pts, 0.7), Rgb(170, 90, 20));
    painter.FillPolygon(
        pts, [](double, double y) { return Mix(Rgb(255, 245, 150), Rgb(255, 190, 30), y / 10); });
    return p;
}

Image PauseMark() {
    Image p(40, 20, Key);
    Painter painter(p);
    painter.HardEdges = true;
    painter.FillRoundRect(0, 0, 40, 20, 5, [](double, double) { return Rgb(200, 205, 255); });
    painter.FillRoundRect(1.5, 1.5, 37, 17, 4, [](double, double y) {
        return Mix(Rgb(40, 40, 90), Rgb(20, 20, 50), y / 20);
    });
    painter.FillRect(14, 5, 4, 10, Rgb(240, 240, 255));
    painter.FillRect(22, 5, 4, 10, Rgb(240, 240, 255));
    return p;
}

Image ReceptorRow(bool beat) {
    Image p(128, 32, Key);
    Painter painter(p);
    painter.HardEdges = true;
    for (int lane = 0; lane < 4; ++lane)
        DrawReceptor(painter, lane * 32, lane, beat);
    return p;
}

Image Plate(int w, int h, const std::string& label, int size) {
    Image p(w, h, Key);
    Painter painter(p);
    painter.HardEdges = true;
    painter.FillRoundRect(0, 0, w, h, h / 2.0, [](double, double) { return Rgb(120, 140, 220); });
    painter.FillRoundRect(1.5, 1.5, w - 3, h - 3, h / 2.0 - 1.5, [h](double, double y) {
        return Mix(Rgb(36, 40, 96), Rgb(14, 16, 44), y / h);
    });
    int tw = painter.TextWidth(size, label);
    painter.Text((w - tw) / 2, (h - size * 4 / 3) / 2 - 1, size, label, Rgb(235, 240, 255));
    return p;
}

Image Triangle(bool right) {
    Image p(26, 12, Key);
    Painter painter(p);
    painter.HardEdges = true;
    std::vector<Point> tri = right ? std::vector<Point>{{3, 1}, {22, 6}, {3, 11}}
                                   : std::vector<Point>{{23, 1}, {4, 6}, {23, 11}};
    painter.FillPolygon(Grow(tri, 1.0), Outline);
    painter.FillPolygon(
        tri, [](double, double y) { return Mix(Rgb(255, 240, 160), Rgb(255, 170, 60), y / 12); });
    return p;
}

Image HeaderBar() {
    Image p(320, 20, Key);
    Painter painter(p);
    painter.HardEdges = true;
    painter.FillRect(0, 0, 320, 20, Rgb(14, 16, 40));
    for (int x = 0; x < 320; ++x) {
        uint32_t c = Hsv(200 + 120.0 * x / 320, 0.7, 0.95);
        p.At(x, 0) = c, p.At(x, 19) = c;
        for (int y = 1; y < 19; ++y)
            p.At(x, y) = Mix(Rgb(14, 16, 40), Scale(c, 0.45), 1.0 - std::abs(y - 9.5) / 9.5);
    }
    painter.Text(8, 2, 10, "TAPPO PLAYER", Rgb(255, 255, 255));
    const std::string right = "SELECT MUSIC";
    painter.Text(312 - painter.TextWidth(10, right), 2, 10, right, Rgb(255, 230, 150));
    return p;
}

// The key layouts' sprites, one column of 32 x 16 cells a colour: the note
// (its top 7 rows), a tile of the held bar of a long note, the receptor and
// the receptor on the beat; the last column's left edge is the lane rail.
// Bars are symmetric and the same along each row, so the play screen draws a
// narrower one from the cell's two ends.
const uint32_t KeyColours[KeyNoteColours] = {
    Rgb(236, 238, 246), // white key
    Rgb(70, 150, 255),  // blue key
    Rgb(255, 60, 70),   // scratch
    Rgb(255, 214, 60),  // yellow button
    Rgb(80, 220, 110),  // green button
    Rgb(255, 110, 150), // red button
};

void DrawKeyColumn(Image& p, int column) {
    const int x = column * KeyNoteCell;
    const uint32_t c = KeyColours[column];
    Painter painter(p);
    painter.HardEdges = true;
    // The note: an outlined bar, light on top.
    painter.FillRoundRect(x + 0.5, 0, KeyNoteCell - 1, 7, 2,
                          [&](double, double) { return Outline; });
    painter.FillRoundRect(x + 1.5, 1, KeyNoteCell - 3, 5, 1.5, [&](double, double y) {
        return Mix(Mix(c, Rgb(255, 255, 255), 0.45), Scale(c, 0.7), y / 6);
    });
    painter.FillRect(x + 3, 1, KeyNoteCell - 6, 1, Mix(c, Rgb(255, 255, 255), 0.7));
    // The held bar: a dimmer band with a bright core, the same on every row.
    for (int y = 16; y < 32; ++y) {
        painter.FillRect(x + 2, y, KeyNoteCell - 4, 1, Outline);
        painter.FillRect(x + 3, y, KeyNoteCell - 6, 1, Scale(c, 0.45));
        painter.FillRect(x + 6, y, KeyNoteCell - 12, 1, Scale(c, 0.7));
    }
    // The receptors: a frame around the line the notes reach, lit on the beat.
    for (int beat = 0; beat < 2; ++beat) {
        const int top = 32 + beat * 16;
        const uint32_t rim = beat ? Mix(c, Rgb(255, 255, 255), 0.5) : Rgb(120, 126, 150);
        painter.FillRoundRect(x + 0.5, top + 1, KeyNoteCell - 1, 14, 3,
                              [&](double, double) { return Outline; });
        painter.FillRoundRect(x + 1.5, top + 2, KeyNoteCell - 3, 12, 2,
                              [&](double, double) { return rim; });
        painter.FillRoundRect(x + 2.5, top + 3, KeyNoteCell - 5, 10, 1.5, [&](double, double) {
            return beat ? Scale(c, 0.45) : Rgb(30, 32, 52);
        });
        painter.FillRect(x + 3, top + 7, KeyNoteCell - 6, 2,
                         beat ? Rgb(255, 255, 255) : Scale(c, 0.8));
    }
}

ArchiveItem Item(const std::string& name, const Image& picture) {
    ArchiveItem item;
    item.Name = name;
    item.Data = EncodeBmp(BitmapFromPicture(picture));
    return item;
}

} // namespace

Image MakeArrowSheet() {
    Image p(128, 512, Key);
    Painter painter(p);
    painter.HardEdges = true;
    for (int row = 0; row < 16; ++row) {
        // A flash on each beat that fades over its four sixteenths, strongest
        // on the first beat of the measure.
        double glow = std::pow(0.45, row % 4) * (row == 0 ? 1.0 : 0.8);
        for (int lane = 0; lane < 4; ++lane)
            DrawArrow(painter, lane * 32, row * 32, lane, glow);
    }
    return p;
}

Image MakeKeyNotes() {
    Image p((KeyNoteColours + 1) * KeyNoteCell, 64, Key);
    for (int column = 0; column < KeyNoteColours; ++column)
        DrawKeyColumn(p, column);
    Painter(p).FillRect(KeyNoteColours * KeyNoteCell, 0, 1, 64, Rgb(64, 68, 104));
    return p;
}

BitmapData MakeWarpPicture() {
    // Wrapped around the centre, columns become angles and rows distances: a
    // checkered tunnel in two hues that darkens towards its vanishing point.
    BitmapData b;
    b.Width = 320, b.Height = 240, b.BitCount = 8;
    b.Palette.resize(256);
    for (int i = 0; i < 128; ++i) {
        double v = 0.08 + 0.55 * std::pow(i / 127.0, 0.8);
        b.Palette[size_t(i)] = Hsv(228 + 30.0 * i / 127, 0.85, v);
        b.Palette[size_t(128 + i)] = Hsv(275 + 40.0 * i / 127, 0.75, v * 0.85);
    }
    b.Pixels.resize(size_t(320) * 240);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const int spoke = (x / 16) & 1;
            const int ring = (y / 14) & 1;
            const double wave = 6 * std::sin(x * 2 * M_PI / 64.0);
            const int depth = std::clamp(int((y + wave) * 127 / 200), 0, 127);
            b.Pixels[size_t(y) * 320 + x] = uint32_t((spoke ^ ring) * 128 + depth);
        }
    }
    return b;
}

Image MakeDiskMask() {
    Image p(80, 52, 0);
    Painter painter(p);
    painter.FillRoundRect(0.5, 0.5, 79, 51, 10, [](double, double) { return Rgb(210, 210, 210); });
    painter.FillRoundRect(2.5, 2.5, 75, 47, 8, [](double, double) { return Rgb(255, 255, 255); });
    return p;
}

Image MakeDiskBlank() {
    Image p(80, 52, Key);
    Painter painter(p);
    painter.FillRoundRect(0.5, 0.5, 79, 51, 10, [](double, double) { return Rgb(200, 205, 230); });
    painter.FillRoundRect(2.5, 2.5, 75, 47, 8, [](double x, double y) {
        return Mix(Rgb(46, 52, 120), Rgb(16, 18, 52), (x + 2 * y) / 184.0);
    });
    // A beamed pair of notes.
    const uint32_t ink = Rgb(235, 235, 255);
    painter.FillEllipse(31, 33, 5, 3.6, [&](double, double) { return ink; });
    painter.FillEllipse(49, 30, 5, 3.6, [&](double, double) { return ink; });
    painter.FillRect(35, 14, 2, 19, ink);
    painter.FillRect(53, 11, 2, 19, ink);
    painter.FillPolygon({{35, 14}, {55, 11}, {55, 15}, {35, 18}}, ink);
    return p;
}

std::vector<uint8_t> MakeSpriteArchive() {
    std::vector<ArchiveItem> items;
    items.push_back(Item("Receptors", ReceptorRow(false)));
    items.push_back(Item("ReceptorsBeat", ReceptorRow(true)));
    items.push_back(Item("Star", Star()));
    items.push_back(Item("Pause", PauseMark()));
    items.push_back(Item("StartPlate", Plate(150, 18, "←→ SELECT   Z: START", 8)));
    items.push_back(Item("NextFolder", Triangle(true)));
    items.push_back(Item("PrevFolder", Triangle(false)));
    items.push_back(Item("Header", HeaderBar()));
    items.push_back(Item("KeyNotes", MakeKeyNotes()));
    return WriteArchive(items);
}

std::vector<int16_t> MakeStepTick() {
    // A short wooden tick: two damped partials and a click of noise.
    const int rate = 44100, n = rate * 40 / 1000;
    std::vector<int16_t> s(size_t(n), 0);
    uint32_t noise = 12345;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        noise = noise * 1664525u + 1013904223u;
        const double white = (int32_t(noise >> 8) % 2000) / 2000.0;
        const double v = 0.55 * std::sin(2 * M_PI * 1800 * t) * std::exp(-t / 0.006) +
                         0.25 * std::sin(2 * M_PI * 3100 * t) * std::exp(-t / 0.003) +
                         0.35 * white * std::exp(-t / 0.0008);
        s[size_t(i)] = int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 30000));
    }
    return s;
}

std::vector<uint8_t> EncodeWav16(const std::vector<int16_t>& samples, int channels, int rate) {
    std::vector<uint8_t> out;
    out.reserve(44 + samples.size() * 2);
    auto u16 = [&](uint32_t v) { out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(t[i]));
    };
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    tag("RIFF"), u32(36 + dataBytes), tag("WAVE");
    tag("fmt "), u32(16), u16(1), u16(uint32_t(channels)), u32(uint32_t(rate));
    u32(uint32_t(rate * channels * 2)), u16(uint32_t(channels * 2)), u16(16);
    tag("data"), u32(dataBytes);
    for (int16_t v : samples)
        u16(uint16_t(v));
    return out;
}

void WriteProgramAssets(const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string dir = folder.back() == '/' ? folder : folder + "/";
    WriteFileAtomic(dir + "tappoplay.dxg", MakeSpriteArchive());
    WriteFileAtomic(dir + "arrow.bmp", EncodeBmp(BitmapFromPicture(MakeArrowSheet())));
    WriteFileAtomic(dir + "select.bmp", EncodeBmp(MakeWarpPicture()));
    WriteFileAtomic(dir + "diskmask.bmp", EncodeBmp(BitmapFromPicture(MakeDiskMask())));
    WriteFileAtomic(dir + "diskblank.bmp", EncodeBmp(BitmapFromPicture(MakeDiskBlank())));
    WriteFileAtomic(dir + "step.wav", EncodeWav16(MakeStepTick(), 1, 44100));
}

} // namespace tappo::tools
