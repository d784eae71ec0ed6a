// BMP reading and writing: the Windows bitmap in all the forms song folders
// carry (1/4/8-bit palette, RLE4/RLE8, 16/24/32-bit with or without bit
// fields, top-down or bottom-up, the old 12-byte header).
#include "base/Errors.h"
#include "files/Files.h"
#include "formats/BmpStretch.h"
#include "formats/Picture.h"
#include "formats/Rle.h"

#include <algorithm>
#include <cstring>

namespace tappo {
namespace {

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size, const char* err)
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
        if (!Has(at, n)) throw Error(Tr(err_));
    }
    [[noreturn]] void Fail() const { throw Error(Tr(err_)); }
    size_t Size() const { return size_; }
    const uint8_t* Data() const { return data_; }

  private:
    const uint8_t* data_;
    size_t size_;
    const char* err_;
};

struct Mask {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Mask(uint32_t m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1))
            ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1))
            ++bits;
    }
    // Scales the masked field to 0..255.
    uint32_t Extract(uint32_t v) const {
        if (!bits) return 0;
        uint32_t f = (v & mask) >> shift;
        uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
        return uint32_t((uint64_t(f) * 255 + max / 2) / max);
    }
};

struct Info {
    int width = 0, height = 0, bitCount = 0;
    uint32_t compression = 0, colorsUsed = 0;
    bool topDown = false;
    bool packed = false; // a packed bitmap: no file header, no pixel offset
    uint32_t masks[3] = {0, 0, 0};
    size_t paletteAt = 0;
    int paletteEntrySize = 4;
};

enum : uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6 };

// The info header's fields at `at`; `packed` limits the header sizes to
// what a packed bitmap may hold.
void ReadInfoFields(const ByteReader& r, size_t at, bool packed, Info& info) {
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
            for (int i = 0; i < 3; ++i)
                info.masks[i] = r.U32(maskAt + 4 * i);
        }
    } else {
        r.Fail();
    }
}

// Whether the compression goes with the bit count and the row order.
bool CompressionAllowed(const Info& info) {
    switch (info.compression) {
    case BiRgb:
        return true;
    case BiRle8:
        return info.bitCount == 8 && !info.topDown;
    case BiRle4:
        return info.bitCount == 4 && !info.topDown;
    case BiBitfields:
        return info.bitCount == 16 || info.bitCount == 32;
    case BiAlphaBitfields:
        return !info.packed && (info.bitCount == 16 || info.bitCount == 32);
    default:
        return false;
    }
}

// Reads the info header at `at`; `packed` limits it to what a packed bitmap may hold.
Info ReadInfo(const ByteReader& r, size_t at, bool packed) {
    Info info;
    info.packed = packed;
    ReadInfoFields(r, at, packed, info);
    if (info.height < 0) {
        info.topDown = true;
        info.height = info.height == INT32_MIN ? 0 : -info.height;
    }
    switch (info.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        r.Fail();
    }
    if (!CompressionAllowed(info) || info.width <= 0 || info.height <= 0 ||
        !PictureSizeAllowed(info.width, info.height))
        r.Fail();
    return info;
}

// Entries in the colour table. A bitmap file's table: the header's count for 8
// bits or less (at most 2^bits), none read above that. A packed bitmap's: the
// header's count (at most 256) at any depth, or 2^bits for 8 bits or less.
size_t PaletteCount(const Info& info) {
    const size_t full = info.bitCount <= 8 ? size_t(1) << info.bitCount : 0;
    if (info.packed) return info.colorsUsed == 0 ? full : std::min<size_t>(info.colorsUsed, 256);
    if (info.bitCount > 8) return 0;
    return info.colorsUsed == 0 || info.colorsUsed > full ? full : info.colorsUsed;
}

size_t PaletteBytes(const Info& info) {
    return PaletteCount(info) * info.paletteEntrySize;
}

void ReadPalette(const ByteReader& r, const Info& info, BitmapData& out) {
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
size_t UncompressedBytes(const Info& info) {
    const size_t stride = ((size_t(info.width) * info.bitCount + 31) / 32) * 4;
    return stride * (info.height - 1) + (size_t(info.width) * info.bitCount + 7) / 8;
}

// One row of 16- or 32-bit pixels through the colour masks.
void ReadMaskedRow(const uint8_t* src, int bitCount, int width, const Mask (&masks)[3],
                   uint32_t* dst) {
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

void ReadUncompressed(const ByteReader& r, size_t at, const Info& info, BitmapData& out,
                      const std::vector<uint8_t>* wanted) {
    const size_t stride = ((size_t(info.width) * info.bitCount + 31) / 32) * 4;
    Mask masks[3];
    if (info.compression == BiBitfields || info.compression == BiAlphaBitfields) {
        for (int i = 0; i < 3; ++i)
            masks[i] = Mask(info.masks[i]);
    } else if (info.bitCount == 16) {
        masks[0] = Mask(0x7C00), masks[1] = Mask(0x03E0), masks[2] = Mask(0x001F);
    } else {
        masks[0] = Mask(0xFF0000), masks[1] = Mask(0x00FF00), masks[2] = Mask(0x0000FF);
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
            for (int x = 0; x < width; ++x)
                dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case 4:
            for (int x = 0; x + 1 < width; x += 2)
                dst[x] = src[x >> 1] >> 4, dst[x + 1] = src[x >> 1] & 15u;
            if (width & 1) dst[width - 1] = src[(width - 1) >> 1] >> 4;
            break;
        case 8:
            for (int x = 0; x < width; ++x)
                dst[x] = src[x];
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
using WantedRows = const std::vector<uint8_t>*;

// Takes a run-length stream's pixels into the rows of `out` that are decoded.
struct BitmapSink {
    BitmapData& out;
    uint32_t width;
    int height;
    WantedRows wanted;

    uint32_t* Row(int streamRow) {
        const size_t y = size_t(height - 1 - streamRow);
        return wanted && !(*wanted)[y] ? nullptr : out.Pixels.data() + y * width;
    }
    void Fill(int row, uint32_t x0, uint32_t x1, uint32_t a, uint32_t b) {
        if (uint32_t* dst = Row(row)) rle::FillRun(dst + x0, x1 - x0, a, b);
    }
    template <typename F> void Put(int row, uint32_t x0, uint32_t count, F pixel) {
        if (uint32_t* dst = Row(row))
            for (uint32_t i = 0; i < count; ++i)
                dst[x0 + i] = pixel(i);
    }
};

bool RunLength(const Info& info) {
    return info.compression == BiRle8 || info.compression == BiRle4;
}

// What every decode does before the pixels: the picture's size, the check
// that its pixel data is there, and its colour table.
void ReadBitsHeader(const ByteReader& r, const Info& info, size_t pixelsAt, BitmapData& out) {
    out.Width = info.width;
    out.Height = info.height;
    out.BitCount = info.bitCount;
    // The pixel data must be there before the picture's memory is taken. A
    // run-length stream may be short for a large picture (runs, deltas and the
    // end mark cover it), so it need only hold its first code.
    r.Need(pixelsAt, RunLength(info) ? 2 : UncompressedBytes(info));
    out.Palette.clear();
    ReadPalette(r, info, out);
}

// Decodes into `out`, whose vectors keep their memory from one picture to the next.
void DecodeBits(const ByteReader& r, const Info& info, size_t pixelsAt, BitmapData& out,
                WantedRows wanted = nullptr) {
    ReadBitsHeader(r, info, pixelsAt, out);
    const bool rle = RunLength(info);
    // Every pixel of a decoded row is written (or cleared where a run-length
    // stream skips it), so the memory is not cleared first.
    out.Pixels.resize(size_t(info.width) * info.height);
    BitmapSink sink{out, uint32_t(info.width), info.height, wanted};
    if (info.compression == BiRle4)
        rle::Read<true>(r.Data(), r.Size(), pixelsAt, uint32_t(info.width), info.height, sink);
    else if (rle)
        rle::Read<false>(r.Data(), r.Size(), pixelsAt, uint32_t(info.width), info.height, sink);
    else
        ReadUncompressed(r, pixelsAt, info, out, wanted);
}

} // namespace

bool PictureSizeAllowed(long long width, long long height) {
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
           width * height <= MaxPicturePixels;
}

uint32_t BitmapData::ColourAt(int x, int y) const {
    uint32_t v = Raw(x, y);
    if (BitCount > 8) return v;
    return v < Palette.size() ? Palette[v] : 0;
}

Image BitmapData::ToPicture() const {
    Image p(Width, Height);
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

// The file header and the info header; returns where the pixels start.
size_t ReadFileHeaders(const ByteReader& r, Info& info) {
    if (r.U8(0) != 'B' || r.U8(1) != 'M') r.Fail();
    info = ReadInfo(r, 14, false);
    size_t pixelsAt = r.U32(10);
    size_t afterPalette = info.paletteAt + PaletteBytes(info);
    // Some writers leave the offset at 0 or point it into the header.
    if (pixelsAt < afterPalette || pixelsAt >= r.Size()) pixelsAt = afterPalette;
    return pixelsAt;
}

} // namespace

void DecodeBmpFile(const uint8_t* data, size_t size, BitmapData& out, const char* errorText) {
    ByteReader r(data, size, errorText);
    Info info;
    const size_t pixelsAt = ReadFileHeaders(r, info);
    DecodeBits(r, info, pixelsAt, out);
}

void DrawBmpFileStretched(const uint8_t* data, size_t size, const StretchTarget& onto,
                          BitmapData& scratch, const char* errorText) {
    uint16_t* const out = onto.Pixels;
    const int width = onto.Width, height = onto.Height;
    ByteReader r(data, size, errorText);
    Info info;
    const size_t pixelsAt = ReadFileHeaders(r, info);
    if (!RunLength(info)) {
        const std::vector<uint8_t> wanted = bmp::RowsRead(info.height, height);
        DecodeBits(r, info, pixelsAt, scratch, &wanted);
        bmp::StretchOnto(scratch, out, width, height);
        return;
    }
    // The runs go straight onto the destination.
    ReadBitsHeader(r, info, pixelsAt, scratch);
    bmp::StretchRleOnto({.Data = r.Data(),
                         .Size = r.Size(),
                         .At = pixelsAt,
                         .Four = info.compression == BiRle4,
                         .Width = info.width,
                         .Height = info.height,
                         .Palette = scratch.Palette},
                        out, width, height);
}

BitmapData DecodeBmpFile(const uint8_t* data, size_t size, const char* errorText) {
    BitmapData out;
    DecodeBmpFile(data, size, out, errorText);
    return out;
}

BitmapData DecodePackedDib(const uint8_t* data, size_t size, const char* errorText) {
    ByteReader r(data, size, errorText);
    Info info = ReadInfo(r, 0, true);
    BitmapData out;
    DecodeBits(r, info, info.paletteAt + PaletteBytes(info), out);
    return out;
}

std::vector<uint8_t> EncodeBmp(const BitmapData& bitmap) {
    const bool indexed = bitmap.BitCount <= 8;
    const int bits = indexed ? 8 : 24;
    const size_t stride = ((size_t(bitmap.Width) * bits + 31) / 32) * 4;
    const size_t paletteBytes = indexed ? 1024 : 0;
    const size_t offBits = 14 + 40 + paletteBytes;
    const size_t total = offBits + stride * bitmap.Height;
    std::vector<uint8_t> out(total, 0);
    auto put16 = [&](size_t at, uint32_t v) {
        out[at] = uint8_t(v), out[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    out[0] = 'B', out[1] = 'M';
    put32(2, uint32_t(total));
    put32(10, uint32_t(offBits));
    put32(14, 40);
    put32(18, uint32_t(bitmap.Width));
    put32(22, uint32_t(bitmap.Height));
    put16(26, 1);
    put16(28, uint32_t(bits));
    put32(34, uint32_t(stride * bitmap.Height));
    put32(38, 2835), put32(42, 2835); // 72 dpi
    if (indexed) {
        put32(46, 256);
        for (size_t i = 0; i < 256; ++i) {
            uint32_t c = i < bitmap.Palette.size() ? bitmap.Palette[i] : 0;
            out[54 + 4 * i] = uint8_t(c), out[55 + 4 * i] = uint8_t(c >> 8);
            out[56 + 4 * i] = uint8_t(c >> 16);
        }
    }
    for (int y = 0; y < bitmap.Height; ++y) {
        uint8_t* row = &out[offBits + stride * (bitmap.Height - 1 - y)];
        for (int x = 0; x < bitmap.Width; ++x) {
            uint32_t v = bitmap.Raw(x, y);
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

BitmapData BitmapFromPicture(const Image& picture) {
    BitmapData b;
    b.Width = picture.Width;
    b.Height = picture.Height;
    b.BitCount = 24;
    b.Pixels = picture.Rgb;
    return b;
}

BitmapData LoadBmpFile(const std::string& path) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return DecodeBmpFile(bytes.data(), bytes.size());
}

} // namespace tappo
