#include "app/ChartLoader.h"

#include "chart/ShiftJis.h"
#include "files/Files.h"

#include <algorithm>
#include <cstdio>

namespace tappo {

std::string CompileErrorText(const std::string& path, const CompileError& e) {
    std::string text = e.what();
    if (text.find(path) != std::string::npos ||
        text.find(ChartTextToUtf8(path)) != std::string::npos)
        return text;
    const std::string line = e.Line() > 0 ? ":" + std::to_string(e.Line()) : std::string();
    return ChartTextToUtf8(path) + line + ": " + text;
}

std::optional<ScreenOutcome> ChartLoader::Load(const std::string& path) {
    // Compiling and loading hold back the frames for a while: the loading
    // screen goes up first. A command-line chart starts before the display
    // exists; its first opening shows the screen instead.
    LoadStagePicture(path);
    if (p_.Video.IsOpen()) ShowLoadingScreen();

    const bool compiled = CompileChart(path);
    // The loading screen of a chart started on the select screen ends here or
    // soon after; a command-line chart's ends with the display's opening.
    if (p_.Video.IsOpen()) stagePicture_ = Image();
    if (!compiled) return ScreenOutcome::LoadFailed;
    for (const std::string& problem :
         KeepChartFilesInside(p_.Session.Chart, p_.Session.Header.MidiFileName,
                              p_.Session.SongFolder, ChartFilesRoot(path, p_.SongsFolders)))
        p_.Problems.Report(problem);
    ReportUnreadText(path);

    // Sounds before images: a broken sample or MIDI file is reported and the
    // chart plays without it. Images are surfaces of the display: without
    // one yet, its opening loads them (LoadImagesOnDisplay). One resolver for
    // every file the chart names: each folder is listed once. Esc during the
    // load leaves play as it does in play.
    filesRoot_ = ChartFilesRoot(path, p_.SongsFolders);
    FileResolver files(filesRoot_);
    const bool images = p_.Video.IsOpen() && p_.Video.Visible;
    const ChartData& chart = p_.Session.Chart;
    loadTotal_ = KeysoundFileCount(chart) + (images ? ImageFileCount(chart) : 0);
    if (!LoadChartSounds(files) || (p_.Video.IsOpen() && !LoadChartImages(files)))
        return ScreenOutcome::LeaveAsked;

    // Play starts with the next frame: the play screen (play/PlayFrame.cpp)
    // holds the song until frames come steadily, then starts the song clock
    // and the music at song time 0.
    return std::nullopt;
}

void ChartLoader::LoadImagesOnDisplay() {
    FileResolver files(filesRoot_);
    loadTotal_ = ImageFileCount(p_.Session.Chart);
    LoadChartImages(files);
    // A command-line chart's load ends here: its loading screen is gone.
    stagePicture_ = Image();
}

// The standard reading shows the chart's "#STAGEFILE" behind the loading
// text; a picture that does not read is left out. It is kept as the screen
// shows it, so a large file holds no more than a screenful.
void ChartLoader::LoadStagePicture(const std::string& chartPath) {
    stagePicture_ = Image();
    const std::string file = p_.Reading.StageFileOf(chartPath);
    if (file.empty()) return;
    try {
        stagePicture_ = ReadBgaPictureShown(file, p_.Video.Mode.Width, p_.Video.Mode.Height);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappoplayer: %s\n", e.what());
    }
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

void ChartLoader::DrawLoadingProgress(int done, int total) {
    Display& video = p_.Video;
    lastLoadingDraw_ = p_.Clock.NowMs();
    if (video.CanDraw()) {
        const int width = video.Mode.Width, height = video.Mode.Height;
        Surface& back = video.Back();
        back.Fill(0);
        // A chart's stage picture, stretched over the screen, while it loads.
        const bool loadingChart = p_.Flow.Screen == ScreenPlay || p_.Flow.Screen == ScreenPaused;
        if (loadingChart && stagePicture_.Width > 0 && stagePicture_.Height > 0) {
            back.Canvas().CopyRect(Bounds(0, 0, width, height), stagePicture_,
                                   Bounds(0, 0, stagePicture_.Width, stagePicture_.Height));
            // The text and the bar stand on a band of the picture at a quarter
            // of its brightness, readable on the brightest picture.
            for (int y = height / 2 - 46; y < height / 2; ++y)
                for (int x = 0; x < width; ++x)
                    back.SetPixel(x, y, uint16_t((back.Pixel(x, y) >> 2) & 0x39E7));
        }
        WriteCentredText(back, width, height, Tr(TextLoading));
        DrawLoadingBar(back, width, height, done, total);
    }
    video.Presenter().SetCursorVisible(!video.FullScreen);
    video.Present();
}

bool ChartLoader::CompileChart(const std::string& path) {
    // The previous chart's samples and clock go first; the compile resets the
    // chart's own values.
    ChartSession& session = p_.Session;
    PlayState& play = p_.Play;
    session.KeysoundSlots = KeysoundBank();
    play.SongEnded = false;
    play.PrevSongTime = play.SongStartTick = play.SongTime = 0;
    play.MidiLoaded = false;
    play.EventCursors.fill(0);
    play.LateTime = 0;
    play.Loop = PlayLoop{}; // a loop's marks belong to the chart they were set in
    try {
        session.Install(CompileChartFileAs(p_.Reading, path, p_.Reading.Options.DecimalSeparator,
                                           session.CarryOver()));
        p_.Sound.SetKeysoundVolume(session.Chart.KeysoundVolume);
        return true;
    } catch (const CompileError& e) {
        // The header values read before the error stay, as the select screen
        // shows them. The half-built lists are never played: play is left.
        session.Install(CompiledChart(e.Partial()));
        // The message names the chart and the line the error was met on.
        p_.ReportError(CompileErrorText(path, e));
        return false;
    }
}

void ChartLoader::ReportUnreadText(const std::string& path) {
    std::string reason;
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(path);
        reason = p_.Reading.UnreadTextReason(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const std::exception&) {
        return; // the compile has just read it; a file gone since says nothing
    }
    if (!reason.empty()) p_.ReportError(ChartTextToUtf8(path) + ": " + reason);
}

// Keysounds, then music. A sample that fails to load plays nothing, and music
// that cannot be opened is left out: the chart is played without it.
bool ChartLoader::LoadChartSounds(FileResolver& files) {
    ChartSession& session = p_.Session;
    try {
        const auto progress = [this](int done, int) { return LoadProgress(done, loadTotal_); };
        if (!LoadKeysounds(session.KeysoundSlots,
                           {session.Chart, p_.Sound, p_.ProgramFolder, files}, progress))
            return false;
    } catch (const std::exception& e) {
        p_.ReportError(std::string(Tr(TextWaveLoadFailed)) + "\n" + e.what());
    }
    if (session.Header.MidiFileName.empty()) return true;
    try {
        LoadMidi(p_.Music, session.SongFolder, session.Header.MidiFileName);
        p_.Play.MidiLoaded = true;
    } catch (const std::exception& e) {
        if (p_.Reading.LogsProblems()) p_.Problems.Report(e.what());
        p_.ReportError(std::string(Tr(TextMidiLoadFailed)) + "\n" + e.what());
    }
    return true;
}

// A broken image is reported and the others are shown. A display nobody sees
// (an offline render) needs no images. The bar goes on from the sounds
// counted in loadTotal_.
bool ChartLoader::LoadChartImages(FileResolver& files) {
    if (!p_.Video.Visible) return true;
    ChartSession& session = p_.Session;
    bool finished = true;
    const int soundsDone = loadTotal_ - ImageFileCount(session.Chart);
    // The standard reading also names every picture that did not load in the
    // problem log, as the sounds are; the box shows the first.
    std::vector<std::string> problems;
    try {
        finished = LoadBgaImages(
            BgaLoad{.Surfaces = session.BgaSurfaces,
                    .Chart = session.Chart,
                    .Screen = p_.Video,
                    .LayerImage = session.GameState.BgaLayerImage,
                    .Files = files,
                    .Progress = [this](int done, int total) { return LoadProgress(done, total); },
                    .DoneBefore = soundsDone,
                    .Total = loadTotal_,
                    .Problems = p_.Reading.LogsProblems() ? &problems : nullptr,
                    .Videos = p_.Reading.PlaysVideos() ? &session.BgaVideos : nullptr});
    } catch (const std::exception& e) {
        p_.ReportError(e.what());
    }
    for (const std::string& problem : problems)
        p_.Problems.Report(problem);
    if (finished)
        OpenLayerVideos(session.Chart, p_.Video, session.BgaVideos, session.LayerSurfaces,
                        session.LayerVideos);
    return finished;
}

bool ChartLoader::LoadProgress(int done, int total) {
    // A few pictures a second: drawing each of hundreds of files would cost more
    // than loading them.
    if (total > 0 && p_.Clock.NowMs() - lastLoadingDraw_ >= 100) DrawLoadingProgress(done, total);
    return !p_.KeepLoading || p_.KeepLoading();
}

} // namespace tappo
