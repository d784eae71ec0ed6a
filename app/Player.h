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
#include "platform/AudioDevice.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/Music.h"
#include "platform/Platform.h"
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
    // False for a render nobody looks at: no picture is drawn and no image loaded.
    bool DrawPictures = true;
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
// A chart's compile error as every locale shows it: "FILE:LINE: text", or
// "FILE: text" where the line is not known; the text alone where it names
// the file already.
std::string CompileErrorText(const std::string& path, const CompileError& e);

// The loading screen's bar under its text: `done` of `total` files (none
// when `total` is 0) on a screen of the given size.
void DrawLoadingBar(Surface& back, int screenWidth, int screenHeight, int done, int total);

// How long an error drawn on the picture stays up, unless a key takes it away.
inline constexpr uint32_t NoticeMs = 4000;

class Player {
  public:
    explicit Player(const PlayerServices& services);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Start-up, in this order. StartUp loads the assets and takes the command
    // line: a chart named there is compiled and its sounds loaded at once.
    // OpenDisplay makes the display; its initialisation searches the charts
    // for the select screen, or loads the chart's images.
    void StartUp(const std::vector<std::string>& args);
    // Whether Start is held now: held while the player starts, it opens in a window.
    bool StartHeld();
    void OpenDisplay(bool fullScreen = true);
    void ShutDown();

    // One pass of the idle loop: a frame when the frame timer has one due.
    void Tick();
    // A key pressed: the commands every screen knows, the select screen's
    // jumps, and Esc, which leaves play (LeavePlay).
    void KeyDown(Key key);
    // Back to the select screen with every sound stopped; where there is
    // nothing to go back to (a command-line chart, or the select screen
    // itself) the program ends.
    void LeavePlay();
    // The window went to the background or came back: frames run only in front.
    void SetActive(bool active);
    // Plays a chart: the loading screen, the compile, the sounds, the images,
    // then play from the next frame on (ChartPipeline.cpp). A compile error is
    // reported and play is left (back to the select screen, or the end for a
    // command-line chart); returns false then, and when the load was stopped.
    bool StartChart(const std::string& path);
    // The player asks the program to end (Esc, end of a command-line chart);
    // `exitCode` non-zero when it ends because of an error.
    void Close(int exitCode = 0) {
        closeRequested_ = true;
        if (exitCode) exitCode_ = exitCode;
    }

    // Reads every chart from now on the given way. The standard reading also
    // takes the select screen's banner from "#BANNER", shows "#STAGEFILE"
    // while a chart loads, lists ".bme", ".bml" and ".pms" charts too, shows
    // what tells a song's charts apart on the select screen and mixes on 256
    // channels through the limiter.
    void UseReading(const ChartReading& reading);
    // Runs a handler; an error that escapes it is shown and the program goes on.
    template <class F> bool Guarded(F&& handler);
    // Shows an error in a box; where none can be shown (headless, or a desktop
    // without a message system), in a band over the picture instead.
    void ReportError(const std::string& text);

    // The mix of keysounds and music, for whatever plays it out: the sound
    // device pulls it by itself, a headless run or a test in step with its clock.
    Mixer& SoundOutput() { return sound_; }
    // The sound device's feed (live play; null without a device) and the
    // run's problem log.
    LiveFeed* LiveSound() { return soundDevice_.Feed(); }
    const ProblemLog& Problems() const { return problems_; }

    // What the program is doing, as whoever drives it (the runner, a test)
    // sees it. None of it changes the player.
    bool CloseRequested() const { return closeRequested_; }
    int ExitCode() const { return exitCode_; }
    // Why the program has nothing to run, naming the file or folder: a
    // command-line file that is no chart, a songs folder that does not exist.
    // Empty when it has. A headless run ends with it; a window shows its
    // error screen.
    const std::string& Refusal() const { return refusal_; }
    // The screen that runs: select, play, paused, or one of the two message screens.
    Screen Mode() const { return Screen(flow_.Screen); }
    // A chart is compiled and loaded for play.
    bool ChartActive() const { return flow_.ChartActive; }
    // The chart loaded for play; on the select screen, the header of the chart shown.
    const ChartSession& CurrentChart() const { return session_; }
    // The song clock in ms, whether it runs yet (past the start gate), and
    // whether the song has passed its last object.
    int32_t SongTime() const { return play_.SongTime; }
    bool SongStarted() const { return play_.SongStartTick != 0; }
    bool SongEnded() const { return play_.SongEnded; }
    // The timing offset PageUp and PageDown set, in ms.
    int32_t LateTime() const { return play_.LateTime; }
    // The whole play clock: start tick, sound clock, event cursors.
    const PlayState& Playback() const { return play_; }
    const PlayToggles& Toggles() const { return toggles_; }
    // The charts found below the songs folder, and the one the select screen
    // shows (empty when there is none).
    const std::vector<std::string>& Charts() const { return songs_.ChartList; }
    std::string SelectedChart() const {
        const size_t i = size_t(songs_.ChartIndex);
        return songs_.ChartIndex >= 0 && i < songs_.ChartList.size() ? songs_.ChartList[i]
                                                                     : std::string();
    }
    // The select screen's cursor and slide.
    const SongList& Songs() const { return songs_; }
    const SelectScreen& SelectView() const { return select_; }
    const SongPreview& Preview() const { return preview_; }
    // The error text the band shows now; empty when there is none.
    const std::string& Notice() const { return notice_; }
    // Whether the chart's "#STAGEFILE" picture is held (only while it loads).
    bool HoldsStagePicture() const { return !stagePicture_.Rgb.empty(); }
    long FramesRun() const { return framesRun_; }
    // Frames run: the timer is on and the program is in front.
    bool Running() const { return timer_.Running(); }
    int FrameRate() const { return timer_.FrameRate(); }
    // The picture of the last frame, as the screen shows it.
    const Surface& Picture() { return video_.Back(); }
    MusicState MusicMode() { return music_.Mode(); }
    const VolumeBand& Volume() const { return volume_; }

  private:
    // The frame: the screen's own work and picture, then what goes over every screen.
    void RunFrame();
    void DrawErrorScreen();
    void DrawNotice();
    void WriteCentredText(const char* text);
    void UpdateCursor();
    void ToggleFullScreen(); // F3: the display made again in the other mode

    // The display's surfaces, made at every initialisation and freed at every
    // finalisation (start-up, F3).
    void MakeSurfaces();
    void ReleaseSurfaces();
    // The charts below the songs folders, for the select screen.
    void SearchCharts();
    void AddFoundChart(const std::string& name, const FoundFile& data, bool& Continue);
    void ScanChartHeader(const std::string& path);
    // Reads a chart's header the way the reading in use does; throws when it cannot.
    void ScanHeaderInto(const std::string& path, PlaySettings& state, ChartHeader& header);

    // The road of a chart from its path to play (ChartPipeline.cpp, in this
    // order), after StartChart.
    void LoadStagePicture(const std::string& chartPath);
    void ShowLoadingScreen();
    // The loading screen with a bar under its text for `done` of `total` files.
    void DrawLoadingProgress(int done, int total);
    bool CompileChart(const std::string& path);
    void LeavePlayAfterError(const std::string& text);
    // Says why a chart that compiled plays less than its file holds.
    void ReportUnreadText(const std::string& path);
    bool LoadChartSounds(FileResolver& files);
    // The chart's pictures as surfaces of the display: at the chart's start
    // when the display is there, else at its initialisation, and again at
    // every re-initialisation (F3).
    bool LoadChartImages(FileResolver& files);
    // Between two files of a load: the progress bar now and then, and the user's
    // chance to stop the load.
    bool LoadProgress(int done, int total);

    // The components. The display comes first: the others' surfaces go before it.
    Display video_;
    FrameTimer timer_;
    SpriteSheet sprites_;
    ProblemLog problems_; // the run's problem log, handed to whatever reports
    Mixer sound_;
    AudioDevice soundDevice_; // plays sound_; made after it, so it stops first
    MusicPlayer music_;
    FileSearch chartSearch_;
    Controller pad_;
    VolumeBand volume_;   // the master volume and its band (- and +)
    SongPreview preview_; // the select screen's "#PREVIEW"

    // Settings.
    std::string programFolder_;
    std::vector<std::string> songsFolders_;
    char decimalSeparator_ = '.';
    ChartReading reading_; // exact, or standard (see UseReading)

    // Shared state, one record per owner; each screen's constructor names the
    // records it reads and writes.
    GameFlow flow_;        // Screen, ChartActive
    ChartSession session_; // Header, GameState, Chart, SongFolder, KeysoundSlots, BgaSurfaces
    PlayState play_;       // song clock and event cursors
    PlayToggles toggles_;
    SongList songs_; // ChartList, ChartIndex
    int32_t screenWidth_ = 0, screenHeight_ = 0;
    Rect fullScreenRect_;
    std::unique_ptr<WarpEffect> warp_; // made at start-up
    ArrowSheet arrowSprites_;
    ScreenServices services_;

    // The screens.
    NoteFieldPainter noteField_;
    PlayScreen playScreen_;
    SelectScreen select_;

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
