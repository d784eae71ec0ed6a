#include "chart/Media.h"

#include "chart/FileLookup.h"
#include "base/AsciiCase.h"
#include "files/Files.h"
#include "platform/Display.h"
#include "formats/Picture.h"
#include "formats/Png.h"

#include <algorithm>

#include <exception>

namespace tappo {

void FreeKeysounds(TKeysoundSlots& slots) {
    for (auto& slot : slots) slot.reset();
}

int KeysoundFileCount(const TChartData& chart) {
    return int(std::count_if(chart.WavFileNames.begin(), chart.WavFileNames.end(),
                             [](const std::string& name) { return !name.empty(); }));
}

int ImageFileCount(const TChartData& chart) {
    return int(std::count_if(chart.BmpFileNames.begin(), chart.BmpFileNames.end(),
                             [](const std::string& name) { return !name.empty(); }));
}

bool LoadKeysounds(TKeysoundSlots& slots, const TChartData& chart, TDDSD& sound,
                   const std::string& programFolder, TFileResolver& files,
                   const TLoadProgress& progress) {
    const int total = KeysoundFileCount(chart);
    int done = 0;
    for (int i = 0; i < SlotCount; ++i) {
        slots[size_t(i)].reset();
        const std::string& name = chart.WavFileNames[size_t(i)];
        if (name.empty()) continue;
        const std::string found = files.FindWithFallback(name, SoundFallbacks);
        // Nothing found: the sound component reports the name the chart gives.
        slots[size_t(i)] = sound.LoadSample(found.empty() ? name : found);
        if (progress && !progress(++done, total)) return false;
    }
    slots[StepTickSlot].reset();
    slots[StepTickSlot] = sound.LoadSample(programFolder + "step.wav");
    return true;
}

void LoadMidi(TMediaPlayer& music, const std::string& songFolder, const std::string& midiFileName) {
    music.FileName = ResolveChartFile(songFolder + midiFileName);
    music.Open();
    music.Rewind();
}

TPicture ReadBgaPicture(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    std::string ext;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ext = path.substr(dot);
    ext = AsciiLower(ext);
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    // Packs re-encode pictures under the old name, so the content decides first.
    if (IsPng(bytes.data(), bytes.size())) return DecodePng(bytes.data(), bytes.size());
    const bool jpeg = bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
    const bool bmp = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    if (jpeg || (ext == ".jpg" && !bmp)) return DecodeJpeg(bytes.data(), bytes.size());
    return DecodeBmpFile(bytes.data(), bytes.size()).ToPicture();
}

bool LoadBgaImages(TBgaSurfaces& surfaces, const TChartData& chart, TDXDraw& display,
                   int32_t& layerImage, TFileResolver& files, const TLoadProgress& progress,
                   int doneBefore, int total) {
    const int w = display.Display.Width, h = display.Display.Height;
    std::exception_ptr firstError;
    int done = doneBefore;
    for (int i = 0; i < SlotCount; ++i) {
        auto& surface = surfaces[size_t(i)];
        const std::string& name = chart.BmpFileNames[size_t(i)];
        if (name.empty()) {
            surface.reset();
            layerImage = i;
            continue;
        }
        try {
            const std::string found = files.FindWithFallback(name, PictureFallbacks);
            const TPicture picture = ReadBgaPicture(found.empty() ? name : found);
            if (!surface) {
                surface = std::make_unique<TDirectDrawSurface>(&display);
                surface->SetSize(w, h);
                surface->SetColorKey(0);
            }
            // Stretched over the whole screen, repeating or dropping pixels.
            surface->Canvas().CopyRect(Bounds(0, 0, w, h), picture,
                                       Bounds(0, 0, picture.Width, picture.Height));
            surface->ReleaseCanvas();
        } catch (...) {
            // The slot is emptied: it must not keep the picture of the chart before.
            surface.reset();
            if (!firstError) firstError = std::current_exception();
        }
        if (progress && !progress(++done, total)) return false;
    }
    if (firstError) std::rethrow_exception(firstError);
    return true;
}

} // namespace tappo
