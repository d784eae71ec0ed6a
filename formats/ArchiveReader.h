// Reader of the sprite archive ("tappoplay.dxg"): the pictures and how each is
// cut into patterns, as stored. The sprite list makes surfaces from them.
#pragma once

#include "formats/Picture.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

struct ArchivePicture {
    std::string Name;
    int PatternWidth = 0, PatternHeight = 0;
    int SkipWidth = 0, SkipHeight = 0;
    bool SystemMemory = false;
    bool Transparent = true;
    uint32_t TransparentColor = 0; // 0x00BBGGRR or a system colour
    Image Picture;                 // empty: the item has no picture
};

struct ArchiveContents {
    std::array<uint32_t, 256> ColorTable{};
    std::vector<ArchivePicture> Items;
};

// Throws Error with the stream's error text on a damaged or hostile archive.
ArchiveContents ReadArchive(const uint8_t* data, size_t size);

// A named colour of the archive format ("clFuchsia", "clBtnFace", ...) to its
// value; returns false for an unknown name.
bool ColorFromIdent(const std::string& ident, uint32_t& color);
// A colour value (0x00BBGGRR or a system colour) to a plain 0x00BBGGRR colour.
uint32_t ColorToRgb(uint32_t color);

} // namespace tappo
