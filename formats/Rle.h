// The run-length coded pixels of a BMP file (RLE8 and RLE4), read into a sink
// that stores them however it likes: as decoded pixels, or already stretched
// onto the screen.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tappo::rle {

// `count` pixels alternating `a` and `b`, starting with `a`.
inline void FillRun(uint32_t* dst, uint32_t count, uint32_t a, uint32_t b) {
    if (a == b) {
        std::fill_n(dst, count, a);
        return;
    }
    const uint32_t two[2] = {a, b};
    uint64_t pair;
    std::memcpy(&pair, two, sizeof pair);
    uint32_t i = 0;
    for (; i + 2 <= count; i += 2)
        std::memcpy(dst + i, &pair, sizeof pair);
    if (i < count) dst[i] = a;
}

// Reads the stream at `at` of a `width` x `height` picture. Rows are counted
// from the bottom, as the stream goes. The sink is given every pixel of the
// picture exactly once, in stream order (row by row, left to right):
//   Fill(row, x0, x1, a, b)       pixels x0 .. x1 - 1 alternate a and b,
//                                 starting with a;
//   Put(row, x0, count, pixel)    pixel(i) for x0 + i.
// Runs past the row end are cut off, and the column never passes the row end,
// however long the stream; a stream that ends without its end mark keeps what
// it drew. Pixels the stream skips (deltas, rows ended early, rows after the
// end) are 0: as the stream only moves forward, a gap is given to the sink
// when the position moves past it.
template <bool four, typename Sink>
void Read(const uint8_t* data, size_t size, size_t at, uint32_t width, int height, Sink& sink) {
    const auto has = [&](size_t p, size_t n) { return p <= size && n <= size - p; };
    uint32_t x = 0;
    int row = 0;
    int doneRow = 0; // where the pixels given so far end
    uint32_t doneX = 0;
    const auto clearTo = [&](int toRow, uint32_t toX) {
        for (; doneRow < toRow && doneRow < height; ++doneRow, doneX = 0)
            if (doneX < width) sink.Fill(doneRow, doneX, width, 0, 0);
        if (doneRow < height && toX > doneX) {
            sink.Fill(doneRow, doneX, toX, 0, 0);
            doneX = toX;
        }
    };
    size_t p = at;
    while (has(p, 2) && row < height) {
        const uint32_t n = data[p], c = data[p + 1];
        p += 2;
        if (n > 0) {
            const uint32_t count = std::min(n, width - x), a = four ? c >> 4 : c,
                           b = four ? c & 15 : c;
            if (row != doneRow || x != doneX) clearTo(row, x);
            if (count) sink.Fill(row, x, x + count, a, b);
            doneX = x += count;
        } else if (c == 0) {
            x = 0, ++row;
        } else if (c == 1) {
            break;
        } else if (c == 2) {
            if (!has(p, 2)) break;
            x = std::min(width, x + data[p]);
            row += int(data[p + 1]);
            p += 2;
        } else {
            const size_t bytes = four ? (c + 1) / 2 : c;
            if (!has(p, bytes)) break;
            const uint8_t* src = data + p;
            const uint32_t count = std::min(c, width - x);
            if (row != doneRow || x != doneX) clearTo(row, x);
            if (count)
                sink.Put(row, x, count, [src](uint32_t i) {
                    return four ? ((i & 1) ? src[i / 2] & 15u : uint32_t(src[i / 2]) >> 4)
                                : uint32_t(src[i]);
                });
            doneX = x += count;
            p += (bytes + 1) & ~size_t(1);
        }
    }
    clearTo(height, 0);
}

} // namespace tappo::rle
