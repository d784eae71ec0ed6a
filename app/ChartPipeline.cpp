// The road of a chart from its path to the first play frame, the same for a
// chart named on the command line and for Start on the select screen.
#include "app/Player.h"
#include "base/Translate.h"

#include "chart/FileLookup.h"
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
    Flow.Screen = ScreenPlay;
    if (Video.Initialized()) ShowLoadingScreen();
    Flow.ChartActive = true;
    const bool compiled = CompileChart(path);
    // The loading screen of a chart started on the select screen ends here or
    // soon after; a command-line chart's ends with the display's initialisation.
    if (Video.Initialized()) stagePicture_ = Image();
    if (!compiled) return false;
    ReportUnreadText(path);
    // One resolver for every file the chart names: each folder is listed once.
    FileResolver files;
    const bool images = Video.Initialized() && Video.Visible;
    loadTotal_ = KeysoundFileCount(Session.Chart) + (images ? ImageFileCount(Session.Chart) : 0);
    // Sounds before images: a broken sample or MIDI file is reported and the
    // chart plays without it. Images are surfaces of the display. Without one
    // yet, its initialisation loads them, as it does again after every
    // re-initialisation (F3). Esc during the load leaves play as it does in play.
    if (!LoadChartMedia(files) || (Video.Initialized() && !LoadBgaImages(files))) {
        LeaveKey(Key::Escape);
        return false;
    }
    // Play starts with the next frame, which runs PlayFrame.
    return true;
}

bool Player::LoadProgress(int done, int total) {
    // A few pictures a second: drawing each of hundreds of files would cost more
    // than loading them.
    if (total > 0 && clock_.NowMs() - lastLoadingDraw_ >= 100) DrawLoadingProgress(done, total);
    return !keepLoading_ || keepLoading_();
}

bool Player::CompileChart(const std::string& path) {
    // The previous chart's samples and clock go first; the compile resets the
    // chart's own values.
    FreeKeysounds(Session.KeysoundSlots);
    Play.SongEnded = false;
    Play.PrevSongTime = Play.SongStartTick = Play.SongTime = 0;
    Play.MidiLoaded = false;
    Play.EventCursors.fill(0);
    Play.LateTime = 0;
    try {
        Session.Install(CompileChartFileAs(Reading, path, DecimalSeparator, Session.CarryOver()));
        Sound.SetKeysoundVolume(Session.Chart.KeysoundVolume);
        return true;
    } catch (const CompileError& e) {
        // The header values read before the error stay, as the select screen
        // shows them. The half-built lists are never played: play is left.
        Session.Install(CompiledChart(e.Partial()));
        // The message names the chart and the line the error was met on.
        LeavePlayAfterError(CompileErrorText(path, e));
        return false;
    }
}

// The standard reading shows the chart's "#STAGEFILE" behind the loading
// text; a picture that does not read is left out. It is kept as the screen
// shows it, so a large file holds no more than a screenful.
void Player::LoadStagePicture(const std::string& chartPath) {
    stagePicture_ = Image();
    if (!Reading.Standard) return;
    const std::string file = standard::StageFile(chartPath);
    if (file.empty()) return;
    try {
        stagePicture_ = ReadBgaPictureShown(file, Video.Mode.Width, Video.Mode.Height);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappoplayer: %s\n", e.what());
    }
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
            Reading.Standard);
    } catch (const std::exception&) {
        return; // the compile has just read it; a file gone since says nothing
    }
    if (!reason.empty()) ReportError(PathInMessage(path) + ": " + reason);
}

void Player::LeavePlayAfterError(const std::string& text) {
    ReportError(text);
    if (Songs.ChartList.empty()) {
        Close(1); // a command-line chart: there is nothing to go back to
    } else {
        Flow.Screen = ScreenSelect;
    }
    Flow.ChartActive = false;
}

// Keysounds, then music. A sample that fails to load plays nothing, and music
// that cannot be opened is left out: the chart is played without it.
bool Player::LoadChartMedia(FileResolver& files) {
    try {
        const auto progress = [this](int done, int) { return LoadProgress(done, loadTotal_); };
        if (!LoadKeysounds(Session.KeysoundSlots, Session.Chart, Sound, ProgramFolder, files,
                           progress))
            return false;
    } catch (const std::exception& e) {
        ReportError(std::string(Tr(TextWaveLoadFailed)) + "\n" + e.what());
    }
    if (Session.Header.MidiFileName.empty()) return true;
    try {
        LoadMidi(Music, Session.SongFolder, Session.Header.MidiFileName);
        Play.MidiLoaded = true;
    } catch (const std::exception& e) {
        if (Reading.Standard) Sound.Log().Report(e.what());
        ReportError(std::string(Tr(TextMidiLoadFailed)) + "\n" + e.what());
    }
    return true;
}

// A broken image is reported and the others are shown. A display nobody sees
// (an offline render) needs no images.
void Player::LoadBgaImages() {
    FileResolver files;
    loadTotal_ = ImageFileCount(Session.Chart);
    LoadBgaImages(files);
}

bool Player::LoadBgaImages(FileResolver& files) {
    if (!Video.Visible) return true;
    bool finished = true;
    const int soundsDone = loadTotal_ - ImageFileCount(Session.Chart);
    // The standard reading also names every picture that did not load in the
    // problem log, as the sounds are; the box shows the first.
    std::vector<std::string> problems;
    Guarded([&] {
        finished = tappo::LoadBgaImages(
            Session.BgaSurfaces, Session.Chart, Video, Session.GameState.BgaLayerImage, files,
            [this](int done, int total) { return LoadProgress(done, total); }, soundsDone,
            loadTotal_, PictureBudgetBytes, Reading.Standard ? &problems : nullptr,
            Reading.Standard ? &Session.BgaVideos : nullptr);
    });
    for (const std::string& problem : problems)
        Sound.Log().Report(problem);
    return finished;
}

} // namespace tappo
