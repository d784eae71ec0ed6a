// Reader of the sprite archive: a resource header, then a component stream
// ("TPF0") whose root object holds the colour table and the item collection.
#include "formats/ArchiveReader.h"

#include "base/Errors.h"
#include "formats/Picture.h"

#include <cstring>

namespace tappo {
namespace {

enum ValueTag : uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,
    vaDate = 17,
    vaWString = 18,
    vaInt64 = 19,
    vaUTF8String = 20
};

class StreamReader {
  public:
    // Deepest nesting of lists and collections that a skipped value may have.
    static constexpr int MaxNesting = 256;

    StreamReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Position() const { return pos_; }
    void Seek(size_t pos) { pos_ = pos; }
    bool AtEnd() const { return pos_ >= size_; }

    const uint8_t* Read(size_t n) {
        if (pos_ > size_ || n > size_ - pos_) throw Error(Tr(text::StreamRead));
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    uint8_t U8() { return *Read(1); }
    uint8_t PeekU8() {
        if (pos_ >= size_) throw Error(Tr(text::StreamRead));
        return data_[pos_];
    }
    uint32_t U32() {
        const uint8_t* p = Read(4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    int32_t I16() {
        const uint8_t* p = Read(2);
        return int16_t(uint16_t(p[0] | p[1] << 8));
    }
    std::string ShortString() {
        size_t n = U8();
        const uint8_t* p = Read(n);
        return std::string(reinterpret_cast<const char*>(p), n);
    }

    // Integer value after its tag.
    int32_t IntegerValue(uint8_t tag) {
        switch (tag) {
        case vaInt8:
            return int8_t(U8());
        case vaInt16:
            return I16();
        case vaInt32:
            return int32_t(U32());
        default:
            throw Error(Tr(text::PropertyValue));
        }
    }
    bool IsIntegerTag(uint8_t tag) const {
        return tag == vaInt8 || tag == vaInt16 || tag == vaInt32;
    }

    // Skips one value of any kind, tag included. Lists and collections nest;
    // deeper than MaxNesting is refused, so no stream can exhaust the stack.
    void SkipValue(int depth = 0) {
        if (depth > MaxNesting) throw Error(Tr(text::StreamRead));
        uint8_t tag = U8();
        switch (tag) {
        case vaNull:
        case vaFalse:
        case vaTrue:
        case vaNil:
            break;
        case vaList:
            SkipList(depth);
            break;
        case vaInt8:
            Read(1);
            break;
        case vaInt16:
            Read(2);
            break;
        case vaInt32:
        case vaSingle:
            Read(4);
            break;
        case vaExtended:
            Read(10);
            break;
        case vaCurrency:
        case vaDate:
        case vaInt64:
            Read(8);
            break;
        case vaString:
        case vaIdent:
            Read(U8());
            break;
        case vaBinary:
        case vaLString:
        case vaUTF8String:
            Read(U32());
            break;
        case vaWString:
            Read(size_t(U32()) * 2);
            break;
        case vaSet:
            while (!ShortString().empty()) {
            }
            break;
        case vaCollection:
            SkipCollection(depth);
            break;
        default:
            throw Error(Tr(text::PropertyValue));
        }
    }

  private:
    // The values of a list after its tag, up to its end marker, which it skips.
    void SkipList(int depth) {
        while (PeekU8() != vaNull)
            SkipValue(depth + 1);
        U8();
    }
    // The items of a collection after its tag: each an optional integer index
    // and a list of named properties; then the end marker.
    void SkipCollection(int depth) {
        while (PeekU8() != vaNull) {
            if (IsIntegerTag(PeekU8())) SkipValue(depth + 1);
            if (U8() != vaList) throw Error(Tr(text::PropertyValue));
            while (PeekU8() != vaNull) {
                ShortString();
                SkipValue(depth + 1);
            }
            U8();
        }
        U8();
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

int32_t ReadInteger(StreamReader& r) {
    return r.IntegerValue(r.U8());
}

bool ReadBool(StreamReader& r) {
    uint8_t tag = r.U8();
    if (tag == vaTrue) return true;
    if (tag == vaFalse) return false;
    throw Error(Tr(text::PropertyValue));
}

std::string ReadStringValue(StreamReader& r) {
    uint8_t tag = r.U8();
    if (tag == vaString) return r.ShortString();
    if (tag == vaLString) {
        uint32_t n = r.U32();
        const uint8_t* p = r.Read(n);
        return std::string(reinterpret_cast<const char*>(p), n);
    }
    throw Error(Tr(text::PropertyValue));
}

uint32_t ReadColor(StreamReader& r) {
    uint8_t tag = r.U8();
    if (r.IsIntegerTag(tag)) return uint32_t(r.IntegerValue(tag));
    if (tag != vaIdent) throw Error(Tr(text::PropertyValue));
    uint32_t color = 0;
    if (!ColorFromIdent(r.ShortString(), color)) throw Error(Tr(text::PropertyValue));
    return color;
}

// A data block's bytes (tag 10, u32 length).
std::pair<const uint8_t*, size_t> ReadBinary(StreamReader& r) {
    if (r.U8() != vaBinary) throw Error(Tr(text::PropertyValue));
    size_t n = r.U32();
    return {r.Read(n), n};
}

// "Picture.Data": class name, then that class's own data.
Image ReadPictureData(const uint8_t* data, size_t size) {
    StreamReader r(data, size);
    std::string className = r.ShortString();
    if (className.empty()) return Image();
    if (className == "TBitmap") {
        size_t n = r.U32();
        const uint8_t* p = r.Read(n);
        return DecodeBmpFile(p, n).ToPicture();
    }
    if (className == "TDIB") {
        size_t at = r.Position();
        return DecodePackedDib(data + at, size - at, Tr(text::InvalidDib)).ToPicture();
    }
    if (className == "TJPEGImage") {
        size_t n = r.U32();
        const uint8_t* p = r.Read(n);
        return DecodeJpeg(p, n);
    }
    return Image(); // a picture class we do not know: no picture
}

void ReadItemProperty(StreamReader& r, const std::string& name, ArchivePicture& item) {
    if (name == "Name") {
        item.Name = ReadStringValue(r);
    } else if (name == "PatternWidth") {
        item.PatternWidth = ReadInteger(r);
    } else if (name == "PatternHeight") {
        item.PatternHeight = ReadInteger(r);
    } else if (name == "SkipWidth") {
        item.SkipWidth = ReadInteger(r);
    } else if (name == "SkipHeight") {
        item.SkipHeight = ReadInteger(r);
    } else if (name == "SystemMemory") {
        item.SystemMemory = ReadBool(r);
    } else if (name == "Transparent") {
        item.Transparent = ReadBool(r);
    } else if (name == "TransparentColor") {
        item.TransparentColor = ReadColor(r);
    } else if (name == "Picture.Data") {
        auto [p, n] = ReadBinary(r);
        item.Picture = ReadPictureData(p, n);
    } else {
        throw Error(Tr(text::PropertyMissing));
    }
}

void ReadCollection(StreamReader& r, std::vector<ArchivePicture>& items) {
    if (r.U8() != vaCollection) throw Error(Tr(text::PropertyValue));
    while (r.PeekU8() != vaNull) {
        if (r.IsIntegerTag(r.PeekU8())) ReadInteger(r); // order number, not needed
        if (r.U8() != vaList) throw Error(Tr(text::PropertyValue));
        ArchivePicture& item = items.emplace_back();
        while (r.PeekU8() != vaNull) {
            std::string name = r.ShortString();
            ReadItemProperty(r, name, item);
        }
        r.U8();
    }
    r.U8();
}

// Skips the resource header; returns the offset of the component stream.
size_t SkipResourceHeader(const uint8_t* data, size_t size) {
    const size_t window = size < 79 ? size : 79;
    if (window < 3 || data[0] != 0xFF || data[1] != 10 || data[2] != 0)
        throw Error(Tr(text::StreamFormat));
    for (size_t i = 3; i < window; ++i)
        if (data[i] == 0) return (i - 3) + 10;
    throw Error(Tr(text::StreamFormat));
}

} // namespace

ArchiveContents ReadArchive(const uint8_t* data, size_t size) {
    ArchiveContents contents;
    StreamReader r(data, size);
    r.Seek(SkipResourceHeader(data, size));
    const uint8_t* signature = r.Read(4);
    if (std::memcmp(signature, "TPF0", 4) != 0) throw Error(Tr(text::StreamFormat));
    if (r.PeekU8() >= 0xF0) {
        uint8_t prefix = r.U8();
        if (prefix & 2) ReadInteger(r); // child position
    }
    r.ShortString(); // class name
    r.ShortString(); // object name
    while (r.PeekU8() != 0) {
        std::string name = r.ShortString();
        if (name == "List.ColorTable") {
            auto [p, n] = ReadBinary(r);
            if (n != 1024) throw Error(Tr(text::PropertyValue));
            for (size_t i = 0; i < 256; ++i)
                contents.ColorTable[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 |
                                         uint32_t(p[4 * i + 2]) << 16 |
                                         uint32_t(p[4 * i + 3]) << 24;
        } else if (name == "List") {
            ReadCollection(r, contents.Items);
        } else {
            throw Error(Tr(text::PropertyMissing));
        }
    }
    r.U8(); // end of the property list
    while (r.PeekU8() != 0)
        r.SkipValue(); // children: the writer writes none
    r.U8();
    return contents;
}

} // namespace tappo
