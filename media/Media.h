// A compiled chart's media: the keysound samples, the background music and
// the background images scaled to the screen.
#pragma once

#include "base/Translate.h"

#include "audio/Mixer.h"
#include "chart/CompiledChart.h"
#include "media/Video.h"
#include "platform/Music.h"
#include "platform/Surface.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace tappo {

class Display;
class FileResolver;

// Called after each file of a load with the files done and the files in all;
// false asks the load to stop there.
using ProgressCallback = std::function<bool(int done, int total)>;

// Keysound slots of either reading, then the step tick in a slot of its own.
// Assigning a fresh bank lets every sample go.
inline constexpr int StepTickSlot = WideSlotCount;
using KeysoundBank = std::array<std::unique_ptr<Sample>, WideSlotCount + 1>;
using BgaBank = std::array<std::unique_ptr<Surface>, WideSlotCount>;

inline constexpr const char* TextWaveLoadFailed = ForCatalogue("Wave ファイルが読み込めません");
inline constexpr const char* TextMidiLoadFailed = ForCatalogue("MIDI ファイルが読み込めません");

// What one chart's media may take in memory, far above any real song's:
// the keysounds' samples, and the pictures as decoded at their full size
// (4 bytes a pixel; a bitmap drawn straight onto its surface counts its file).
// Files past either budget are not loaded, with one message for the first.
inline constexpr uint64_t KeysoundBudgetBytes = uint64_t(2) << 30;
inline constexpr uint64_t PictureBudgetBytes = uint64_t(2) << 30;
inline constexpr const char* TextKeysoundBudgetSpent =
    ForCatalogue("は読み込みません: 効果音のメモリ (%d MB) "
                 "を使い切りました。これより後の効果音も読み込みません");
inline constexpr const char* TextPictureBudgetSpent =
    ForCatalogue("は読み込みません: 背景画像のメモリ (%d MB) "
                 "を使い切りました。これより後の画像も読み込みません");

// The "#WAV" and "#BMP" files a chart names.
int KeysoundFileCount(const ChartData& chart);
int ImageFileCount(const ChartData& chart);
// What a keysound load reads and where it puts the samples: the chart whose
// "#WAV" files it loads, through `Files`, into `Sound`, and the program's
// folder, which holds the step tick.
struct KeysoundLoad {
    const ChartData& Chart;
    Mixer& Sound;
    const std::string& ProgramFolder;
    FileResolver& Files;
};
// Loads every "#WAV" file and the step tick. A file missing under its own name
// is looked for as Ogg Vorbis, FLAC, MP3 and WAV under the same stem. A file
// that is missing or broken gives an empty sample (logged by the sound
// component, under the name the chart gives); never throws for it. A file
// named by several slots, under any names that lead to it (letter case, links),
// is decoded once and its samples are shared. Returns false when `progress`
// stopped the load.
bool LoadKeysounds(KeysoundBank& slots, const KeysoundLoad& load,
                   const ProgressCallback& progress = {}, uint64_t budget = KeysoundBudgetBytes);
// Opens and rewinds the chart's music. Throws when the file cannot be opened.
void LoadMidi(MusicPlayer& music, const std::string& songFolder, const std::string& midiFileName);

// One load of a chart's "#BMP" files. Every image is scaled onto a
// screen-sized surface of `Surfaces` with colour key 0, and `LayerImage` is
// set to the highest slot (below the chart's SlotLimit) without an image file
// (unchanged when every slot has one). A file missing under its own name is
// looked for as PNG, JPEG and BMP under the same stem. `Progress` gets
// `DoneBefore` + the images done, and `Total`. Pictures past `Budget` are
// refused. With `Problems`, every file's problem is added to it too, in slot
// order. With `Videos` (the standard reading), a file that is no picture but
// a video by its content shows its first frame on its slot's surface and gets
// a BgaVideo there; every other slot's video is removed.
struct BgaLoad {
    BgaBank& Surfaces;
    const ChartData& Chart;
    Display& Screen;
    int32_t& LayerImage;
    FileResolver& Files;
    ProgressCallback Progress = {};
    int DoneBefore = 0;
    int Total = 0;
    uint64_t Budget = PictureBudgetBytes;
    std::vector<std::string>* Problems = nullptr;
    VideoBank* Videos = nullptr;
};
// Loads them. A file named by several slots, under any names that lead to it,
// is read (a video opened and analysed) once. A file that cannot be read is
// skipped and the first such error is thrown after all the others are
// loaded. Returns false when the progress callback stopped the load.
bool LoadBgaImages(const BgaLoad& load);

// A video both background channels show is played by two decoders, so that
// each channel shows it from its own start: for each such slot the layer
// channel gets a video of its own on a surface of its own. Past
// MaxLayerVideos, or where one does not open, the layer channel shows the
// slot's video (the base channel's, restarted by either channel's start).
inline constexpr int MaxLayerVideos = 8;
void OpenLayerVideos(const ChartData& chart, Display& display, const VideoBank& videos,
                     BgaBank& layerSurfaces, VideoBank& layerVideos);

// Reads an image as the background loader does: the reader is chosen as
// PictureKindOf chooses it, and a file that tells nothing by its bytes or its
// name is read as a BMP file. A file that does not read throws Error naming
// it ("path: the reader's text").
Image ReadBgaPicture(const std::string& path);
// The same picture as a "#BMP" slot shows it stretched over `width` x
// `height`: each pixel the colour drawn there (widened from 5-6-5, so the
// canvas draws it unchanged at that size). Only the rows shown are decoded.
Image ReadBgaPictureShown(const std::string& path, int width, int height);

} // namespace tappo
