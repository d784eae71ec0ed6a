#include "formats/ArchiveWriter.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <cctype>

namespace tappo {

void ArchiveStreamWriter::Raw(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    Bytes.insert(Bytes.end(), p, p + n);
}

void ArchiveStreamWriter::ShortString(const std::string& s) {
    const size_t n = std::min<size_t>(s.size(), 255);
    U8(uint8_t(n));
    Raw(s.data(), n);
}

void ArchiveStreamWriter::Integer(int32_t v) {
    if (v >= -128 && v <= 127) {
        U8(2), U8(uint8_t(int8_t(v)));
    } else if (v >= -32768 && v <= 32767) {
        U8(3), U16(uint16_t(int16_t(v)));
    } else {
        U8(4), U32(uint32_t(v));
    }
}

void ArchiveStreamWriter::String(const std::string& s) {
    if (s.size() <= 255) {
        U8(6), ShortString(s);
    } else {
        U8(12), U32(uint32_t(s.size())), Raw(s.data(), s.size());
    }
}

void ArchiveStreamWriter::Ident(const std::string& s) {
    U8(7), ShortString(s);
}

void ArchiveStreamWriter::Binary(const std::vector<uint8_t>& data) {
    U8(10), U32(uint32_t(data.size())), Raw(data.data(), data.size());
}

std::vector<uint8_t> PictureDataBlock(const std::string& pictureClass,
                                      const std::vector<uint8_t>& data) {
    ArchiveStreamWriter w;
    w.ShortString(pictureClass);
    if (pictureClass == "TBitmap" || pictureClass == "TJPEGImage") {
        w.U32(uint32_t(data.size()));
        w.Raw(data.data(), data.size());
    } else if (!pictureClass.empty()) {
        w.Raw(data.data(), data.size());
    }
    return w.Bytes;
}

std::vector<uint8_t> ResourceHeader(const std::string& name, uint32_t streamSize) {
    ArchiveStreamWriter w;
    w.U8(0xFF);
    w.U16(10);
    const std::string upper = AsciiUpper(std::string_view(name).substr(0, 63));
    w.Raw(upper.data(), upper.size());
    w.U8(0);
    w.U16(0x1030);
    w.U32(streamSize);
    return w.Bytes;
}

std::vector<uint8_t> WriteArchive(const std::vector<ArchiveItem>& items,
                                  const std::string& resourceName) {
    ArchiveStreamWriter s;
    s.Raw("TPF0", 4);
    s.ShortString("TPictureCollectionComponent");
    s.ShortString("");
    s.Property("List.ColorTable");
    s.Binary(std::vector<uint8_t>(1024, 0));
    s.Property("List");
    s.U8(14);
    for (const ArchiveItem& item : items) {
        s.U8(1);
        s.Property("Name"), s.String(item.Name);
        s.Property("PatternHeight"), s.Integer(item.PatternHeight);
        s.Property("PatternWidth"), s.Integer(item.PatternWidth);
        s.Property("Picture.Data"), s.Binary(PictureDataBlock(item.PictureClass, item.Data));
        if (item.SkipHeight) s.Property("SkipHeight"), s.Integer(item.SkipHeight);
        if (item.SkipWidth) s.Property("SkipWidth"), s.Integer(item.SkipWidth);
        s.Property("SystemMemory"), s.Bool(item.SystemMemory);
        s.Property("Transparent"), s.Bool(item.Transparent);
        s.Property("TransparentColor"), s.Integer(int32_t(item.TransparentColor));
        s.End();
    }
    s.End(); // collection
    s.End(); // property list
    s.End(); // children
    std::vector<uint8_t> out = ResourceHeader(resourceName, uint32_t(s.Bytes.size()));
    out.insert(out.end(), s.Bytes.begin(), s.Bytes.end());
    return out;
}

} // namespace tappo
