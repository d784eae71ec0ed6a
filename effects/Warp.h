// The warp background: "select.bmp" wrapped around the screen centre in polar
// form, turning slowly with rings that wobble in a diagonal wave. All
// trigonometry happens once at start-up; a frame only looks values up and
// writes each pixel in the display's 5-6-5 format (the image's display copy),
// so that drawing the picture is a plain copy. The picture of palette indexes
// is brought up to date only when asked for, or when the palette changes.
#pragma once

#include "formats/PalettedImage.h"
#include "formats/Picture.h"

#include <array>
#include <cstdint>
#include <string>

namespace tappo {

class WarpEffect {
  public:
    static constexpr int Width = 320, Height = 240, SineSize = 851;

    // Whoever changes WarpImage's palette or pixels from outside calls
    // SyncIndexPicture first: until then the newest frames live only in the
    // display copy, and a change to the index picture would be overwritten.
    PalettedImage WarpImage;
    std::array<uint8_t, SineSize> SineTable{};
    uint8_t DistanceTable[Height][Width]{};
    uint8_t AngleTable[Height][Width]{};
    uint8_t PictureTable[Height][Width]{};
    uint8_t* WarpRows[Height]{}; // the index picture's rows, current after SyncIndexPicture
    uint8_t WarpFrame = 0;

    // Builds the tables from `programFolder` + "select.bmp"; the loader's
    // error goes to the caller.
    explicit WarpEffect(const std::string& programFolder);
    // Its rows point into its own picture.
    WarpEffect(const WarpEffect&) = delete;
    WarpEffect& operator=(const WarpEffect&) = delete;

    // The next frame: SSE2 on x86-64, else the portable loop. Both paths give
    // the same pixels; the portable one is public for comparison.
    void UpdateWarp();
    void UpdateWarpPortable();
    // Writes the frames drawn so far into the index picture (WarpImage's
    // pixels, WarpRows), as they are in the display copy.
    void SyncIndexPicture();

  private:
    // The picture's rows 0-239 and columns 0-255 (all a lookup can reach),
    // 256 to a row so that a lookup's index is distance << 8 | angle.
    uint8_t lookup_[Height * 256]{};
    // The same turned round, angle << 8 | distance, because neighbouring
    // pixels differ more in distance than in angle, as 5-6-5 pixels.
    uint16_t lookupPixel_[256 * 256]{};
    PixelTable pixelOf_{}; // palette index to 5-6-5
    uint16_t* mirrorRows_[Height]{};
    // Frames since it was made, up to 2: by the second every pixel is renewed.
    int framesDone_ = 0;
    bool indexStale_ = false;

    void BeginFrame();
    void RemakeDisplayCopy();
    // After a frame's display copy: what its index picture needs.
    // `copyFrom`..`copyTo` are the columns where the frame copied its whole
    // even rows (not only its new pixels) into the odd rows below.
    void EndFrame(int copyFrom, int copyTo);
    void RenewIndexRows(int frame, int copyFrom, int copyTo);
};

} // namespace tappo
