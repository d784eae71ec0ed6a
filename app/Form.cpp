#include "app/Form.h"

#include "app/CommandLine.h"
#include "chart/Convert.h"
#include "chart/HeaderScan.h"
#include "media/Errors.h"

#include <algorithm>
#include <filesystem>

namespace tappo {

TForm1::TForm1(const TFormServices& services)
    : DXDraw1(services.Presenter, services.Fonts), DXTimer1(services.Clock),
      DXImageList1(&DXDraw1),
      DDSD1(services.SoundOutput, services.ProgramFolder + "ddsd.debug", services.AudioBufferFrames),
      ProgramFolder(services.ProgramFolder),
      SongsFolder(services.SongsFolder.empty() ? services.ProgramFolder : services.SongsFolder),
      DecimalSeparator(LocaleDecimalSeparator()),
      Scene{GameMode, ChartActive, Songs.ChartList, Play, Toggles, GameState, Chart, KeysoundSlots,
            BgaSurfaces, DDSD1, MediaPlayer1, DXInput1, DXDraw1, DXTimer1, services.Clock, TRect{},
            nullptr, nullptr, nullptr, nullptr, nullptr},
      NoteField{DXDraw1, DXImageList1, ArrowSprites, Warp, DXTimer1, GameMode, Play, Toggles,
                GameState, Header, Chart},
      Select{DXDraw1, DXImageList1, Warp, DXInput1, Songs, Toggles, Header, GameState, ProgramFolder,
             SongsFolder, SongFolder, BannerSurface, PrevBannerSurface, nullptr, nullptr, 0, "", "", {}},
      messages_(services.Messages) {
    Select.ScanChartHeader = [this](const std::string& path) { ScanChartHeader(path); };
    Select.StartPlay = [this](const std::string& path) { StartChartFromSelect(path); };
    Scene.Close = [this] { Close(); };
    Scene.DrawBackground = [this] { NoteField.DrawBackground(); };
    Scene.DrawOverlay = [this] { NoteField.DrawOverlay(); };
    Scene.DrawNoteField = [this] { NoteField.DrawReceptorsAndArrows(); };
    DDSD1.AddSource(&MediaPlayer1);
    DXInput1.Keyboard.Source = services.Keys;
    DXInput1.Joystick.Source = services.Joystick;
    SearchFile1.Directory = SongsFolder;
    SearchFile1.SearchName = "*.bms";
    SearchFile1.Recursive = true;
    SearchFile1.OnFind = [this](const std::string& name, const TSearchFileData& data, bool& c) {
        SearchFile1Find(name, data, c);
    };
    DXDraw1.SetOptions(FormDrawOptions);
    DXDraw1.OnInitialize = [this] { DXDraw1Initialize(); };
    DXDraw1.OnFinalize = [this] { DXDraw1Finalize(); };
    DXTimer1.ActiveOnly = true;
    DXTimer1.Interval = 0;
    DXTimer1.OnTimer = [this](int lag) { DXTimer1Timer(lag); };
}

TForm1::~TForm1() {
    // Surfaces made on the display go before the display itself.
    DXDraw1.Finalize();
    DDSD1.RemoveSource(&MediaPlayer1);
}

void TForm1::FormCreate(const std::vector<std::string>& args) {
    UpdateCursor();
    if (ProgramFolder.empty()) ProgramFolder = ExecutableFolder();
    // The player cannot run without its sprite archive and warp picture: these
    // failures end start-up with the file named.
    try {
        DXImageList1.LoadFromFile(ProgramFolder + "tappoplay.dxg");
        Warp.InitWarp(ProgramFolder);
    } catch (const TError& e) {
        throw EStartupError(e.what());
    }
    Songs.ChartList.clear();
    Chart.Events.CreateEventLists();
    // Command line: only the first argument counts.
    if (args.empty()) {
        GameMode = ModeSelect;
        ChartActive = false;
    } else {
        if (!HasChartExtension(args[0])) {
            GameMode = ModeNotChart;
        } else {
            GameMode = ModePlay;
            ChartActive = true;
            StartChart(args[0]);
        }
    }
    Songs.SlideDirection = 1;
    Toggles = TPlayToggles{};
    Songs.ChartIndex = 0;
    ScreenHeight = DXDraw1.Display.Height;
    ScreenWidth = DXDraw1.Display.Width;
    FullScreenRect = TRect{0, 0, ScreenWidth, ScreenHeight};
    Scene.FullScreenRect = FullScreenRect;
}

void TForm1::FormShow() {
    if (!DXDraw1.InitializeRequested()) DXDraw1.Initialize();
}

void TForm1::DXDraw1Initialize() {
    ShowLoadingScreen();
    ShowLoadingScreen();
    if (ChartActive) {
        // A broken image is reported; the rest of the initialisation goes on.
        // A display nobody sees (an offline render) needs no images.
        if (DXDraw1.Visible) Guarded([&] { LoadBgaImages(); });
    } else {
        SearchCharts();
        if (Songs.ChartList.empty()) {
            if (GameMode != ModeNotChart) GameMode = ModeNoCharts;
        } else {
            // A chart with a broken header is reported; start-up goes on.
            // The header of the chart the select screen shows: after a display
            // re-initialisation that is not always the first one.
            Guarded([&] { ScanChartHeader(Songs.ChartList[size_t(Songs.ChartIndex)]); });
        }
    }
    for (auto* banner : {&BannerSurface, &PrevBannerSurface}) {
        *banner = std::make_unique<TDirectDrawSurface>(&DXDraw1);
        (*banner)->SetColorKey(0);
        (*banner)->SetSize(80, 52);
    }
    try {
        ArrowSprites.LoadArrowSprites(DXDraw1, ProgramFolder);
    } catch (const TError& e) {
        throw EStartupError(e.what());
    }
    if (GameMode == ModeSelect && !Songs.ChartList.empty())
        Guarded([&] { LoadBanner(Songs.ChartList[size_t(Songs.ChartIndex)]); });
    DXTimer1.SetEnabled(true);
}

void TForm1::DXDraw1Finalize() {
    for (auto& surface : BgaSurfaces) surface.reset();
    ArrowSprites.Free();
    BannerSurface.reset();
    PrevBannerSurface.reset();
}

void TForm1::DXTimer1Timer(int) {
    ++framesRun_;
    switch (GameMode) {
    case ModeNoCharts:
    case ModeNotChart: DrawErrorScreen(); break;
    case ModeSelect: SelectFrame(); break;
    case ModePlay:
    case ModePaused: PlayFrame(); break;
    default: break;
    }
    if (HasOption(DXDraw1.Options(), doFullScreen))
        DXDraw1.Presenter().MovePointer(ScreenWidth / 2, ScreenHeight / 2);
    DXDraw1.Flip();
}

void TForm1::FormKeyDown(int key) {
    switch (key) {
    case vk::PageUp: ++Play.LateTime; break;
    case vk::PageDown: --Play.LateTime; break;
    case vk::F1: Toggles.ShowFps = !Toggles.ShowFps; break;
    case vk::F2: Toggles.ShowBga = !Toggles.ShowBga; break;
    case vk::F3:
        // Re-making the display needs a steady frame rate first.
        if (DXTimer1.FrameRate() >= StartGateFrameRate) ToggleFullScreen();
        break;
    case vk::F4: {
        const int32_t tick = int32_t(Scene.Clock.GetTickCount());
        if (GameMode == ModePlay) {
            GameMode = ModePaused;
            Play.PauseTick = tick;
            StopEverything(Scene);
        } else if (GameMode == ModePaused) {
            GameMode = ModePlay;
            Play.SongStartTick += tick - Play.PauseTick;
        }
        break;
    }
    case vk::F5:
        if (GameMode > 0) {
            StopEverything(Scene);
            Play.SongStartTick = int32_t(Scene.Clock.GetTickCount());
            Play.EventCursors.fill(0);
            GameMode = ModePlay;
        }
        break;
    case vk::F6: Toggles.StepTickOn = !Toggles.StepTickOn; break;
    case vk::F7: Toggles.WarpInPlay = !Toggles.WarpInPlay; break;
    default: break;
    }
}

void TForm1::FormKeyPress(char key) {
    if (key != 27) return;
    // Esc: leave play, or end the program where there is nothing to go back to.
    if (Songs.ChartList.empty() || !ChartActive) Close();
    GameMode = ModeSelect;
    ChartActive = false;
    for (int c = 0; c < DDSD1.ChannelCount(); ++c)
        if (DDSD1.ChannelStatus(c) == 1) DDSD1.StopChannel(c);
    if (Play.MidiLoaded) MediaPlayer1.Stop();
}

void TForm1::ToggleFullScreen() {
    DXDraw1.Finalize();
    DXDraw1.SetOptions(DXDraw1.Options() ^ OptionBit(doFullScreen));
    DXDraw1.Initialize();
}

void TForm1::FormDestroy() {
    FreeKeysounds(KeysoundSlots);
    MediaPlayer1.Close();
    Chart.Events.ClearEventLists();
    Chart.Events.FreeEventLists();
    Songs.ChartList.clear();
    Warp.FreeWarp();
    DXDraw1.Presenter().SetCursorVisible(true);
}

void TForm1::WriteCentredText(const char* text) {
    TDirectDrawSurfaceCanvas& canvas = DXDraw1.Surface().Canvas();
    canvas.Font.Name = "MS Serif";
    canvas.Font.Size = ScreenWidth / 32;
    canvas.Font.Color = 0xFFFFFF;
    canvas.BrushTransparent = true;
    canvas.TextOut((ScreenWidth - canvas.TextWidth(text)) / 2, ScreenHeight / 2 - 40, text);
}

void TForm1::ShowLoadingScreen() {
    if (DXDraw1.CanDraw()) {
        DXDraw1.Surface().Fill(0);
        WriteCentredText(TextLoading);
        DXDraw1.Surface().Canvas().Release();
    }
    UpdateCursor();
    DXDraw1.Flip();
}

void TForm1::DrawErrorScreen() {
    Warp.UpdateWarp();
    TDirectDrawSurfaceCanvas& canvas = DXDraw1.Surface().Canvas();
    canvas.Draw(0, 0, Warp.WarpImage);
    WriteCentredText(GameMode == ModeNoCharts ? TextNoCharts : TextNotChart);
    canvas.Release();
}

void TForm1::UpdateCursor() {
    DXDraw1.Presenter().SetCursorVisible(!HasOption(DXDraw1.Options(), doFullScreen));
}

// ---- hooks filled in by the chart, play and select screens ----

void TForm1::SelectFrame() { Select.SelectFrame(); }

// Button1 on the select screen.
void TForm1::StartChartFromSelect(const std::string& path) {
    ShowLoadingScreen();
    ShowLoadingScreen();
    GameMode = ModePlay;
    ChartActive = true;
    if (StartChart(path)) Guarded([&] { LoadBgaImages(); });
}

void TForm1::PlayFrame() { tappo::PlayFrame(Scene); }

bool TForm1::StartChart(const std::string& path) {
    try {
        CompileChart(path);
        return true;
    } catch (const EStartupError&) {
        throw;
    } catch (const std::exception& e) {
        // A half-built chart is never played: its lists are incomplete and unsorted.
        ReportError(e.what());
        if (Songs.ChartList.empty()) {
            Close(1);
        } else {
            GameMode = ModeSelect;
        }
        ChartActive = false;
        return false;
    }
}

void TForm1::CompileChart(const std::string& path) {
    // The play state of the previous chart goes first; the compiler resets its own.
    FreeKeysounds(KeysoundSlots);
    Play.SongEnded = false;
    Play.PrevSongTime = Play.SongStartTick = Play.SongTime = 0;
    Play.MidiLoaded = false;
    Play.EventCursors.fill(0);
    Play.LateTime = 0;
    TCompileTarget target{GameState, Header, Chart, SongFolder, DecimalSeparator};
    tappo::CompileChart(path, target);
    LoadChartMedia();
}

void TForm1::ScanChartHeader(const std::string& path) {
    tappo::ScanChartHeader(path, GameState, Header, DecimalSeparator);
}

// Keysounds, then music. A sample that fails to load plays nothing, and music
// that cannot be opened is left out: the chart is played without it.
void TForm1::LoadChartMedia() {
    try {
        LoadKeysounds(KeysoundSlots, Chart, DDSD1, ProgramFolder);
    } catch (const std::exception& e) {
        ReportError(std::string(TextWaveLoadFailed) + "\n" + e.what());
    }
    if (Header.MidiFileName.empty()) return;
    try {
        LoadMidi(MediaPlayer1, SongFolder, Header.MidiFileName);
        Play.MidiLoaded = true;
    } catch (const std::exception& e) {
        ReportError(std::string(TextMidiLoadFailed) + "\n" + e.what());
    }
}

void TForm1::LoadBgaImages() {
    tappo::LoadBgaImages(BgaSurfaces, Chart, DXDraw1, GameState.BgaLayerImage);
}
// The chart search runs again at every display initialisation; the list is
// made anew each time so it never holds a chart twice.
void TForm1::SearchCharts() {
    Songs.ChartList.clear();
    SearchFile1.Search();
    if (Songs.ChartIndex >= int32_t(Songs.ChartList.size())) Songs.ChartIndex = 0;
}

// A folder named like a chart cannot be played: only files go on the list.
void TForm1::SearchFile1Find(const std::string& name, const TSearchFileData& data, bool&) {
    if (!data.IsDirectory) Songs.ChartList.push_back(name);
}
void TForm1::LoadBanner(const std::string& path) { Select.LoadBanner(path); }

} // namespace tappo
