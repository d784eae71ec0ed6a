#include "chart/Media.h"

#include "chart/FileLookup.h"
#include "media/AsciiCase.h"
#include "media/Display.h"
#include "media/Picture.h"

#include <exception>

namespace tappo {

void FreeKeysounds(TKeysoundSlots& slots) {
    for (auto& slot : slots) slot.reset();
}

void LoadKeysounds(TKeysoundSlots& slots, const TChartData& chart, TDDSD& sound,
                   const std::string& programFolder) {
    for (int i = 0; i < SlotCount; ++i) {
        slots[size_t(i)].reset();
        const std::string& name = chart.WavFileNames[size_t(i)];
        if (!name.empty()) slots[size_t(i)] = sound.LoadSample(ResolveChartFile(name));
    }
    slots[StepTickSlot].reset();
    slots[StepTickSlot] = sound.LoadSample(programFolder + "step.wav");
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
    if (ext == ".jpg") return DecodeJpeg(bytes.data(), bytes.size());
    return DecodeBmpFile(bytes.data(), bytes.size()).ToPicture();
}

void LoadBgaImages(TBgaSurfaces& surfaces, const TChartData& chart, TDXDraw& display,
                   int32_t& layerImage) {
    const int w = display.Display.Width, h = display.Display.Height;
    std::exception_ptr firstError;
    for (int i = 0; i < SlotCount; ++i) {
        auto& surface = surfaces[size_t(i)];
        const std::string& name = chart.BmpFileNames[size_t(i)];
        if (name.empty()) {
            surface.reset();
            layerImage = i;
            continue;
        }
        try {
            const TPicture picture = ReadBgaPicture(ResolveChartFile(name));
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
    }
    if (firstError) std::rethrow_exception(firstError);
}

} // namespace tappo
