#include "platform/Font.h"

#include "base/Errors.h"

#include "base/Report.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <charconv>
#include <cstdio>
#include <fontconfig/fontconfig.h>

namespace tappo {

struct TextRenderer::FontHandle {
    TTF_Font* font = nullptr;
    ~FontHandle() {
        if (font) TTF_CloseFont(font);
    }
};

namespace {
constexpr size_t MaxCachedTexts = 512;

} // namespace

std::string FindSerifFont() {
    std::string result;
    if (!FcInit()) return result;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAPMincho"));
    if (!pattern) return result;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res;
    FcPattern* match = FcFontMatch(nullptr, pattern, &res);
    if (match) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
            result = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return result;
}

TextRenderer::TextRenderer(std::string fontPath) : fontPath_(std::move(fontPath)) {
    if (fontPath_.empty()) fontPath_ = FindSerifFont();
    // SDL_ttf counts its users: each renderer takes and gives back one.
    ttfStarted_ = TTF_Init() == 0;
    if (!ttfStarted_) fontPath_.clear();
}

TextRenderer::~TextRenderer() {
    fonts_.clear();
    if (ttfStarted_) TTF_Quit();
}

TextRenderer::FontHandle* TextRenderer::FontFor(int size) {
    if (size <= 0) size = 1;
    auto it = fonts_.find(size);
    if (it != fonts_.end()) return it->second.get();
    auto handle = std::make_unique<FontHandle>();
    if (!fontPath_.empty()) handle->font = TTF_OpenFontDPI(fontPath_.c_str(), size, 96, 96);
    if (!handle->font && !warned_) {
        warned_ = true;
        ReportOnConsole(FormatText(
            Tr("cannot open the font %s; texts are not drawn"),
            fontPath_.empty() ? std::string("IPA P Mincho (fonts-ipafont-mincho)") : fontPath_));
    }
    return fonts_.emplace(size, std::move(handle)).first->second.get();
}

const TextMask& TextRenderer::Render(int size, const std::string& utf8) {
    if (utf8.empty()) return empty_;
    // The key is the size, a separator and the text (built without printf:
    // a frame looks up several texts).
    char sizeText[16];
    char* end = std::to_chars(sizeText, sizeText + sizeof sizeText - 1, size).ptr;
    *end++ = '\x01';
    key_.assign(sizeText, end).append(utf8);
    auto it = cache_.find(key_);
    if (it != cache_.end()) return it->second;
    if (cache_.size() >= MaxCachedTexts) cache_.clear();
    TextMask mask;
    FontHandle* handle = FontFor(size);
    if (handle->font) {
        SDL_Color white{255, 255, 255, 255};
        SDL_Surface* s = TTF_RenderUTF8_Solid(handle->font, utf8.c_str(), white);
        if (s) {
            // Lay out with the font's height, not the rendered surface's.
            mask.Width = s->w;
            mask.Height = TTF_FontHeight(handle->font);
            mask.Bits.assign(size_t(mask.Width) * mask.Height, 0);
            SDL_LockSurface(s);
            for (int y = 0; y < std::min(s->h, mask.Height); ++y) {
                const uint8_t* row = static_cast<const uint8_t*>(s->pixels) + y * s->pitch;
                for (int x = 0; x < s->w; ++x)
                    mask.Bits[size_t(y) * mask.Width + x] = row[x] != 0;
            }
            SDL_UnlockSurface(s);
            SDL_FreeSurface(s);
        }
    }
    return cache_.emplace(key_, std::move(mask)).first->second;
}

} // namespace tappo
