#include "tests/fuzz/Feeders.h"

#include "tests/fuzz/SongMedia.h"

#include "TestUtil.h"

#include "app/Player.h"
#include "base/Errors.h"
#include "chart/Reading.h"
#include "chart/exact/Compiler.h"
#include "chart/exact/HeaderScan.h"
#include "chart/exact/Lines.h"
#include "chart/standard/Bmson.h"
#include "chart/standard/Compiler.h"
#include "chart/standard/Convert.h"
#include "files/Files.h"
#include "formats/Midi.h"
#include "formats/Picture.h"
#include "formats/Png.h"
#include "formats/SoundFile.h"
#include "formats/VideoFile.h"
#include "library/TableReader.h"
#include "platform/AudioDevice.h"
#include "platform/Display.h"
#include "platform/Music.h"
#include "platform/SpriteSheet.h"
#include "platform/Timer.h"
#include "screen/ScreenServices.h"
#include "select/SelectScreen.h"
#include "tools/Assets.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

namespace tappo::fuzz {
namespace {

std::string lastError;

template <typename F> void AcceptReaderError(F&& f) {
    lastError.clear();
    try {
        f();
    } catch (const Error& e) {
        lastError = e.what();
    }
}

// The feeders' own files, written on each input: plainly, as the player's
// safe write waits for the disk and would slow the runs a hundredfold.
void WriteScratchFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// A program folder with the real assets and an empty song folder, made once
// per process in the temporary folder and removed at exit. The banners the
// select screen builds are cached there too, not in the user's cache.
struct FuzzProgram {
    test::TempDir dir;
    std::string programFolder = dir.Folder();
    FuzzProgram() {
        setenv("XDG_CACHE_HOME", dir.File("cache").c_str(), 1);
        tools::WriteProgramAssets(programFolder);
        std::filesystem::create_directories(programFolder + "song");
    }
};

// The select screen over a program folder whose song folder holds one chart.
struct BannerWorld : FuzzProgram {
    std::vector<std::string> songsFolders;
    HeadlessPresenter presenter;
    Display display{presenter, nullptr};
    SpriteSheet images{&display};
    VirtualClock clock;
    FrameTimer timer{clock};
    std::unique_ptr<WarpEffect> warp; // the banners need none
    ScreenServices screen{display, images, timer, warp};
    Controller input;
    SongList songs;
    PlayToggles toggles;
    ChartSession session;
    std::unique_ptr<SelectScreen> select;

    BannerWorld() {
        WriteFileAtomic(programFolder + "song/1.bms",
                        {'#', 'T', 'I', 'T', 'L', 'E', ' ', 'x', '\n'});
        display.Open();
        select = std::make_unique<SelectScreen>(SelectScene{.Services = screen,
                                                            .Input = input,
                                                            .Songs = songs,
                                                            .Toggles = toggles,
                                                            .Session = session,
                                                            .ProgramFolder = programFolder,
                                                            .SongsFolders = songsFolders,
                                                            .ScanChartHeader = nullptr,
                                                            .StartPlay = nullptr});
        select->MakeBanners(display);
    }
};

// The song folder the play feeder writes: the chart and the media files of
// the input's choice (rewritten only when the choice changes).
struct PlayWorld : FuzzProgram {
    std::string chart = programFolder + "song/fuzz.bms";
    int mediaChoice = -1;
    std::vector<std::string> mediaPaths;

    void UseMedia(uint8_t choice) {
        if (choice == mediaChoice) return;
        std::error_code ec;
        for (const std::string& path : mediaPaths)
            std::filesystem::remove(path, ec);
        mediaPaths.clear();
        for (const MediaFile& file : SongMedia(choice)) {
            mediaPaths.push_back(programFolder + "song/" + file.name);
            WriteScratchFile(mediaPaths.back(), file.bytes.data(), file.bytes.size());
        }
        mediaChoice = choice;
    }
};

// The wave feeder's file, read as the sound component reads a keysound.
struct WaveWorld {
    test::TempDir dir;
    std::string file = dir.File("fuzz.wav");
};

class IgnoredMessages : public MessageBox {
  public:
    void Show(const std::string&) override {}
};

} // namespace

void FeedChart(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PlaySettings state;
    ChartHeader header;
    AcceptReaderError([&] { exact::ScanHeaderLines(exact::SplitLines(text), state, header, '.'); });
    AcceptReaderError([&] { exact::Compile(text, "/nonexistent/song/chart.bms", '.'); });
    // The standard reading never refuses a chart: it warns and goes on.
    const auto standard = std::make_unique<standard::Chart>(standard::Compile(text, {}));
    standard::InspectListing(*standard, "/nonexistent/song/chart.bms");
    standard::ToCompiled(*standard, "/nonexistent/song/chart.bms");
}

void FeedBmson(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    AcceptReaderError([&] { standard::CompileBmson(text, true); });
    AcceptReaderError([&] {
        const auto chart = std::make_unique<standard::Chart>(standard::CompileBmson(text));
        standard::InspectListing(*chart, "chart.bmson");
        standard::ToCompiled(*chart, "/nonexistent/song/chart.bmson");
    });
}

void FeedPlay(const uint8_t* data, size_t size) {
    static PlayWorld world;
    if (size < 2) return;
    world.UseMedia(data[0] >> 1);
    WriteScratchFile(world.chart, data + 2, size - 2);
    VirtualClock clock;
    HeadlessPresenter presenter;
    IgnoredMessages messages;
    ScriptedKeys keys;
    Player player({.Clock = clock,
                   .Presenter = presenter,
                   .Messages = messages,
                   .Fonts = nullptr,
                   .ProgramFolder = world.programFolder,
                   .SongsFolders = {},
                   .SoundOutput = MixerOutput::Pull,
                   .AudioBufferFrames = 512,
                   .Keys = &keys});
    ChartReading reading;
    reading.Standard = data[0] & 1;
    player.UseReading(reading);
    player.StartUp({world.chart});
    player.OpenDisplay();
    // The song waits for a measured 40 frames a second, so frames are short
    // until it starts; then they last from a hundredth of a second to about
    // 25 seconds, and long charts are crossed in the hundred or so frames
    // each input gets.
    const uint32_t step = 10 + uint32_t(data[1]) * 100;
    const uint32_t gateStep = std::min<uint32_t>(step, 1000 / StartGateFrameRate);
    std::vector<int16_t> mix(2 * 512);
    for (int frame = 0; frame < 160 && !player.Status().CloseRequested(); ++frame) {
        clock.Advance(player.Status().SongStarted() ? step : gateStep);
        player.Guarded([&] { player.Tick(); });
        player.SoundOutput().Mix(mix.data(), 512);
    }
    player.ShutDown();
}

void FeedBmp(const uint8_t* data, size_t size) {
    AcceptReaderError([&] { DecodeBmpFile(data, size).ToPicture(); });
}

void FeedDib(const uint8_t* data, size_t size) {
    AcceptReaderError([&] { DecodePackedDib(data, size).ToPicture(); });
}

void FeedJpeg(const uint8_t* data, size_t size) {
    AcceptReaderError([&] { DecodeJpeg(data, size); });
}

void FeedArchive(const uint8_t* data, size_t size) {
    static HeadlessPresenter presenter;
    static Display display(presenter, nullptr);
    if (!display.IsOpen()) display.Open();
    SpriteSheet list(&display);
    AcceptReaderError([&] { list.LoadFromBytes(data, size); });
}

void FeedWave(const uint8_t* data, size_t size) {
    static WaveWorld world;
    WriteScratchFile(world.file, data, size);
    WaveFormat format;
    std::string problem;
    ReadWave(world.file, format, problem);
}

void FeedMidi(const uint8_t* data, size_t size) {
    MidiStructureValid(data, size);
}

void FeedBanner(const uint8_t* data, size_t size) {
    static BannerWorld world;
    if (size == 0) return;
    const std::string folder = world.programFolder + "song/";
    std::error_code ec;
    std::filesystem::remove(folder + "disk.bmp", ec);
    std::filesystem::remove(folder + "a.bmp", ec);
    std::filesystem::remove(BannerCachePath(folder), ec); // each input builds its banner
    WriteScratchFile(folder + ((data[0] & 1) ? "disk.bmp" : "a.bmp"), data + 1, size - 1);
    AcceptReaderError([&] { world.select->LoadBanner(folder + "1.bms"); });
}

void FeedPng(const uint8_t* data, size_t size) {
    AcceptReaderError([&] { DecodePng(data, size); });
}

void FeedSound(const uint8_t* data, size_t size) {
    WaveFormat format;
    std::string problem;
    DecodeSoundFile(std::vector<uint8_t>(data, data + size), format, problem);
}

void FeedVideo(const uint8_t* data, size_t size) {
    if (!LooksLikeVideo(data, size)) return;
    AcceptReaderError([&] {
        constexpr int W = 40, H = 30;
        std::unique_ptr<VideoDecoder> video = VideoDecoder::OpenMemory(data, size, "fuzz", W, H);
        std::vector<uint16_t> picture(W * H);
        for (int i = 0; i < 300 && video->Next(); ++i)
            video->Convert(picture.data());
    });
}

void FeedTable(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const std::optional<std::string> meta = FindTableMeta(bytes))
        ResolveTableUrl("https://example.org/tables/page.html?x=1", *meta);
    LooksLikeJson(bytes);
    AcceptReaderError([&] { ReadTableHeader(bytes, "https://example.org/t/header.json"); });
    AcceptReaderError([&] {
        TableData table;
        ReadTableData(bytes, table);
    });
}

const std::string& LastReaderError() {
    return lastError;
}

Feeder FeederNamed(const std::string& reader) {
    if (reader == "chart") return FeedChart;
    if (reader == "bmson") return FeedBmson;
    if (reader == "bmp") return FeedBmp;
    if (reader == "dib") return FeedDib;
    if (reader == "jpeg") return FeedJpeg;
    if (reader == "archive") return FeedArchive;
    if (reader == "wav") return FeedWave;
    if (reader == "midi") return FeedMidi;
    if (reader == "banner") return FeedBanner;
    if (reader == "png") return FeedPng;
    if (reader == "sound") return FeedSound;
    if (reader == "video") return FeedVideo;
    if (reader == "play") return FeedPlay;
    if (reader == "table") return FeedTable;
    return nullptr;
}

const std::vector<std::string>& ReaderNames() {
    static const std::vector<std::string> names = {"chart",   "bmson", "bmp",  "dib",    "jpeg",
                                                   "archive", "wav",   "midi", "banner", "png",
                                                   "sound",   "video", "play", "table"};
    return names;
}

} // namespace tappo::fuzz
