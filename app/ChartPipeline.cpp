// The road of a chart from its path to the first play frame, the same for a
// chart named on the command line and for Start on the select screen, in the
// order it is travelled: the loading screen, the compile, the sounds, the
// images, and play.
#include "app/Player.h"
#include "base/Translate.h"

#include "chart/FileLookup.h"
#include "chart/ShiftJis.h"
#include "chart/standard/Lines.h"
#include "files/Files.h"

#include <algorithm>
#include <cstdio>

namespace tappo {

bool Player::StartChart(const std::string& path) {
    // Compiling and loading hold back the frames for a while: the loading
    // screen goes up first. A command-line chart starts before the display
    // exists; its first initialisation shows the screen instead.
    LoadStagePicture(path);
    flow_.Screen = ScreenPlay;
    if (video_.Initialized()) ShowLoadingScreen();
    flow_.ChartActive = true;

    const bool compiled = CompileChart(path);
    // The loading screen of a chart started on the select screen ends here or
    // soon after; a command-line chart's ends with the display's initialisation.
    if (video_.Initialized()) stagePicture_ = Image();
    if (!compiled) return false;
    for (const std::string& problem :
         KeepChartFilesInside(session_.Chart, session_.Header.MidiFileName, session_.SongFolder,
                              ChartFilesRoot(path, songsFolders_)))
        problems_.Report(problem);
    ReportUnreadText(path);

    // Sounds before images: a broken sample or MIDI file is reported and the
    // chart plays without it. Images are surfaces of the display: without
    // one yet, its initialisation loads them (MakeSurfaces). One resolver for
    // every file the chart names: each folder is listed once. Esc during the
    // load leaves play as it does in play.
    FileResolver files;
    const bool images = video_.Initialized() && video_.Visible;
    loadTotal_ = KeysoundFileCount(session_.Chart) + (images ? ImageFileCount(session_.Chart) : 0);
    if (!LoadChartSounds(files) || (video_.Initialized() && !LoadChartImages(files))) {
        LeavePlay();
        return false;
    }

    // Play starts with the next frame: RunFrame runs PlayFrame
    // (play/PlayFrame.cpp), which holds the song until frames come steadily,
    // then starts the song clock and the music at song time 0.
    return true;
}

// The standard reading shows the chart's "#STAGEFILE" behind the loading
// text; a picture that does not read is left out. It is kept as the screen
// shows it, so a large file holds no more than a screenful.
void Player::LoadStagePicture(const std::string& chartPath) {
    stagePicture_ = Image();
    if (!reading_.Standard) return;
    const std::string file = standard::StageFile(chartPath);
    if (file.empty()) return;
    try {
        stagePicture_ = ReadBgaPictureShown(file, video_.Mode.Width, video_.Mode.Height);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappoplayer: %s\n", e.what());
    }
}

void Player::ShowLoadingScreen() {
    DrawLoadingProgress(0, 0);
}

void DrawLoadingBar(Surface& back, int screenWidth, int screenHeight, int done, int total) {
    if (total <= 0) return;
    // A frame of grey with the files done in white, under the text.
    const int x0 = screenWidth / 4, width = screenWidth / 2, y0 = screenHeight / 2 - 12;
    const int filled = int(int64_t(width - 4) * std::clamp(done, 0, total) / total);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < width; ++x) {
            const bool frame = y == 0 || y == 7 || x == 0 || x == width - 1;
            const bool bar = y >= 2 && y <= 5 && x >= 2 && x - 2 < filled;
            if (frame || bar) back.SetPixel(x0 + x, y0 + y, frame ? 0x8410 : 0xFFFF);
        }
}

void Player::DrawLoadingProgress(int done, int total) {
    lastLoadingDraw_ = clock_.NowMs();
    if (video_.CanDraw()) {
        Surface& back = video_.Back();
        back.Fill(0);
        // A chart's stage picture, stretched over the screen, while it loads.
        const bool loadingChart = flow_.Screen == ScreenPlay || flow_.Screen == ScreenPaused;
        if (loadingChart && stagePicture_.Width > 0 && stagePicture_.Height > 0) {
            back.Canvas().CopyRect(Bounds(0, 0, screenWidth_, screenHeight_), stagePicture_,
                                   Bounds(0, 0, stagePicture_.Width, stagePicture_.Height));
            // The text and the bar stand on a band of the picture at a quarter
            // of its brightness, readable on the brightest picture.
            for (int y = screenHeight_ / 2 - 46; y < screenHeight_ / 2; ++y)
                for (int x = 0; x < screenWidth_; ++x)
                    back.SetPixel(x, y, uint16_t((back.Pixel(x, y) >> 2) & 0x39E7));
        }
        WriteCentredText(Tr(TextLoading));
        DrawLoadingBar(back, screenWidth_, screenHeight_, done, total);
    }
    UpdateCursor();
    video_.Flip();
}

bool Player::CompileChart(const std::string& path) {
    // The previous chart's samples and clock go first; the compile resets the
    // chart's own values.
    session_.KeysoundSlots = KeysoundBank();
    play_.SongEnded = false;
    play_.PrevSongTime = play_.SongStartTick = play_.SongTime = 0;
    play_.MidiLoaded = false;
    play_.EventCursors.fill(0);
    play_.LateTime = 0;
    try {
        session_.Install(
            CompileChartFileAs(reading_, path, decimalSeparator_, session_.CarryOver()));
        sound_.SetKeysoundVolume(session_.Chart.KeysoundVolume);
        return true;
    } catch (const CompileError& e) {
        // The header values read before the error stay, as the select screen
        // shows them. The half-built lists are never played: play is left.
        session_.Install(CompiledChart(e.Partial()));
        // The message names the chart and the line the error was met on.
        LeavePlayAfterError(CompileErrorText(path, e));
        return false;
    }
}

void Player::LeavePlayAfterError(const std::string& text) {
    ReportError(text);
    if (songs_.ChartList.empty()) {
        Close(1); // a command-line chart: there is nothing to go back to
    } else {
        flow_.Screen = ScreenSelect;
    }
    flow_.ChartActive = false;
}

namespace {

// Why a chart that compiled holds less than its file: the text ends at a NUL
// byte, or (the exact reading) it is UTF-16, which reads as nothing. Empty
// when neither.
std::string UnreadTextReason(std::string_view bytes, bool standard) {
    std::string converted;
    if (standard) bytes = standard::ChartText(bytes, converted);
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        return Tr("the chart is saved as UTF-16, which only --standard reads: nothing of it plays");
    const size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) return {};
    size_t line = 1;
    for (size_t i = 0; i < nul; ++i)
        line += bytes[i] == '\n' || (bytes[i] == '\r' && i + 1 < nul && bytes[i + 1] != '\n');
    return FormatText(Tr("the chart text ends at a NUL byte on line %s: nothing after it plays"),
                      std::to_string(line));
}

} // namespace

void Player::ReportUnreadText(const std::string& path) {
    std::string reason;
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(path);
        reason = UnreadTextReason(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
            reading_.Standard);
    } catch (const std::exception&) {
        return; // the compile has just read it; a file gone since says nothing
    }
    if (!reason.empty()) ReportError(ChartTextToUtf8(path) + ": " + reason);
}

// Keysounds, then music. A sample that fails to load plays nothing, and music
// that cannot be opened is left out: the chart is played without it.
bool Player::LoadChartSounds(FileResolver& files) {
    try {
        const auto progress = [this](int done, int) { return LoadProgress(done, loadTotal_); };
        if (!LoadKeysounds(session_.KeysoundSlots, session_.Chart, sound_, programFolder_, files,
                           progress))
            return false;
    } catch (const std::exception& e) {
        ReportError(std::string(Tr(TextWaveLoadFailed)) + "\n" + e.what());
    }
    if (session_.Header.MidiFileName.empty()) return true;
    try {
        LoadMidi(music_, session_.SongFolder, session_.Header.MidiFileName);
        play_.MidiLoaded = true;
    } catch (const std::exception& e) {
        if (reading_.Standard) problems_.Report(e.what());
        ReportError(std::string(Tr(TextMidiLoadFailed)) + "\n" + e.what());
    }
    return true;
}

// A broken image is reported and the others are shown. A display nobody sees
// (an offline render) needs no images. The bar goes on from the sounds
// counted in loadTotal_.
bool Player::LoadChartImages(FileResolver& files) {
    if (!video_.Visible) return true;
    bool finished = true;
    const int soundsDone = loadTotal_ - ImageFileCount(session_.Chart);
    // The standard reading also names every picture that did not load in the
    // problem log, as the sounds are; the box shows the first.
    std::vector<std::string> problems;
    Guarded([&] {
        finished = LoadBgaImages(
            session_.BgaSurfaces, session_.Chart, video_, session_.GameState.BgaLayerImage, files,
            [this](int done, int total) { return LoadProgress(done, total); }, soundsDone,
            loadTotal_, PictureBudgetBytes, reading_.Standard ? &problems : nullptr,
            reading_.Standard ? &session_.BgaVideos : nullptr);
    });
    for (const std::string& problem : problems)
        problems_.Report(problem);
    if (finished)
        OpenLayerVideos(session_.Chart, video_, session_.BgaVideos, session_.LayerSurfaces,
                        session_.LayerVideos);
    return finished;
}

bool Player::LoadProgress(int done, int total) {
    // A few pictures a second: drawing each of hundreds of files would cost more
    // than loading them.
    if (total > 0 && clock_.NowMs() - lastLoadingDraw_ >= 100) DrawLoadingProgress(done, total);
    return !keepLoading_ || keepLoading_();
}

} // namespace tappo
