#include "media/Media.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "base/InOrder.h"
#include "chart/FileLookup.h"
#include "files/Files.h"
#include "formats/Picture.h"
#include "formats/Png.h"
#include "formats/VideoFile.h"
#include "platform/Display.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>

namespace tappo {

int KeysoundFileCount(const ChartData& chart) {
    return int(std::count_if(chart.WavFileNames.begin(), chart.WavFileNames.end(),
                             [](const std::string& name) { return !name.empty(); }));
}

int ImageFileCount(const ChartData& chart) {
    return int(std::count_if(chart.BmpFileNames.begin(), chart.BmpFileNames.end(),
                             [](const std::string& name) { return !name.empty(); }));
}

namespace {

// The chart's keysound files, found on the loading thread (the resolver is
// not shared). A lookup that throws ends the list there, as it ended the load.
struct SoundList {
    std::vector<size_t> slots;
    std::vector<std::string> paths;
    std::exception_ptr lookupError;
};

SoundList FindKeysounds(const ChartData& chart, FileResolver& files) {
    SoundList list;
    for (int i = 0; i < StepTickSlot; ++i) {
        const std::string& name = chart.WavFileNames[size_t(i)];
        if (i >= chart.SlotLimit || name.empty()) continue;
        try {
            const std::string found = files.FindWithFallback(name, SoundFallbacks);
            // Nothing found: the sound component reports the name the chart gives.
            list.paths.push_back(found.empty() ? name : found);
            list.slots.push_back(size_t(i));
        } catch (...) {
            list.lookupError = std::current_exception();
            break;
        }
    }
    return list;
}

} // namespace

namespace {

// What a found name stands for: the file itself (its device and inode), so
// that two spellings, a hard link and a symbolic link are one file; a name
// that leads to no file stands for itself.
std::string FileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "name " + path;
    return "file " + std::to_string(st.st_dev) + " " + std::to_string(st.st_ino);
}

// For each item, the first item naming the same file: a file named from many
// slots is read and decoded once, and its samples are shared by every slot.
std::vector<size_t> FirstOfEachFile(const std::vector<std::string>& paths) {
    std::unordered_map<std::string, size_t> seen;
    std::vector<size_t> first(paths.size());
    for (size_t k = 0; k < paths.size(); ++k)
        first[k] = seen.try_emplace(FileIdentity(paths[k]), k).first->second;
    return first;
}

} // namespace

bool LoadKeysounds(KeysoundBank& slots, const KeysoundLoad& load, const ProgressCallback& progress,
                   uint64_t budget) {
    const ChartData& chart = load.Chart;
    Mixer& sound = load.Sound;
    const int total = KeysoundFileCount(chart);
    // The last chart's samples go first: their memory serves the new ones.
    slots = KeysoundBank();
    const SoundList list = FindKeysounds(chart, load.Files);
    const int count = int(list.slots.size());
    const std::vector<size_t> first = FirstOfEachFile(list.paths);
    // Decoded on both cores, then made and logged here in slot order, so the
    // samples and the problem log are those of a load one file after another.
    // A slot naming a file already named takes the same decoded sample (and,
    // when it failed, logs the same problem again, as its own load would).
    std::vector<Mixer::DecodedSample> decoded(list.slots.size());
    // Files past the chart's memory budget are refused, in slot order: the
    // first with one log line, the rest silently, and none of them decoded
    // once the budget is known to be spent. A slot sharing a file already
    // loaded costs nothing and still gets it.
    std::atomic<bool> budgetSpent{false};
    std::vector<char> refused(list.slots.size(), 0);
    uint64_t used = 0;
    const auto decode = [&](int k, int) {
        if (first[size_t(k)] != size_t(k) || budgetSpent.load()) return;
        decoded[size_t(k)] = sound.DecodeSample(list.paths[size_t(k)]);
    };
    int done = 0;
    // A decoding that throws ends the load at its slot (a slot sharing its
    // file comes later and is never reached).
    const auto install = [&](int k, const std::exception_ptr& error) {
        if (error) std::rethrow_exception(error);
        const size_t from = first[size_t(k)];
        auto& slot = slots[list.slots[size_t(k)]];
        Mixer::DecodedSample& sample = decoded[from];
        if (from == size_t(k) && budgetSpent.load()) refused[from] = 1;
        if (refused[from]) {
            slot = std::make_unique<Sample>();
        } else if (from == size_t(k) && sample.pcm && sample.pcm->MemoryBytes() > budget - used) {
            budgetSpent = true;
            refused[from] = 1;
            slot = sound.InstallSample(
                {sample.path,
                 nullptr,
                 {},
                 FormatText(Tr(TextKeysoundBudgetSpent), static_cast<long long>(budget >> 20))});
            sample.pcm.reset();
        } else {
            if (from == size_t(k) && sample.pcm) used += sample.pcm->MemoryBytes();
            // A problem is logged under the slot's own name for the file.
            Mixer::DecodedSample own = sample;
            own.path = list.paths[size_t(k)];
            slot = sound.InstallSample(std::move(own));
        }
        return !progress || progress(++done, total);
    };
    if (!RunInOrder(count, decode, install)) return false;
    if (list.lookupError) std::rethrow_exception(list.lookupError);
    slots[StepTickSlot] = sound.LoadSample(load.ProgramFolder + "step.wav");
    return true;
}

void LoadMidi(MusicPlayer& music, const std::string& songFolder, const std::string& midiFileName) {
    music.FileName = ResolveChartFile(songFolder + midiFileName);
    music.Open();
    music.Rewind();
}

namespace {

// A picture file's bytes, and the reader that takes them: the content
// decides, the extension breaks ties, and a file that tells neither goes to
// the BMP reader.
struct PictureFile {
    std::vector<uint8_t> bytes;
    PictureKind kind = PictureKind::Bmp;
    bool IsBmp() const { return kind == PictureKind::Bmp; }
};

PictureFile ReadPictureFile(const std::string& path) {
    PictureFile file{ReadWholeFile(path, MaxPictureFileBytes)};
    const std::vector<uint8_t>& bytes = file.bytes;
    if (bytes.empty()) {
        const PictureKind named = PictureKindOfName(path);
        const char* kind = named == PictureKind::Png    ? "PNG"
                           : named == PictureKind::Jpeg ? "JPEG"
                                                        : "BMP";
        throw Error(FormatText(Tr("画像ファイル %s は空です (%s)"), path, kind));
    }
    file.kind = PictureKindOf(bytes.data(), bytes.size(), path);
    if (file.kind == PictureKind::Unknown) file.kind = PictureKind::Bmp;
    if (file.kind == PictureKind::Gif || file.kind == PictureKind::WebP)
        throw Error(path + ": " + UnreadPictureKindText(file.kind));
    return file;
}

// Runs a reader of `path`'s bytes; the reader's own text of why they do not
// read is thrown again after the file's name, as a sound's problem is logged.
template <typename Reader> auto ReadNamed(const std::string& path, const Reader& reader) {
    try {
        return reader();
    } catch (const Error& e) {
        throw Error(path + ": " + e.what());
    }
}

Image DecodePicture(const std::string& path, const PictureFile& file, BitmapData& bitmap) {
    const uint8_t* data = file.bytes.data();
    const size_t size = file.bytes.size();
    return ReadNamed(path, [&] {
        if (file.kind == PictureKind::Png) return DecodePng(data, size);
        if (file.kind == PictureKind::Jpeg) return DecodeJpeg(data, size);
        DecodeBmpFile(data, size, bitmap);
        return bitmap.ToPicture();
    });
}

// The file stretched over `width` x `height` 5-6-5 pixels at `out`, as the
// canvas draws its decoded picture, with only the rows shown decoded. Returns
// what the picture takes decoded at its full size, the measure of the budget.
uint64_t DrawPictureStretched(const std::string& path, const PictureFile& file, uint16_t* out,
                              int width, int height, BitmapData& scratch) {
    const uint8_t* data = file.bytes.data();
    const size_t size = file.bytes.size();
    return ReadNamed(path, [&] {
        if (file.IsBmp()) {
            DrawBmpFileStretched(data, size, {.Pixels = out, .Width = width, .Height = height},
                                 scratch);
            return uint64_t(size); // drawn run by run or from the rows shown: its file's bytes
        }
        const PictureSize picture = file.kind == PictureKind::Png
                                        ? DrawPngStretched(data, size, out, width, height)
                                        : DrawJpegStretched(data, size, out, width, height);
        return uint64_t(picture.Width) * uint64_t(picture.Height) * 4;
    });
}

} // namespace

Image ReadBgaPicture(const std::string& path) {
    BitmapData bitmap;
    return DecodePicture(path, ReadPictureFile(path), bitmap);
}

Image ReadBgaPictureShown(const std::string& path, int width, int height) {
    const PictureFile file = ReadPictureFile(path);
    std::vector<uint16_t> shown(size_t(width) * size_t(height));
    BitmapData scratch;
    DrawPictureStretched(path, file, shown.data(), width, height, scratch);
    // Each 5-6-5 pixel widened to the colour that narrows back to it.
    Image picture(width, height);
    for (size_t i = 0; i < shown.size(); ++i) {
        const uint32_t p = shown[i];
        picture.Rgb[i] = (p >> 11) << 19 | ((p >> 5) & 63) << 10 | (p & 31) << 3;
    }
    return picture;
}

namespace {

// One "#BMP" file to load: where it is and the surface it goes to, or why it
// cannot be loaded.
struct ImageJob {
    size_t slot = 0;
    std::string path;
    Surface* surface = nullptr;
    bool sizeSurface = false; // a new surface, still to get its pixels
    size_t first = 0;         // the first job with the same file (this one's own index if none)
    bool refused = false;     // past the budget, after the one message that says so
    uint64_t cost = 0;        // memory its decoding took, counted against the budget
    std::exception_ptr lookupError, surfaceError, error;
    std::unique_ptr<BgaVideo> video; // a video, opened on its surface
    bool isVideo = false;            // the same, after the video went to its slot
};

// On the loading thread, before any decoding: the files found and every named
// slot given its surface (a slot keeps the one it has), so the decoding
// threads touch nothing but their own slot's surface. Slots without a file
// are emptied, and the highest of them becomes the layer image.
std::vector<ImageJob> PrepareImages(const BgaLoad& load) {
    BgaBank& surfaces = load.Surfaces;
    const ChartData& chart = load.Chart;
    for (size_t i = size_t(chart.SlotLimit); i < surfaces.size(); ++i)
        surfaces[i].reset();
    std::vector<ImageJob> jobs;
    for (int i = 0; i < chart.SlotLimit; ++i) {
        auto& surface = surfaces[size_t(i)];
        const std::string& name = chart.BmpFileNames[size_t(i)];
        if (name.empty()) {
            surface.reset();
            load.LayerImage = i;
            continue;
        }
        ImageJob job;
        job.slot = size_t(i);
        try {
            const std::string found = load.Files.FindWithFallback(name, PictureFallbacks);
            job.path = found.empty() ? name : found;
        } catch (...) {
            job.lookupError = std::current_exception();
        }
        try {
            // Made here, where the display keeps its list of surfaces; its
            // pixels are taken by the thread that draws it.
            if (!surface) surface = std::make_unique<Surface>(&load.Screen), job.sizeSurface = true;
            job.surface = surface.get();
        } catch (...) {
            surface.reset();
            job.surfaceError = std::current_exception();
        }
        jobs.push_back(std::move(job));
    }
    std::unordered_map<std::string, size_t> seen;
    for (size_t k = 0; k < jobs.size(); ++k)
        jobs[k].first =
            jobs[k].lookupError ? k : seen.try_emplace(FileIdentity(jobs[k].path), k).first->second;
    return jobs;
}

// Gives a new surface its screen-sized pixels, reads and decodes the job's
// file and stretches it over the whole surface, repeating or dropping pixels.
// The first failure (lookup, file, surface) is the job's error.
void SizeSurface(ImageJob& job, int w, int h) {
    if (job.sizeSurface) {
        try {
            job.surface->SetSize(w, h);
            job.surface->SetColorKey(0);
        } catch (...) {
            job.surface = nullptr;
            job.surfaceError = std::current_exception();
        }
        job.sizeSurface = false;
    }
}

// Opens the job's video on its surface, which shows the first frame; the file
// is taken from `probed`, its probe, when given.
void OpenVideo(ImageJob& job, const std::string& path, int w, int h,
               std::unique_ptr<VideoFileProbe> probed = nullptr) {
    Surface* surface = job.surface;
    if (!surface || !surface->HasPixels() || surface->Width() != w || surface->Height() != h) {
        if (job.surfaceError) std::rethrow_exception(job.surfaceError);
        throw Error(FormatText(Tr("動画 %s を開けません"), path));
    }
    job.video = std::make_unique<BgaVideo>(path, *surface, std::move(probed));
    job.isVideo = true;
    job.cost = uint64_t(w) * uint64_t(h) * 4 * (BgaVideo::FramesAhead + 2);
}

// Another slot's video of the same file: the file opened and analysed once,
// its first frame shown on the job's surface too.
void ShareVideo(ImageJob& job, const BgaVideo& opened, int w, int h) {
    Surface* surface = job.surface;
    if (!surface || !surface->HasPixels() || surface->Width() != w || surface->Height() != h) {
        if (job.surfaceError) std::rethrow_exception(job.surfaceError);
        throw Error(FormatText(Tr("動画 %s を開けません"), opened.Path()));
    }
    job.video = BgaVideo::SameFile(opened, *surface);
    job.isVideo = true;
    job.cost = uint64_t(w) * uint64_t(h) * 4 * (BgaVideo::FramesAhead + 2);
}

// Throws the job's error: the first failure of lookup, file or surface.
void DrawImage(ImageJob& job, BitmapData& bitmap, int w, int h, bool videos = false) {
    SizeSurface(job, w, h);
    if (job.lookupError) std::rethrow_exception(job.lookupError);
    // A video is opened once: the decoder goes on from the probe's file.
    if (auto probed = videos ? VideoFileProbe::Open(job.path) : nullptr)
        return OpenVideo(job, job.path, w, h, std::move(probed));
    const PictureFile file = ReadPictureFile(job.path);
    Surface* surface = job.surface;
    if (surface && surface->HasPixels() && surface->Width() == w && surface->Height() == h) {
        // As the canvas's CopyRect would draw the decoded picture.
        job.cost = DrawPictureStretched(job.path, file, surface->Bits(), w, h, bitmap);
        return;
    }
    const Image picture = DecodePicture(job.path, file, bitmap);
    if (!surface) std::rethrow_exception(job.surfaceError);
    job.cost = uint64_t(picture.Rgb.size()) * 4;
    surface->Canvas().CopyRect(Bounds(0, 0, w, h), picture,
                               Bounds(0, 0, picture.Width, picture.Height));
}

// One load of the "#BMP" files: decoded and drawn on both cores, then taken
// in here in slot order, so that what the budget takes, the problems and the
// first error thrown are those of a load one file after another.
class BgaLoader {
  public:
    explicit BgaLoader(const BgaLoad& load)
        : load_(load), w_(load.Screen.Mode.Width), h_(load.Screen.Mode.Height),
          jobs_(PrepareImages(load)), done_(load.DoneBefore) {}
    bool Run();

  private:
    void Draw(int k, int worker);
    bool Finish(int k, const std::exception_ptr& error);
    void TakeFromFirst(ImageJob& job);
    void ChargeBudget(ImageJob& job);
    void Install(ImageJob& job);
    void EmptyUntaken();
    bool Sized(const Surface* s) const {
        return s && s->HasPixels() && s->Width() == w_ && s->Height() == h_;
    }

    const BgaLoad& load_;
    const int w_, h_;
    std::vector<ImageJob> jobs_;
    std::array<BitmapData, InOrderWorkers> bitmaps_; // one decoding buffer per thread
    // Pictures past the chart's budget are refused in slot order, as sounds are.
    std::atomic<bool> budgetSpent_{false};
    uint64_t used_ = 0;
    std::exception_ptr firstError_;
    int done_;
    int finished_ = -1; // the last item taken in
};

void BgaLoader::Draw(int k, int worker) {
    ImageJob& job = jobs_[size_t(k)];
    // A file named again is copied from its first slot once that is taken in.
    if (job.first != size_t(k) || budgetSpent_.load())
        SizeSurface(job, w_, h_);
    else
        DrawImage(job, bitmaps_[size_t(worker)], w_, h_, load_.Videos != nullptr);
}

// A slot naming a file an earlier slot named takes what that one made of it.
void BgaLoader::TakeFromFirst(ImageJob& job) {
    const ImageJob& from = jobs_[job.first];
    if (from.refused) {
        job.refused = true;
        return;
    }
    if (from.error && from.error != from.surfaceError) {
        job.error = from.error;
        return;
    }
    try {
        const VideoBank* videos = load_.Videos;
        if (!from.error && from.isVideo && videos && (*videos)[from.slot])
            ShareVideo(job, *(*videos)[from.slot], w_, h_); // a video of its own
        else if (!from.error && Sized(job.surface) && Sized(from.surface))
            std::memcpy(job.surface->Bits(), from.surface->Bits(),
                        size_t(w_) * size_t(h_) * sizeof(uint16_t));
        else
            DrawImage(job, bitmaps_[0], w_, h_, videos != nullptr); // only a surface failed
    } catch (...) {
        job.error = std::current_exception();
    }
}

void BgaLoader::ChargeBudget(ImageJob& job) {
    if (budgetSpent_.load()) {
        job.refused = true;
    } else if (!job.error && job.cost > load_.Budget - used_) {
        budgetSpent_ = true;
        job.error = std::make_exception_ptr(Error(
            Tr("画像 ") + job.path +
            FormatText(Tr(TextPictureBudgetSpent), static_cast<long long>(load_.Budget >> 20))));
    } else {
        used_ += job.cost;
    }
}

// The job's picture or video into its slot, or its problem reported.
void BgaLoader::Install(ImageJob& job) {
    if (job.refused) {
        load_.Surfaces[job.slot].reset();
    } else if (job.error) {
        // The slot is emptied: it must not keep the picture of the chart before.
        load_.Surfaces[job.slot].reset();
        if (!firstError_) firstError_ = job.error;
        if (!load_.Problems) return;
        try {
            std::rethrow_exception(job.error);
        } catch (const std::exception& e) {
            load_.Problems->push_back(e.what());
        } catch (...) {
            load_.Problems->push_back(Tr("画像 ") + job.path);
        }
    } else if (job.video && load_.Videos) {
        (*load_.Videos)[job.slot] = std::move(job.video);
    }
}

bool BgaLoader::Finish(int k, const std::exception_ptr& error) {
    finished_ = k;
    ImageJob& job = jobs_[size_t(k)];
    job.error = error;
    if (job.first != size_t(k))
        TakeFromFirst(job);
    else
        ChargeBudget(job);
    Install(job);
    return !load_.Progress || load_.Progress(++done_, load_.Total);
}

// A load stopped early empties the slots it did not take in, whatever the
// helper thread had already drawn there: what is left is what a load one
// file after another would have made, and no surface without pixels.
void BgaLoader::EmptyUntaken() {
    for (size_t k = size_t(finished_ + 1); k < jobs_.size(); ++k)
        load_.Surfaces[jobs_[k].slot].reset();
}

bool BgaLoader::Run() {
    bool all = false;
    try {
        all = RunInOrder(
            int(jobs_.size()), [this](int k, int worker) { Draw(k, worker); },
            [this](int k, const std::exception_ptr& error) { return Finish(k, error); });
    } catch (...) {
        EmptyUntaken();
        throw;
    }
    if (!all) {
        EmptyUntaken();
        return false;
    }
    if (firstError_) std::rethrow_exception(firstError_);
    return true;
}

} // namespace

bool LoadBgaImages(const BgaLoad& load) {
    // The last chart's videos stop before their surfaces change.
    if (load.Videos)
        for (auto& video : *load.Videos)
            video.reset();
    BgaLoader loader(load);
    return loader.Run();
}

void OpenLayerVideos(const ChartData& chart, Display& display, const VideoBank& videos,
                     BgaBank& layerSurfaces, VideoBank& layerVideos) {
    for (auto& video : layerVideos)
        video.reset();
    for (auto& surface : layerSurfaces)
        surface.reset();
    std::vector<bool> onBase(videos.size());
    for (const EventRecord& e : chart.Events[BgaBaseEventsIndex])
        if (e.Slot() >= 0 && size_t(e.Slot()) < videos.size()) onBase[size_t(e.Slot())] = true;
    int opened = 0;
    for (const EventRecord& e : chart.Events[BgaLayerEventsIndex]) {
        const size_t slot = size_t(e.Slot());
        if (slot >= videos.size() || !onBase[slot] || !videos[slot] || layerVideos[slot]) continue;
        if (opened == MaxLayerVideos) return;
        try {
            auto surface = std::make_unique<Surface>(&display);
            surface->SetSize(display.Mode.Width, display.Mode.Height);
            surface->SetColorKey(0);
            layerVideos[slot] = BgaVideo::SameFile(*videos[slot], *surface);
            layerSurfaces[slot] = std::move(surface);
            ++opened;
        } catch (const std::exception&) {
            // No surface for it: the layer shares the slot's video.
        }
    }
}

} // namespace tappo
