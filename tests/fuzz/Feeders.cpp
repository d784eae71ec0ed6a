#include "tests/fuzz/Feeders.h"

#include "chart/Compiler.h"
#include "chart/HeaderScan.h"
#include "chart/Lines.h"
#include "files/Files.h"
#include "formats/Midi.h"
#include "platform/Display.h"
#include "base/Errors.h"
#include "platform/ImageList.h"
#include "platform/Music.h"
#include "formats/Picture.h"
#include "formats/Png.h"
#include "formats/SoundFile.h"
#include "platform/Sound.h"
#include "platform/Timer.h"
#include "play/ScreenServices.h"
#include "select/SelectScreen.h"
#include "tools/Assets.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>

namespace tappo::fuzz {
namespace {

template <typename F> void AcceptReaderError(F&& f) {
    try {
        f();
    } catch (const TError&) {
    }
}

// A program folder with the real assets and one song folder, made once per
// process in the temporary folder and removed at exit.
struct TBannerWorld {
    std::string root;
    std::string programFolder, songsFolder;
    THeadlessPresenter presenter;
    TDXDraw display{presenter, nullptr};
    TDXImageList images{&display};
    TVirtualClock clock;
    TDXTimer timer{clock};
    TWarp warp;
    TScreenServices screen{display, images, timer, warp};
    TDXInput input;
    TSongList songs;
    TPlayToggles toggles;
    TChartSession session;
    std::unique_ptr<TSelectScreen> select;

    TBannerWorld() {
        std::string templ = (std::filesystem::temp_directory_path() / "tappo-fuzz-XXXXXX").string();
        root = mkdtemp(templ.data());
        programFolder = root + "/";
        tools::WriteProgramAssets(programFolder);
        std::filesystem::create_directories(programFolder + "song");
        WriteFileAtomic(programFolder + "song/1.bms",
                        {'#', 'T', 'I', 'T', 'L', 'E', ' ', 'x', '\n'});
        display.Initialize();
        select = std::make_unique<TSelectScreen>(screen, input, songs, toggles, session, programFolder,
                                                 songsFolder, nullptr, nullptr);
        select->BannerSurface = std::make_unique<TDirectDrawSurface>(&display);
    }
    ~TBannerWorld() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

} // namespace

void FeedChart(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TGameState state;
    TChartHeader header;
    AcceptReaderError([&] { ScanChartHeaderLines(SplitChartLines(text), state, header, '.'); });
    AcceptReaderError([&] { CompileChart(text, "/nonexistent/song/chart.bms", '.'); });
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
    static THeadlessPresenter presenter;
    static TDXDraw display(presenter, nullptr);
    if (!display.Initialized()) display.Initialize();
    TDXImageList list(&display);
    AcceptReaderError([&] { list.LoadFromBytes(data, size); });
}

void FeedWave(const uint8_t* data, size_t size) {
    TWaveFormat format;
    std::string problem;
    DecodeWave(std::vector<uint8_t>(data, data + size), format, problem);
}

void FeedMidi(const uint8_t* data, size_t size) {
    MidiStructureValid(data, size);
}

void FeedBanner(const uint8_t* data, size_t size) {
    static TBannerWorld world;
    if (size == 0) return;
    const std::string folder = world.programFolder + "song/";
    std::error_code ec;
    std::filesystem::remove(folder + "disk.bmp", ec);
    std::filesystem::remove(folder + "a.bmp", ec);
    const std::vector<uint8_t> bytes(data + 1, data + size);
    WriteFileAtomic(folder + ((data[0] & 1) ? "disk.bmp" : "a.bmp"), bytes);
    AcceptReaderError([&] { world.select->LoadBanner(folder + "1.bms"); });
}

void FeedPng(const uint8_t* data, size_t size) {
    AcceptReaderError([&] { DecodePng(data, size); });
}

void FeedSound(const uint8_t* data, size_t size) {
    TWaveFormat format;
    std::string problem;
    DecodeSoundFile(std::vector<uint8_t>(data, data + size), format, problem);
}

TFeeder FeederNamed(const std::string& reader) {
    if (reader == "chart") return FeedChart;
    if (reader == "bmp") return FeedBmp;
    if (reader == "dib") return FeedDib;
    if (reader == "jpeg") return FeedJpeg;
    if (reader == "archive") return FeedArchive;
    if (reader == "wav") return FeedWave;
    if (reader == "midi") return FeedMidi;
    if (reader == "banner") return FeedBanner;
    if (reader == "png") return FeedPng;
    if (reader == "sound") return FeedSound;
    return nullptr;
}

const std::vector<std::string>& ReaderNames() {
    static const std::vector<std::string> names = {"chart", "bmp",  "dib",    "jpeg", "archive",
                                                   "wav",   "midi", "banner", "png",  "sound"};
    return names;
}

} // namespace tappo::fuzz
