// The named and system colours a sprite archive may use.
#include "formats/ArchiveReader.h"

#include <cstring>
#include <iterator>
#include <strings.h>

namespace tappo {

namespace {

struct NamedColor {
    const char* name;
    uint32_t value;
};

constexpr uint32_t SystemColor = 0x80000000u;

// The system colours as a classic desktop theme paints them (0x00BBGGRR).
constexpr uint32_t SystemPalette[] = {
    0xC8D0D4, 0x000000, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0xC8D0D4, 0x800000, 0xC8A8A6, 0x808080, 0x6A240A, 0xC8D0D4};

const NamedColor NamedColors[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", SystemColor | 0},
    {"clBackground", SystemColor | 1},
    {"clActiveCaption", SystemColor | 2},
    {"clInactiveCaption", SystemColor | 3},
    {"clMenu", SystemColor | 4},
    {"clWindow", SystemColor | 5},
    {"clWindowFrame", SystemColor | 6},
    {"clMenuText", SystemColor | 7},
    {"clWindowText", SystemColor | 8},
    {"clCaptionText", SystemColor | 9},
    {"clActiveBorder", SystemColor | 10},
    {"clInactiveBorder", SystemColor | 11},
    {"clAppWorkSpace", SystemColor | 12},
    {"clHighlight", SystemColor | 13},
    {"clHighlightText", SystemColor | 14},
    {"clBtnFace", SystemColor | 15},
    {"clBtnShadow", SystemColor | 16},
    {"clGrayText", SystemColor | 17},
    {"clBtnText", SystemColor | 18},
    {"clInactiveCaptionText", SystemColor | 19},
    {"clBtnHighlight", SystemColor | 20},
    {"cl3DDkShadow", SystemColor | 21},
    {"cl3DLight", SystemColor | 22},
    {"clInfoText", SystemColor | 23},
    {"clInfoBk", SystemColor | 24},
    {"clHotLight", SystemColor | 26},
    {"clGradientActiveCaption", SystemColor | 27},
    {"clGradientInactiveCaption", SystemColor | 28},
    {"clMenuHighlight", SystemColor | 29},
    {"clMenuBar", SystemColor | 30},
};

} // namespace

bool ColorFromIdent(const std::string& ident, uint32_t& color) {
    for (const NamedColor& c : NamedColors) {
        if (ident.size() == std::strlen(c.name) && strcasecmp(ident.c_str(), c.name) == 0) {
            color = c.value;
            return true;
        }
    }
    return false;
}

uint32_t ColorToRgb(uint32_t color) {
    if (color & SystemColor) {
        uint32_t index = color & 0xFF;
        return index < std::size(SystemPalette) ? SystemPalette[index] : 0;
    }
    return color & 0xFFFFFF;
}

} // namespace tappo
