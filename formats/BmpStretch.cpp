#include "formats/BmpStretch.h"

#include "formats/Rle.h"

#include <algorithm>
#include <cstring>

namespace tappo::bmp {

namespace {

long long SourceOf(long long d, long long pictureSize, long long size) {
    return d * pictureSize / size;
}

// A destination row that shows the same picture row as the one above is a copy of it.
void RepeatRows(uint16_t* out, int width, int height, int pictureHeight) {
    for (int dy = 1; dy < height; ++dy)
        if (SourceOf(dy, pictureHeight, height) == SourceOf(dy - 1, pictureHeight, height))
            std::memcpy(out + size_t(dy) * size_t(width), out + size_t(dy - 1) * size_t(width),
                        size_t(width) * sizeof *out);
}

// Takes the run-length stream's pixels onto the first destination row of
// each picture row: picture column x covers destination columns
// start[x] .. start[x + 1] - 1 (none when the stretch drops it).
struct StretchSink {
    uint16_t* out;
    int width, pictureHeight;
    std::vector<int> firstRow; // by picture row from the top; -1: not shown
    std::vector<int> start;    // pictureWidth + 1 entries
    PixelTable table;

    std::vector<uint16_t*> rows; // by stream row: where it is drawn, or null

    uint16_t* Row(int streamRow) const { return rows[size_t(streamRow)]; }
    void Fill(int row, uint32_t x0, uint32_t x1, uint32_t a, uint32_t b) {
        uint16_t* d = Row(row);
        if (!d) return;
        if (a == b) {
            std::fill(d + start[x0], d + start[x1], table[a]);
            return;
        }
        for (uint32_t x = x0; x < x1; ++x)
            std::fill(d + start[x], d + start[x + 1], table[(x - x0) & 1 ? b : a]);
    }
    template <typename F> void Put(int row, uint32_t x0, uint32_t count, F pixel) {
        uint16_t* d = Row(row);
        if (!d) return;
        for (uint32_t i = 0; i < count; ++i)
            std::fill(d + start[x0 + i], d + start[x0 + i + 1], table[pixel(i) & 255]);
    }
};

} // namespace

std::vector<uint8_t> RowsRead(int pictureHeight, int rows) {
    std::vector<uint8_t> wanted(size_t(pictureHeight), 0);
    for (long long dy = 0; dy < rows; ++dy)
        wanted[size_t(SourceOf(dy, pictureHeight, rows))] = 1;
    return wanted;
}

void StretchOnto(const BitmapData& bitmap, uint16_t* out, int width, int height) {
    const int pw = bitmap.Width, ph = bitmap.Height;
    const bool indexed = bitmap.BitCount <= 8;
    const PixelTable table = PaletteToPixels(bitmap.Palette);
    std::vector<int> columns(static_cast<size_t>(width));
    for (int dx = 0; dx < width; ++dx)
        columns[size_t(dx)] = int(SourceOf(dx, pw, width));
    for (int dy = 0; dy < height; ++dy) {
        if (dy > 0 && SourceOf(dy, ph, height) == SourceOf(dy - 1, ph, height)) continue;
        uint16_t* row = out + size_t(dy) * size_t(width);
        const uint32_t* src = bitmap.Pixels.data() + size_t(SourceOf(dy, ph, height)) * size_t(pw);
        if (indexed) {
            for (int dx = 0; dx < width; ++dx) {
                const uint32_t v = src[columns[size_t(dx)]];
                row[dx] = v < 256
                              ? table[v]
                              : RgbValueToPixel(v < bitmap.Palette.size() ? bitmap.Palette[v] : 0);
            }
        } else {
            for (int dx = 0; dx < width; ++dx)
                row[dx] = RgbValueToPixel(src[columns[size_t(dx)]]);
        }
    }
    RepeatRows(out, width, height, ph);
}

void StretchRleOnto(const RlePicture& picture, uint16_t* out, int width, int height) {
    const int pictureWidth = picture.Width, pictureHeight = picture.Height;
    StretchSink sink{out, width, pictureHeight, std::vector<int>(size_t(pictureHeight), -1), {},
                     {},  {}};
    for (int dy = height - 1; dy >= 0; --dy)
        sink.firstRow[size_t(SourceOf(dy, pictureHeight, height))] = dy;
    sink.start.resize(size_t(pictureWidth) + 1);
    int dx = 0;
    for (int x = 0; x <= pictureWidth; ++x) {
        while (dx < width && SourceOf(dx, pictureWidth, width) < x)
            ++dx;
        sink.start[size_t(x)] = dx;
    }
    sink.table = PaletteToPixels(picture.Palette);
    sink.rows.resize(size_t(pictureHeight));
    for (int row = 0; row < pictureHeight; ++row) {
        const int y = sink.firstRow[size_t(pictureHeight - 1 - row)];
        sink.rows[size_t(row)] = y < 0 ? nullptr : out + size_t(y) * size_t(width);
    }
    const uint8_t* data = picture.Data;
    if (picture.Four)
        rle::Read<true>(data, picture.Size, picture.At, uint32_t(pictureWidth), pictureHeight,
                        sink);
    else
        rle::Read<false>(data, picture.Size, picture.At, uint32_t(pictureWidth), pictureHeight,
                         sink);
    RepeatRows(out, width, height, pictureHeight);
}

bool RowStretch::Begin(int pictureWidth, int pictureHeight) noexcept {
    pictureHeight_ = pictureHeight;
    try {
        columns_.resize(size_t(width_));
    } catch (...) {
        return false;
    }
    for (int dx = 0; dx < width_; ++dx)
        columns_[size_t(dx)] = int(SourceOf(dx, pictureWidth, width_));
    return true;
}

namespace {

// The destination rows showing picture row y: [first, end), empty when none.
long long FirstRowShowing(long long y, long long pictureHeight, long long height) {
    return (y * height + pictureHeight - 1) / pictureHeight;
}

} // namespace

bool RowStretch::Shown(int y) const noexcept {
    return FirstRowShowing(y, pictureHeight_, height_) <
           FirstRowShowing(y + 1LL, pictureHeight_, height_);
}

void RowStretch::Row(int y, const uint32_t* pixels) noexcept {
    const long long first = FirstRowShowing(y, pictureHeight_, height_);
    const long long end = FirstRowShowing(y + 1LL, pictureHeight_, height_);
    if (first >= end) return;
    uint16_t* row = out_ + size_t(first) * size_t(width_);
    for (int dx = 0; dx < width_; ++dx)
        row[dx] = RgbValueToPixel(pixels[columns_[size_t(dx)]]);
    for (long long dy = first + 1; dy < end; ++dy)
        std::memcpy(out_ + size_t(dy) * size_t(width_), row, size_t(width_) * sizeof *row);
}

} // namespace tappo::bmp
