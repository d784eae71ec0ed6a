// The program folder's own pictures and sounds, drawn and synthesised here.
#pragma once

#include "formats/Picture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo::tools {

Image MakeArrowSheet(); // "arrow.bmp": 4 lanes x 16 animation rows of 32 x 32
// The sprite archive's "KeyNotes": for each of KeyNoteColours colours (white
// and blue keys, scratch, yellow, green and red buttons) a column of
// KeyNoteCell x 16 cells: note, held bar, receptor, receptor on the beat; then
// the lane rail (one pixel wide) in a column of its own.
inline constexpr int KeyNoteColours = 6, KeyNoteCell = 32;
Image MakeKeyNotes();
BitmapData MakeWarpPicture();             // "select.bmp": 8-bit, 320 x 240
Image MakeDiskMask();                     // "diskmask.bmp": 80 x 52 grey mask
Image MakeDiskBlank();                    // "diskblank.bmp": 80 x 52 banner
std::vector<uint8_t> MakeSpriteArchive(); // "tappoplay.dxg": 9 items
std::vector<int16_t> MakeStepTick();      // "step.wav" samples, mono 44.1 kHz

// 16-bit PCM WAV file of interleaved samples.
std::vector<uint8_t> EncodeWav16(const std::vector<int16_t>& samples, int channels, int rate);

// Writes every asset into `folder` (each file written whole, then renamed).
void WriteProgramAssets(const std::string& folder);

} // namespace tappo::tools
