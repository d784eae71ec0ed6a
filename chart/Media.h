// A compiled chart's media: the keysound samples, the background music and
// the background images scaled to the screen.
#pragma once

#include "chart/Compiler.h"
#include "media/Music.h"
#include "media/Sound.h"
#include "media/Surface.h"

#include <array>
#include <memory>
#include <string>

namespace tappo {

class TDXDraw;

// Keysound slots of either reading, then the step tick in a slot of its own.
inline constexpr int StepTickSlot = WideSlotCount;
using TKeysoundSlots = std::array<std::unique_ptr<TDDSDWaveData>, WideSlotCount + 1>;
using TBgaSurfaces = std::array<std::unique_ptr<TDirectDrawSurface>, WideSlotCount>;

inline constexpr const char* TextWaveLoadFailed = "Wave ファイルが読み込めません";
inline constexpr const char* TextMidiLoadFailed = "MIDI ファイルが読み込めません";

void FreeKeysounds(TKeysoundSlots& slots);
// Loads every "#WAV" file and the step tick. A file that is missing or broken
// gives an empty sample (logged by the sound component); never throws for it.
void LoadKeysounds(TKeysoundSlots& slots, const TChartData& chart, TDDSD& sound,
                   const std::string& programFolder);
// Opens and rewinds the chart's music. Throws when the file cannot be opened.
void LoadMidi(TMediaPlayer& music, const std::string& songFolder, const std::string& midiFileName);

// Scales every "#BMP" image onto a screen-sized surface with colour key 0 and
// sets `layerImage` to the highest slot (below the chart's SlotLimit) without
// an image file (unchanged when every slot has one). A file that cannot be
// read is skipped and the first such error is thrown after all the others are
// loaded.
void LoadBgaImages(TBgaSurfaces& surfaces, const TChartData& chart, TDXDraw& display,
                   int32_t& layerImage);

// Reads an image as the background loader does: ".jpg" through libjpeg, every
// other extension (".jpeg" too) as a BMP file.
TPicture ReadBgaPicture(const std::string& path);

} // namespace tappo
