// The master volume as the volume keys change it, and the small band that
// shows it over the picture for a moment after each change.
#pragma once

#include "audio/Mixer.h"
#include "platform/Display.h"

#include <cstdint>

namespace tappo {

// How long the band stays up after a change.
inline constexpr uint32_t VolumeBandMs = 1200;
// One press of a volume key moves the volume by this much.
inline constexpr int VolumeStep = 10;

// The bands' text on `canvas` (white, no background, sized for a screen
// `screenHeight` high); returns a band's height.
int UseBandText(SurfaceCanvas& canvas, int screenHeight);

class VolumeBand {
  public:
    explicit VolumeBand(Mixer& mixer) : mixer_(mixer) {}
    int Level() const { return mixer_.MasterVolume(); }
    // The volume `steps` steps up (or down), within 0-100, shown from `nowMs` on.
    void Change(int steps, uint32_t nowMs);
    // Whether the band is up at `nowMs`.
    bool Shown(uint32_t nowMs) const { return shown_ && nowMs - since_ < VolumeBandMs; }
    // The band's text, e.g. "VOLUME 70".
    std::string Text() const;
    // Draws the band along the bottom of the picture while it is up.
    void Draw(Display& video, uint32_t nowMs);

  private:
    Mixer& mixer_;
    bool shown_ = false;
    uint32_t since_ = 0;
};

} // namespace tappo
