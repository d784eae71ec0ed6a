// Text rendering for canvases: IPA P Mincho through SDL_ttf, without
// anti-aliasing, at point sizes for 96 pixels per inch. Rendered texts are kept,
// because the select and play screens draw the same few texts every frame.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tappo {

// One rendered text: a byte per pixel, 1 where the text is inked, else 0.
struct TextMask {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Bits;
};

class TextRenderer {
  public:
    // `fontPath` empty: the font is looked up with fontconfig.
    explicit TextRenderer(std::string fontPath = "");
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // `utf8` in the one bundled serif face; `size` is in points.
    const TextMask& Render(int size, const std::string& utf8);
    bool Available() const { return !fontPath_.empty(); }
    const std::string& FontPath() const { return fontPath_; }

  private:
    struct FontHandle;
    FontHandle* FontFor(int size);

    std::string fontPath_;
    std::map<int, std::unique_ptr<FontHandle>> fonts_;
    std::unordered_map<std::string, TextMask> cache_;
    std::string key_; // reused for look-ups, so that a hit allocates nothing
    TextMask empty_;
    bool warned_ = false;
    bool ttfStarted_ = false;
};

// Path of IPA P Mincho (or the closest serif with Japanese glyphs), or "" when
// none is installed.
std::string FindSerifFont();

} // namespace tappo
