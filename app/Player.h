// The player: start-up, the per-frame dispatch on the game mode, the
// loading and error screens, and shutdown. It owns the display, the frame timer,
// the sprite list and the shared state every screen reads and writes.
#pragma once

#include "app/VolumeBand.h"
#include "base/Errors.h"
#include "chart/CompiledChart.h"
#include "chart/FileLookup.h"
#include "chart/GameState.h"
#include "chart/Reading.h"
#include "chart/standard/Convert.h"
#include "effects/Warp.h"
#include "files/FileSearch.h"
#include "media/ChartSession.h"
#include "media/Media.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/Music.h"
#include "platform/Platform.h"
#include "platform/Sound.h"
#include "platform/SpriteSheet.h"
#include "platform/Timer.h"
#include "play/ArrowSprites.h"
#include "play/NoteField.h"
#include "play/PlayFrame.h"
#include "play/PlayState.h"
#include "play/ScreenServices.h"
#include "select/SelectScreen.h"
#include "select/SongList.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tappo {

// What the player is given by the program entry (or a test).
struct PlayerServices {
    TickSource& Clock;
    FramePresenter& Presenter;
    MessageBox& Messages;
    TextRenderer* Fonts = nullptr;
    std::string ProgramFolder; // with trailing separator
    // Where charts are searched, in this order; empty: the program folder.
    std::vector<std::string> SongsFolders;
    MixerOutput SoundOutput = MixerOutput::Pull;
    int AudioBufferFrames = 512;
    KeySource* Keys = nullptr;
    JoystickSource* Joystick = nullptr;
    // The caller mixes in step with `Clock` from its current tick (headless
    // runs, offline renders): sounds start at the exact mix frame of their time.
    bool MixFollowsClock = false;
    // Between two files of a chart's load: lets the desktop handle its events
    // (the window stays responsive) and returns false when the user asked to
    // stop the load (Esc). Headless runs have none.
    std::function<bool()> KeepLoading = {};
    int Volume = 100; // master volume, 0-100
};

// A start-up failure the program cannot run without (a missing asset).
class StartupError : public Error {
  public:
    using Error::Error;
};

inline constexpr const char* TextNoCharts = ForCatalogue("BMS ファイルがありません");
inline constexpr const char* TextNotChart = ForCatalogue("BMS ファイルではありません");
// Said after TextNotChart of a ".bme", ".bml" or ".pms" file in the exact reading.
inline constexpr const char* TextReadWithStandard =
    ForCatalogue("(this chart is read with --standard)");
inline constexpr const char* TextLoading = ForCatalogue("Now Loading ...");
inline constexpr const char* TextNoSongsFolder = ForCatalogue("フォルダがありません");
// A path as messages show it: names stored as Shift-JIS bytes are converted.
std::string PathInMessage(const std::string& path);
// A chart's compile error as every locale shows it: "FILE:LINE: text", or
// "FILE: text" where the line is not known; the text alone where it names
// the file already.
std::string CompileErrorText(const std::string& path, const CompileError& e);

// How long an error drawn on the picture stays up, unless a key takes it away.
inline constexpr uint32_t NoticeMs = 4000;

class Player {
  public:
    explicit Player(const PlayerServices& services);
    ~Player();

    // Components.
    Display Video;
    FrameTimer Timer;
    SpriteSheet Sprites;
    Mixer Sound;
    MusicPlayer Music;
    FileSearch ChartSearch;
    Controller Pad;
    VolumeBand Volume;   // the master volume and its band (- and +)
    SongPreview Preview; // the select screen's "#PREVIEW"

    // Settings.
    std::string ProgramFolder;
    std::vector<std::string> SongsFolders;
    char DecimalSeparator = '.';
    ChartReading Reading; // exact, or standard (see UseReading)

    // Shared state, one record per owner; each screen's constructor names the
    // records it reads and writes.
    GameFlow Flow;        // Screen, ChartActive
    ChartSession Session; // Header, GameState, Chart, SongFolder, KeysoundSlots, BgaSurfaces
    PlayState Play;       // song clock and event cursors
    PlayToggles Toggles;
    SongList Songs; // ChartList, ChartIndex
    int32_t ScreenWidth = 0, ScreenHeight = 0;
    Rect FullScreenRect;
    WarpEffect Warp;
    ArrowSheet ArrowSprites;
    ScreenServices Services;

    // The screens.
    NoteFieldPainter NoteField;
    PlayScene Scene;
    SelectScreen Select;

    // Handlers.
    void StartUp(const std::vector<std::string>& args);
    void OpenDisplay();
    void MakeSurfaces();
    void ReleaseSurfaces();
    void RunFrame();
    void CommandKey(Key key);
    void LeaveKey(Key key);
    // F3: the display is finalised and initialised again in the other mode.
    void ToggleFullScreen();
    void ShutDown();
    void AddFoundChart(const std::string& name, const FoundFile& data, bool& Continue);

    void ShowLoadingScreen();
    // The loading screen with a bar under its text for `done` of `total` files.
    void DrawLoadingProgress(int done, int total);
    void DrawErrorScreen();
    void UpdateCursor();

    // The player asks the program to end (Esc, end of a command-line chart);
    // `exitCode` non-zero when it ends because of an error.
    void Close(int exitCode = 0) {
        closeRequested_ = true;
        if (exitCode) exitCode_ = exitCode;
    }
    bool CloseRequested() const { return closeRequested_; }
    int ExitCode() const { return exitCode_; }
    // Why the program has nothing to run, naming the file or folder: a
    // command-line file that is no chart, a songs folder that does not exist.
    // Empty when it has. A headless run ends with it; a window shows its
    // error screen.
    const std::string& Refusal() const { return refusal_; }

    // What the program is doing, as whoever drives it (the runner, a test) sees it.
    // The screen that runs: select, play, paused, or one of the two message screens.
    Screen Mode() const { return Screen(Flow.Screen); }
    // A chart is compiled and loaded for play.
    bool ChartActive() const { return Flow.ChartActive; }
    // The chart loaded for play; on the select screen, the header of the chart shown.
    const ChartSession& CurrentChart() const { return Session; }
    // The song clock in ms, whether it runs yet (past the start gate), and
    // whether the song has passed its last object.
    int32_t SongTime() const { return Play.SongTime; }
    bool SongStarted() const { return Play.SongStartTick != 0; }
    bool SongEnded() const { return Play.SongEnded; }
    // The timing offset PageUp and PageDown set, in ms.
    int32_t LateTime() const { return Play.LateTime; }
    // The charts found below the songs folder, and the one the select screen
    // shows (empty when there is none).
    const std::vector<std::string>& Charts() const { return Songs.ChartList; }
    std::string SelectedChart() const {
        const size_t i = size_t(Songs.ChartIndex);
        return Songs.ChartIndex >= 0 && i < Songs.ChartList.size() ? Songs.ChartList[i]
                                                                   : std::string();
    }
    // The chart pipeline: compile, load keysounds and music, load images,
    // play. A compile error is reported and play is left (back to the select
    // screen, or the end for a command-line chart); returns false then.
    bool StartChart(const std::string& path);
    void LoadBgaImages();
    // Reads every chart from now on the given way. The standard reading also
    // takes the select screen's banner from "#BANNER", shows "#STAGEFILE"
    // while a chart loads, lists ".bme", ".bml" and ".pms" charts too, shows
    // what tells a song's charts apart on the select screen and mixes on 256
    // channels through the limiter.
    void UseReading(const ChartReading& reading) {
        Reading = reading;
        Sound.UseStandardMixing(reading.Standard);
        Select.BannerSource = reading.Standard ? standard::BannerFile : nullptr;
        Select.ShowDetails = reading.Standard;
        Preview.FileOf = reading.Standard ? standard::PreviewFile : nullptr;
    }
    // Runs a handler; an error that escapes it is shown and the program goes on.
    template <class F> bool Guarded(F&& handler);
    // Shows an error in a box; where none can be shown (headless, or a desktop
    // without a message system), in a band over the picture instead.
    void ReportError(const std::string& text);
    // The error text the band shows now; empty when there is none.
    const std::string& Notice() const { return notice_; }
    // Whether the chart's "#STAGEFILE" picture is held (only while it loads).
    bool HoldsStagePicture() const { return !stagePicture_.Rgb.empty(); }
    long FramesRun() const { return framesRun_; }

  private:
    bool CompileChart(const std::string& path);
    void LeavePlayAfterError(const std::string& text);
    // Hooks of the screens and loaders built on top of the shell.
    void SelectFrame();
    void PlayFrame();
    bool LoadChartMedia(FileResolver& files);
    bool LoadBgaImages(FileResolver& files);
    // Between two files of a load: the progress bar now and then, and the user's
    // chance to stop the load.
    bool LoadProgress(int done, int total);
    void SearchCharts();
    void ScanChartHeader(const std::string& path);
    // Reads a chart's header the way the reading in use does; throws when it cannot.
    void ScanHeaderInto(const std::string& path, PlaySettings& state, ChartHeader& header);
    void LoadBanner(const std::string& path);
    void WriteCentredText(const char* text);
    void DrawNotice();
    void LoadStagePicture(const std::string& chartPath);
    // Says why a chart that compiled plays less than its file holds.
    void ReportUnreadText(const std::string& path);

    Image stagePicture_; // the loading chart's "#STAGEFILE"; empty when none
    MessageBox& messages_;
    TickSource& clock_;
    std::function<bool()> keepLoading_;
    uint32_t lastLoadingDraw_ = 0; // tick of the last loading picture
    int loadTotal_ = 0;            // files of the load in progress
    std::string refusal_;
    std::string missingSongsFolder_;       // a songs folder that is not there; empty when none
    std::string notice_;                   // the error shown in a band over the picture
    std::vector<std::string> noticeLines_; // its lines as drawn
    uint32_t noticeSince_ = 0;             // tick it went up
    bool closeRequested_ = false;
    int exitCode_ = 0;
    long framesRun_ = 0;
};

template <class F> bool Player::Guarded(F&& handler) {
    try {
        handler();
        return true;
    } catch (const StartupError&) {
        throw;
    } catch (const std::exception& e) {
        ReportError(e.what());
    } catch (...) {
        ReportError(Tr("不明なエラー"));
    }
    return false;
}

} // namespace tappo
