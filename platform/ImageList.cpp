#include "platform/ImageList.h"

#include "base/Errors.h"
#include "files/Files.h"
#include "platform/Display.h"

#include <cstring>
#include <unordered_map>

namespace tappo {

// ---- colours ----

namespace {

struct TNamedColor {
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

const TNamedColor NamedColors[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000},
    {"clOlive", 0x008080}, {"clNavy", 0x800000}, {"clPurple", 0x800080},
    {"clTeal", 0x808000}, {"clGray", 0x808080}, {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF}, {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0}, {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", SystemColor | 0}, {"clBackground", SystemColor | 1},
    {"clActiveCaption", SystemColor | 2}, {"clInactiveCaption", SystemColor | 3},
    {"clMenu", SystemColor | 4}, {"clWindow", SystemColor | 5},
    {"clWindowFrame", SystemColor | 6}, {"clMenuText", SystemColor | 7},
    {"clWindowText", SystemColor | 8}, {"clCaptionText", SystemColor | 9},
    {"clActiveBorder", SystemColor | 10}, {"clInactiveBorder", SystemColor | 11},
    {"clAppWorkSpace", SystemColor | 12}, {"clHighlight", SystemColor | 13},
    {"clHighlightText", SystemColor | 14}, {"clBtnFace", SystemColor | 15},
    {"clBtnShadow", SystemColor | 16}, {"clGrayText", SystemColor | 17},
    {"clBtnText", SystemColor | 18}, {"clInactiveCaptionText", SystemColor | 19},
    {"clBtnHighlight", SystemColor | 20}, {"cl3DDkShadow", SystemColor | 21},
    {"cl3DLight", SystemColor | 22}, {"clInfoText", SystemColor | 23},
    {"clInfoBk", SystemColor | 24}, {"clHotLight", SystemColor | 26},
    {"clGradientActiveCaption", SystemColor | 27},
    {"clGradientInactiveCaption", SystemColor | 28}, {"clMenuHighlight", SystemColor | 29},
    {"clMenuBar", SystemColor | 30},
};

} // namespace

bool ColorFromIdent(const std::string& ident, uint32_t& color) {
    for (const TNamedColor& c : NamedColors) {
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

// ---- items ----

void TPictureCollectionItem::SetTransparentColor(uint32_t color) {
    transparentColor_ = color;
    Rekey();
}

void TPictureCollectionItem::Rekey() {
    if (surface_) surface_->SetColorKey(ColorToPixel(ColorToRgb(transparentColor_)));
}

void TPictureCollectionItem::Finalize() {
    patterns_.clear();
    surface_.reset();
    initialized_ = false;
}

void TPictureCollectionItem::BuildPatterns(TDXDraw* display) {
    patterns_.clear();
    surface_.reset();
    if (!initialized_ || Picture.Empty()) return;
    const int w = Picture.Width, h = Picture.Height;
    const int pw = PatternWidth > 0 ? PatternWidth : w;
    const int ph = PatternHeight > 0 ? PatternHeight : h;
    // The whole picture lives on one surface: memory surfaces have no size
    // limit worth splitting for, and a pattern is only a rectangle on it.
    surface_ = std::make_unique<TDirectDrawSurface>(display);
    surface_->SystemMemory = SystemMemory;
    surface_->SetSize(w, h);
    surface_->Canvas().Draw(0, 0, Picture);
    surface_->ReleaseCanvas();
    Rekey();
    if (pw == w && ph == h) {
        patterns_.push_back({Bounds(0, 0, w, h), surface_.get()});
        return;
    }
    // In 64 bits: the sizes and gaps are any int32 the archive holds. A gap
    // that leaves no room for a pattern gives none.
    const long long strideX = (long long)pw + SkipWidth, strideY = (long long)ph + SkipHeight;
    if (strideX <= 0 || strideY <= 0) return;
    const long long columns = ((long long)w + SkipWidth) / strideX;
    const long long rows = ((long long)h + SkipHeight) / strideY;
    if (columns <= 0 || rows <= 0) return;
    patterns_.reserve(size_t(columns * rows));
    for (long long row = 0; row < rows; ++row)
        for (long long col = 0; col < columns; ++col)
            patterns_.push_back(
                {Bounds(int(col * strideX), int(row * strideY), pw, ph), surface_.get()});
}

void TPictureCollectionItem::Draw(TDirectDrawSurface& dest, int x, int y, int pattern) const {
    if (!initialized_ || pattern < 0 || pattern >= PatternCount()) return;
    const TPictureCollectionItemPattern& p = patterns_[size_t(pattern)];
    dest.Draw(x, y, p.Rect, p.Surface, Transparent);
}

// ---- collection ----

TPictureCollectionItem& TPictureCollection::Items(int index) {
    if (index < 0 || index >= Count()) throw TError(FormatText(text::ListIndex, index));
    return *items_[size_t(index)];
}

TPictureCollectionItem* TPictureCollection::Find(const std::string& name) {
    for (auto& item : items_)
        if (strcasecmp(item->Name.c_str(), name.c_str()) == 0) return item.get();
    return nullptr;
}

TPictureCollectionItem& TPictureCollection::Add() {
    items_.push_back(std::make_unique<TPictureCollectionItem>());
    return *items_.back();
}

// ---- list ----

TDXImageList::TDXImageList(TDXDraw* display) : display_(display) {
    if (display_) display_->AttachImageList(this);
}

TDXImageList::~TDXImageList() {
    if (display_) display_->DetachImageList(this);
}

void TDXImageList::LoadFromFile(const std::string& path) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    LoadFromBytes(bytes.data(), bytes.size());
}

void TDXImageList::Draw(int item, TDirectDrawSurface& dest, int x, int y, int pattern) {
    Items.Items(item).Draw(dest, x, y, pattern);
}

void TDXImageList::DisplayInitialized() {
    for (int i = 0; i < Items.Count(); ++i) Items.Items(i).Initialize();
}

void TDXImageList::BuildAllPatterns() {
    for (int i = 0; i < Items.Count(); ++i) Items.Items(i).BuildPatterns(display_);
}

void TDXImageList::DisplayFinalized() {
    for (int i = 0; i < Items.Count(); ++i) Items.Items(i).Finalize();
}

} // namespace tappo
