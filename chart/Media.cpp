#include "chart/Media.h"

#include "chart/FileLookup.h"
#include "base/AsciiCase.h"
#include "files/Files.h"
#include "platform/Display.h"
#include "formats/Picture.h"
#include "formats/Png.h"

#include <algorithm>
#include <cstring>
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
    for (int i = 0; i < StepTickSlot; ++i) {
        slots[size_t(i)].reset();
        if (i >= chart.SlotLimit) continue;
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

namespace {

// A picture file's bytes, and whether the BMP reader takes them.
struct TPictureFile {
    std::vector<uint8_t> bytes;
    bool isBmp = false;
};

TPictureFile ReadPictureFile(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    std::string ext;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ext = path.substr(dot);
    ext = AsciiLower(ext);
    TPictureFile file{ReadWholeFile(path), false};
    const std::vector<uint8_t>& bytes = file.bytes;
    // Packs re-encode pictures under the old name, so the content decides first.
    const bool jpeg = bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
    const bool bmp = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    file.isBmp = !IsPng(bytes.data(), bytes.size()) && !(jpeg || (ext == ".jpg" && !bmp));
    return file;
}

TPicture DecodeOtherPicture(const std::vector<uint8_t>& bytes) {
    if (IsPng(bytes.data(), bytes.size())) return DecodePng(bytes.data(), bytes.size());
    return DecodeJpeg(bytes.data(), bytes.size());
}

// The bitmap stretched over the whole surface, nearest pixel, as the canvas's
// CopyRect draws its picture: each source row and column converted through
// one table, and a destination row that repeats the one above copied whole.
void StretchBitmap(TDirectDrawSurface& surface, const TBitmapData& bitmap) {
    const int w = surface.Width(), h = surface.Height(), pw = bitmap.Width, ph = bitmap.Height;
    const bool indexed = bitmap.BitCount <= 8;
    uint16_t table[256];
    for (uint32_t i = 0; i < 256; ++i) table[i] = RgbValueToPixel(i < bitmap.Palette.size() ? bitmap.Palette[i] : 0);
    std::vector<int> columns(static_cast<size_t>(w));
    for (int dx = 0; dx < w; ++dx) columns[size_t(dx)] = int((long long)dx * pw / w);
    uint16_t* bits = surface.Bits();
    long long lastRow = -1;
    for (int dy = 0; dy < h; ++dy) {
        uint16_t* row = bits + size_t(dy) * size_t(w);
        const long long sy = (long long)dy * ph / h;
        if (sy == lastRow) {
            std::memcpy(row, row - w, size_t(w) * sizeof *row);
            continue;
        }
        lastRow = sy;
        const uint32_t* src = bitmap.Pixels.data() + size_t(sy) * size_t(pw);
        if (indexed) {
            for (int dx = 0; dx < w; ++dx) {
                const uint32_t v = src[columns[size_t(dx)]];
                row[dx] = v < 256 ? table[v] : RgbValueToPixel(v < bitmap.Palette.size() ? bitmap.Palette[v] : 0);
            }
        } else {
            for (int dx = 0; dx < w; ++dx) row[dx] = RgbValueToPixel(src[columns[size_t(dx)]]);
        }
    }
}

} // namespace

TPicture ReadBgaPicture(const std::string& path) {
    const TPictureFile file = ReadPictureFile(path);
    if (!file.isBmp) return DecodeOtherPicture(file.bytes);
    return DecodeBmpFile(file.bytes.data(), file.bytes.size()).ToPicture();
}

bool LoadBgaImages(TBgaSurfaces& surfaces, const TChartData& chart, TDXDraw& display,
                   int32_t& layerImage, TFileResolver& files, const TLoadProgress& progress,
                   int doneBefore, int total) {
    const int w = display.Display.Width, h = display.Display.Height;
    std::exception_ptr firstError;
    int done = doneBefore;
    TBitmapData bitmap; // one decoding buffer for every bitmap
    for (size_t i = size_t(chart.SlotLimit); i < surfaces.size(); ++i)
        surfaces[i].reset();
    for (int i = 0; i < chart.SlotLimit; ++i) {
        auto& surface = surfaces[size_t(i)];
        const std::string& name = chart.BmpFileNames[size_t(i)];
        if (name.empty()) {
            surface.reset();
            layerImage = i;
            continue;
        }
        try {
            const std::string found = files.FindWithFallback(name, PictureFallbacks);
            const TPictureFile file = ReadPictureFile(found.empty() ? name : found);
            TPicture picture;
            if (file.isBmp)
                DecodeBmpFile(file.bytes.data(), file.bytes.size(), bitmap);
            else
                picture = DecodeOtherPicture(file.bytes);
            if (!surface) {
                surface = std::make_unique<TDirectDrawSurface>(&display);
                surface->SetSize(w, h);
                surface->SetColorKey(0);
            }
            // Stretched over the whole screen, repeating or dropping pixels.
            if (file.isBmp && surface->HasPixels() && surface->Width() == w && surface->Height() == h) {
                StretchBitmap(*surface, bitmap);
            } else {
                if (file.isBmp) picture = bitmap.ToPicture();
                surface->Canvas().CopyRect(Bounds(0, 0, w, h), picture, Bounds(0, 0, picture.Width, picture.Height));
            }
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
