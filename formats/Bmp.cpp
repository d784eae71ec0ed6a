// BMP reading and writing: the Windows bitmap in all the forms song folders
// carry (1/4/8-bit palette, RLE4/RLE8, 16/24/32-bit with or without bit
// fields, top-down or bottom-up, the old 12-byte header).
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Picture.h"

#include <algorithm>
#include <cstring>

namespace tappo {
namespace {

class TByteReader {
  public:
    TByteReader(const uint8_t* data, size_t size, const char* err)
        : data_(data), size_(size), err_(err) {}
    bool Has(size_t at, size_t n) const { return at <= size_ && n <= size_ - at; }
    uint32_t U8(size_t at) const { return Need(at, 1), data_[at]; }
    uint32_t U16(size_t at) const { return Need(at, 2), uint32_t(data_[at] | data_[at + 1] << 8); }
    uint32_t U32(size_t at) const {
        Need(at, 4);
        return uint32_t(data_[at]) | uint32_t(data_[at + 1]) << 8 | uint32_t(data_[at + 2]) << 16 |
               uint32_t(data_[at + 3]) << 24;
    }
    int32_t I32(size_t at) const { return int32_t(U32(at)); }
    void Need(size_t at, size_t n) const {
        if (!Has(at, n)) throw TError(err_);
    }
    [[noreturn]] void Fail() const { throw TError(err_); }
    size_t Size() const { return size_; }
    const uint8_t* Data() const { return data_; }

  private:
    const uint8_t* data_;
    size_t size_;
    const char* err_;
};

struct TMask {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit TMask(uint32_t m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
    }
    // Scales the masked field to 0..255.
    uint32_t Extract(uint32_t v) const {
        if (!bits) return 0;
        uint32_t f = (v & mask) >> shift;
        uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
        return uint32_t((uint64_t(f) * 255 + max / 2) / max);
    }
};

struct TInfo {
    int width = 0, height = 0, bitCount = 0;
    uint32_t compression = 0, colorsUsed = 0;
    bool topDown = false;
    bool packed = false; // a packed bitmap: no file header, no pixel offset
    uint32_t masks[3] = {0, 0, 0};
    size_t paletteAt = 0;
    int paletteEntrySize = 4;
};

enum : uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6 };

// Reads the info header at `at`; `packed` limits it to what a packed bitmap may hold.
TInfo ReadInfo(const TByteReader& r, size_t at, bool packed) {
    TInfo info;
    info.packed = packed;
    uint32_t headerSize = r.U32(at);
    if (headerSize == 12) {
        info.width = int(r.U16(at + 4));
        info.height = int(int16_t(r.U16(at + 6)));
        info.bitCount = int(r.U16(at + 10));
        info.paletteEntrySize = 3;
        info.paletteAt = at + 12;
    } else if (headerSize == 40 || (!packed && (headerSize == 52 || headerSize == 56 ||
                                                headerSize == 108 || headerSize == 124))) {
        r.Need(at, headerSize);
        info.width = r.I32(at + 4);
        info.height = r.I32(at + 8);
        info.bitCount = int(r.U16(at + 14));
        info.compression = r.U32(at + 16);
        info.colorsUsed = r.U32(at + 32);
        info.paletteAt = at + headerSize;
        if (info.compression == BiBitfields || info.compression == BiAlphaBitfields) {
            size_t maskAt = at + 40;
            if (headerSize == 40) {
                info.paletteAt += info.compression == BiAlphaBitfields ? 16 : 12;
            }
            for (int i = 0; i < 3; ++i) info.masks[i] = r.U32(maskAt + 4 * i);
        }
    } else {
        r.Fail();
    }
    if (info.height < 0) {
        info.topDown = true;
        info.height = info.height == INT32_MIN ? 0 : -info.height;
    }
    switch (info.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: r.Fail();
    }
    bool ok = false;
    switch (info.compression) {
    case BiRgb: ok = true; break;
    case BiRle8: ok = info.bitCount == 8 && !info.topDown; break;
    case BiRle4: ok = info.bitCount == 4 && !info.topDown; break;
    case BiBitfields: ok = info.bitCount == 16 || info.bitCount == 32; break;
    case BiAlphaBitfields: ok = !packed && (info.bitCount == 16 || info.bitCount == 32); break;
    default: ok = false;
    }
    if (!ok || info.width <= 0 || info.height <= 0 || !PictureSizeAllowed(info.width, info.height))
        r.Fail();
    return info;
}

// Entries in the colour table. A bitmap file's table: the header's count for 8
// bits or less (at most 2^bits), none read above that. A packed bitmap's: the
// header's count (at most 256) at any depth, or 2^bits for 8 bits or less.
size_t PaletteCount(const TInfo& info) {
    const size_t full = info.bitCount <= 8 ? size_t(1) << info.bitCount : 0;
    if (info.packed) return info.colorsUsed == 0 ? full : std::min<size_t>(info.colorsUsed, 256);
    if (info.bitCount > 8) return 0;
    return info.colorsUsed == 0 || info.colorsUsed > full ? full : info.colorsUsed;
}

size_t PaletteBytes(const TInfo& info) { return PaletteCount(info) * info.paletteEntrySize; }

void ReadPalette(const TByteReader& r, const TInfo& info, TBitmapData& out) {
    if (info.bitCount > 8) return; // a colour table beside true-colour pixels is only a hint
    const size_t count = PaletteCount(info);
    r.Need(info.paletteAt, count * info.paletteEntrySize);
    out.Palette.assign(256, 0);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = info.paletteAt + i * info.paletteEntrySize;
        out.Palette[i] = r.U8(at + 2) << 16 | r.U8(at + 1) << 8 | r.U8(at);
    }
}

// Bytes the uncompressed rows take: every row padded to 4 bytes but the last.
size_t UncompressedBytes(const TInfo& info) {
    const size_t stride = ((size_t(info.width) * info.bitCount + 31) / 32) * 4;
    return stride * (info.height - 1) + (size_t(info.width) * info.bitCount + 7) / 8;
}

// One row of 16- or 32-bit pixels through the colour masks.
void ReadMaskedRow(const uint8_t* src, int bitCount, int width, const TMask (&masks)[3], uint32_t* dst) {
    for (int x = 0; x < width; ++x) {
        uint32_t p;
        if (bitCount == 16) {
            p = uint32_t(src[2 * x] | src[2 * x + 1] << 8);
        } else {
            const uint8_t* q = src + 4 * x;
            p = uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16 | uint32_t(q[3]) << 24;
        }
        dst[x] = masks[0].Extract(p) << 16 | masks[1].Extract(p) << 8 | masks[2].Extract(p);
    }
}

void ReadUncompressed(const TByteReader& r, size_t at, const TInfo& info, TBitmapData& out,
                      const std::vector<uint8_t>* wanted) {
    const size_t stride = ((size_t(info.width) * info.bitCount + 31) / 32) * 4;
    TMask masks[3];
    if (info.compression == BiBitfields || info.compression == BiAlphaBitfields) {
        for (int i = 0; i < 3; ++i) masks[i] = TMask(info.masks[i]);
    } else if (info.bitCount == 16) {
        masks[0] = TMask(0x7C00), masks[1] = TMask(0x03E0), masks[2] = TMask(0x001F);
    } else {
        masks[0] = TMask(0xFF0000), masks[1] = TMask(0x00FF00), masks[2] = TMask(0x0000FF);
    }
    const uint8_t* base = r.Data() + at;
    const int width = info.width;
    for (int row = 0; row < info.height; ++row) {
        const uint8_t* src = base + stride * row;
        int y = info.topDown ? row : info.height - 1 - row;
        if (wanted && !(*wanted)[size_t(y)]) continue;
        uint32_t* dst = &out.Pixels[size_t(y) * width];
        switch (info.bitCount) {
        case 1:
            for (int x = 0; x < width; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case 4:
            for (int x = 0; x + 1 < width; x += 2) dst[x] = src[x >> 1] >> 4, dst[x + 1] = src[x >> 1] & 15u;
            if (width & 1) dst[width - 1] = src[(width - 1) >> 1] >> 4;
            break;
        case 8:
            for (int x = 0; x < width; ++x) dst[x] = src[x];
            break;
        case 24:
            for (int x = 0; x < width; ++x)
                dst[x] = uint32_t(src[3 * x + 2]) << 16 | src[3 * x + 1] << 8 | src[3 * x];
            break;
        default:
            ReadMaskedRow(src, info.bitCount, width, masks, dst);
        }
    }
}

// The rows of a picture to decode, by row from the top; null for every row.
using TWantedRows = const std::vector<uint8_t>*;

// Clears what a run-length stream skips. Streams write their pixels in order
// (row by row from the bottom, left to right in a row; deltas only move
// forward), so everything before the write position that was not written is a
// gap, cleared when the position moves past it.
class TRleGaps {
  public:
    TRleGaps(TBitmapData& out, const TInfo& info, TWantedRows wanted)
        : out_(out), width_(uint32_t(info.width)), height_(info.height), wanted_(wanted) {}
    // Stream row `row` from the bottom; null when that row is not decoded.
    uint32_t* Row(int row) {
        const size_t y = size_t(height_ - 1 - row);
        return wanted_ && !(*wanted_)[y] ? nullptr : out_.Pixels.data() + y * width_;
    }
    // Clears up to column `x` of stream row `row`, and marks it as reached.
    void ClearTo(int row, uint32_t x) {
        for (; row_ < row && row_ < height_; ++row_, x_ = 0)
            if (uint32_t* dst = Row(row_)) std::fill(dst + x_, dst + width_, 0u);
        if (row_ < height_ && x > x_) {
            if (uint32_t* dst = Row(row_)) std::fill(dst + x_, dst + x, 0u);
            x_ = x;
        }
    }
    // Pixels up to column `x` of the current row have been written.
    void Written(uint32_t x) { x_ = x; }

  private:
    TBitmapData& out_;
    uint32_t width_;
    int height_;
    TWantedRows wanted_;
    int row_ = 0;
    uint32_t x_ = 0;
};

// `count` pixels alternating `a` and `b`, starting with `a`.
void FillRun(uint32_t* dst, uint32_t count, uint32_t a, uint32_t b) {
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

// Run-length coded pixels (bottom-up). Runs past the row end are cut off, and
// the column never passes the row end, however long the run stream; a stream
// that ends without its end mark keeps what it drew. Skipped pixels are 0.
template <bool four>
void ReadRle(const TByteReader& r, size_t at, const TInfo& info, TBitmapData& out,
             TWantedRows wanted) {
    const uint32_t width = uint32_t(info.width);
    TRleGaps gaps(out, info, wanted);
    uint32_t x = 0;
    int row = 0;
    // Pixels i .. n-1 of a run, as far as the row reaches; `pixel(i)` gives each value.
    auto put = [&](uint32_t n, auto pixel) {
        const uint32_t count = std::min(n, width - x);
        gaps.ClearTo(row, x);
        if (uint32_t* dst = gaps.Row(row))
            for (uint32_t i = 0; i < count; ++i)
                dst[x + i] = pixel(i);
        x += count;
        gaps.Written(x);
    };
    size_t p = at;
    while (r.Has(p, 2) && row < info.height) {
        const uint32_t n = r.U8(p), c = r.U8(p + 1);
        p += 2;
        if (n > 0) {
            const uint32_t count = std::min(n, width - x);
            gaps.ClearTo(row, x);
            if (uint32_t* dst = gaps.Row(row))
                FillRun(dst + x, count, four ? c >> 4 : c, four ? c & 15 : c);
            x += count;
            gaps.Written(x);
        } else if (c == 0) {
            x = 0, ++row;
        } else if (c == 1) {
            break;
        } else if (c == 2) {
            if (!r.Has(p, 2)) break;
            x = std::min(width, x + r.U8(p));
            row += int(r.U8(p + 1));
            p += 2;
        } else {
            const size_t bytes = four ? (c + 1) / 2 : c;
            if (!r.Has(p, bytes)) break;
            const uint8_t* src = r.Data() + p;
            put(c, [&](uint32_t i) {
                return four ? ((i & 1) ? src[i / 2] & 15u : uint32_t(src[i / 2]) >> 4) : uint32_t(src[i]);
            });
            p += (bytes + 1) & ~size_t(1);
        }
    }
    gaps.ClearTo(info.height, 0);
}

// Decodes into `out`, whose vectors keep their memory from one picture to the next.
void DecodeBits(const TByteReader& r, const TInfo& info, size_t pixelsAt, TBitmapData& out,
                TWantedRows wanted = nullptr) {
    out.Width = info.width;
    out.Height = info.height;
    out.BitCount = info.bitCount;
    const bool rle = info.compression == BiRle8 || info.compression == BiRle4;
    // The pixel data must be there before the picture's memory is taken. A
    // run-length stream may be short for a large picture (runs, deltas and the
    // end mark cover it), so it need only hold its first code.
    r.Need(pixelsAt, rle ? 2 : UncompressedBytes(info));
    out.Palette.clear();
    ReadPalette(r, info, out);
    // Every pixel of a decoded row is written (or cleared where a run-length
    // stream skips it), so the memory is not cleared first.
    out.Pixels.resize(size_t(info.width) * info.height);
    if (info.compression == BiRle4)
        ReadRle<true>(r, pixelsAt, info, out, wanted);
    else if (rle)
        ReadRle<false>(r, pixelsAt, info, out, wanted);
    else
        ReadUncompressed(r, pixelsAt, info, out, wanted);
}

} // namespace

bool PictureSizeAllowed(long long width, long long height) {
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
           width * height <= MaxPicturePixels;
}

uint32_t TBitmapData::ColourAt(int x, int y) const {
    uint32_t v = Raw(x, y);
    if (BitCount > 8) return v;
    return v < Palette.size() ? Palette[v] : 0;
}

TPicture TBitmapData::ToPicture() const {
    TPicture p(Width, Height);
    const size_t n = std::min(p.Rgb.size(), Pixels.size());
    if (BitCount > 8) {
        std::copy_n(Pixels.begin(), n, p.Rgb.begin());
        return p;
    }
    // Indexed pixels through a full table, so no index needs a check.
    uint32_t table[256] = {};
    std::copy_n(Palette.begin(), std::min<size_t>(Palette.size(), 256), table);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t v = Pixels[i];
        p.Rgb[i] = v < 256 ? table[v] : v < Palette.size() ? Palette[v] : 0;
    }
    return p;
}

namespace {

void DecodeBmpRows(const uint8_t* data, size_t size, TBitmapData& out, int stretchRows,
                   const char* errorText) {
    TByteReader r(data, size, errorText);
    if (r.U8(0) != 'B' || r.U8(1) != 'M') r.Fail();
    TInfo info = ReadInfo(r, 14, false);
    size_t pixelsAt = r.U32(10);
    size_t afterPalette = info.paletteAt + PaletteBytes(info);
    // Some writers leave the offset at 0 or point it into the header.
    if (pixelsAt < afterPalette || pixelsAt >= size) pixelsAt = afterPalette;
    if (stretchRows <= 0) return DecodeBits(r, info, pixelsAt, out);
    std::vector<uint8_t> wanted(size_t(info.height), 0);
    for (long long dy = 0; dy < stretchRows; ++dy)
        wanted[size_t(dy * info.height / stretchRows)] = 1;
    DecodeBits(r, info, pixelsAt, out, &wanted);
}

} // namespace

void DecodeBmpFile(const uint8_t* data, size_t size, TBitmapData& out, const char* errorText) {
    DecodeBmpRows(data, size, out, 0, errorText);
}

void DecodeBmpFileForStretch(const uint8_t* data, size_t size, TBitmapData& out, int rows,
                             const char* errorText) {
    DecodeBmpRows(data, size, out, rows, errorText);
}

TBitmapData DecodeBmpFile(const uint8_t* data, size_t size, const char* errorText) {
    TBitmapData out;
    DecodeBmpFile(data, size, out, errorText);
    return out;
}

TBitmapData DecodePackedDib(const uint8_t* data, size_t size, const char* errorText) {
    TByteReader r(data, size, errorText);
    TInfo info = ReadInfo(r, 0, true);
    TBitmapData out;
    DecodeBits(r, info, info.paletteAt + PaletteBytes(info), out);
    return out;
}

std::vector<uint8_t> EncodeBmp(const TBitmapData& bmp) {
    const bool indexed = bmp.BitCount <= 8;
    const int bits = indexed ? 8 : 24;
    const size_t stride = ((size_t(bmp.Width) * bits + 31) / 32) * 4;
    const size_t paletteBytes = indexed ? 1024 : 0;
    const size_t offBits = 14 + 40 + paletteBytes;
    const size_t total = offBits + stride * bmp.Height;
    std::vector<uint8_t> out(total, 0);
    auto put16 = [&](size_t at, uint32_t v) { out[at] = uint8_t(v), out[at + 1] = uint8_t(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    out[0] = 'B', out[1] = 'M';
    put32(2, uint32_t(total));
    put32(10, uint32_t(offBits));
    put32(14, 40);
    put32(18, uint32_t(bmp.Width));
    put32(22, uint32_t(bmp.Height));
    put16(26, 1);
    put16(28, uint32_t(bits));
    put32(34, uint32_t(stride * bmp.Height));
    put32(38, 2835), put32(42, 2835); // 72 dpi
    if (indexed) {
        put32(46, 256);
        for (size_t i = 0; i < 256; ++i) {
            uint32_t c = i < bmp.Palette.size() ? bmp.Palette[i] : 0;
            out[54 + 4 * i] = uint8_t(c), out[55 + 4 * i] = uint8_t(c >> 8);
            out[56 + 4 * i] = uint8_t(c >> 16);
        }
    }
    for (int y = 0; y < bmp.Height; ++y) {
        uint8_t* row = &out[offBits + stride * (bmp.Height - 1 - y)];
        for (int x = 0; x < bmp.Width; ++x) {
            uint32_t v = bmp.Raw(x, y);
            if (indexed) {
                row[x] = uint8_t(v);
            } else {
                row[3 * x] = uint8_t(v), row[3 * x + 1] = uint8_t(v >> 8);
                row[3 * x + 2] = uint8_t(v >> 16);
            }
        }
    }
    return out;
}

TBitmapData BitmapFromPicture(const TPicture& picture) {
    TBitmapData b;
    b.Width = picture.Width;
    b.Height = picture.Height;
    b.BitCount = 24;
    b.Pixels = picture.Rgb;
    return b;
}

TBitmapData LoadBmpFile(const std::string& path) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return DecodeBmpFile(bytes.data(), bytes.size());
}

} // namespace tappo
