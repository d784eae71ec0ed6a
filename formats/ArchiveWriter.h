// Writer of sprite archives in the format the sprite list reads. The asset
// maker builds "tappoplay.dxg" with it; tests use the stream writer to make
// archives with any value the reader must take or refuse.
#pragma once

#include "formats/Picture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

// Low-level writer of tagged values.
class ArchiveStreamWriter {
  public:
    std::vector<uint8_t> Bytes;

    void U8(uint8_t v) { Bytes.push_back(v); }
    void U16(uint16_t v) { U8(uint8_t(v)), U8(uint8_t(v >> 8)); }
    void U32(uint32_t v) { U16(uint16_t(v)), U16(uint16_t(v >> 16)); }
    void Raw(const void* data, size_t n);
    void ShortString(const std::string& s);
    // Values with their tags.
    void Integer(int32_t v); // the smallest of i8, i16, i32
    void String(const std::string& s);
    void Ident(const std::string& s);
    void Bool(bool v) { U8(v ? 9 : 8); }
    void Binary(const std::vector<uint8_t>& data);
    void Property(const std::string& name) { ShortString(name); }
    void End() { U8(0); }
};

struct ArchiveItem {
    std::string Name;
    int PatternWidth = 0, PatternHeight = 0, SkipWidth = 0, SkipHeight = 0;
    bool SystemMemory = false, Transparent = true;
    uint32_t TransparentColor = 0; // 0x00BBGGRR
    // "TBitmap" (Data = a BMP file), "TDIB" (Data = a packed bitmap),
    // "TJPEGImage" (Data = a JPEG stream) or "" (no picture).
    std::string PictureClass = "TBitmap";
    std::vector<uint8_t> Data;
};

// "Picture.Data" block for an item.
std::vector<uint8_t> PictureDataBlock(const std::string& pictureClass,
                                      const std::vector<uint8_t>& data);
// Resource header + "TPF0" + root object with colour table and items.
std::vector<uint8_t> WriteArchive(const std::vector<ArchiveItem>& items,
                                  const std::string& resourceName = "TAPPOPLAY");
// Resource header alone, for tests that write their own stream after it.
std::vector<uint8_t> ResourceHeader(const std::string& name, uint32_t streamSize);

} // namespace tappo
