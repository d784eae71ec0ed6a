// The player directs: start-up, the frame of the screen the screen flow
// chooses, the keys every screen knows, the error screens and shutdown. It
// owns the display, the frame timer, the sprite list and the shared records;
// the chart loader, the screens and the notice band do the work. What its
// driver (the runner, a test) reads of it is its PlayerStatus.
#pragma once

#include "app/ChartFinder.h"
#include "app/ChartLoader.h"
#include "app/NoticeBand.h"
#include "app/ScreenFlow.h"
#include "app/StateBand.h"
#include "app/VolumeBand.h"
#include "base/Errors.h"
#include "chart/Reading.h"
#include "effects/Warp.h"
#include "media/ChartSession.h"
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
#include "play/RateClock.h"
#include "screen/ScreenServices.h"
#include "select/SelectScreen.h"
#include "select/SongList.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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
    // Where the command-line chart starts: the start of a measure of the
    // chart, or a song time in ms; neither: the top.
    std::optional<int> StartMeasure = std::nullopt;
    std::optional<int32_t> StartMs = std::nullopt;
    // The arrows' spread, 0.5-4 in steps of 0.25.
    double ScrollFactor = 1.0;
    // The command-line chart's loop: its start and end measures, and the
    // passes after which play ends (0: it loops on). Play starts at the loop
    // unless a start point is given.
    std::optional<std::pair<int, int>> LoopMeasures = std::nullopt;
    int LoopPasses = 0;
    // The playback rate in percent (50-200 in steps of 5), and whether it
    // keeps the pitch (time-stretching) or moves it (resampling).
    int RatePercent = 100;
    bool RateKeepsPitch = true;
};

// One press of a scroll-speed key changes it by this much, within these bounds.
inline constexpr double ScrollFactorStep = 0.25;
inline constexpr double MinScrollFactor = 0.5;
inline constexpr double MaxScrollFactor = 4.0;

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
inline constexpr const char* TextNoSongsFolder = ForCatalogue("フォルダがありません");

class Player;

// What the program is doing, as whoever drives the player (the runner, a
// test) sees it. None of it changes the player.
class PlayerStatus {
  public:
    PlayerStatus(const Player& player, MusicPlayer& music) : player_(player), music_(music) {}

    // The player asked the program to end; `ExitCode` non-zero for an error.
    bool CloseRequested() const;
    int ExitCode() const;
    // Why the program has nothing to run, naming the file or folder: a
    // command-line file that is no chart, a songs folder that does not exist.
    // Empty when it has. A headless run ends with it; a window shows its
    // error screen.
    const std::string& Refusal() const;
    // The screen that runs: select, play, paused, or one of the two message screens.
    Screen Mode() const;
    // A chart is compiled and loaded for play.
    bool ChartActive() const;
    // The chart loaded for play; on the select screen, the header of the chart shown.
    const ChartSession& CurrentChart() const;
    // The whole play clock: start tick, song time, sound clock, event cursors,
    // the song's end and the timing offset PageUp and PageDown set.
    const PlayState& Playback() const;
    // The song clock in ms, and whether it runs yet (past the start gate).
    int32_t SongTime() const;
    bool SongStarted() const;
    const PlayToggles& Toggles() const;
    // The charts found below the songs folders, the select screen's cursor and slide.
    const SongList& Songs() const;
    const SelectScreen& SelectView() const;
    const SongPreview& Preview() const;
    // The error text the band shows now; empty when there is none.
    const std::string& Notice() const;
    // Whether the chart's "#STAGEFILE" picture is held (only while it loads).
    bool HoldsStagePicture() const;
    long FramesRun() const;
    // Frames run (the timer is on and the program is in front), and their rate.
    const FrameTimer& Timer() const;
    // The picture of the last frame, as the screen shows it.
    const Surface& Picture() const;
    MusicState MusicMode() const;
    const VolumeBand& Volume() const;
    // The band of the last play setting changed (the scroll speed, the rate).
    const StateBand& SettingBand() const;
    // The playback rate in percent (the keys change it).
    int RatePercent() const;

  private:
    const Player& player_;
    MusicPlayer& music_;
};

class Player {
  public:
    explicit Player(const PlayerServices& services);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Start-up, in this order. StartUp loads the assets and takes the command
    // line: a chart named there is compiled and its sounds loaded at once.
    // OpenDisplay opens the display, searches the charts for the select
    // screen or loads the command-line chart's images.
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
    // Text typed: the select screen's search line takes it while open.
    void TextTyped(const std::string& text);
    // The song database the select screen sorts, filters and searches by.
    void UseLibrary(LibraryView library) { select_.UseLibrary(std::move(library)); }
    // The select screen's sort when it first shows (the one kept in the settings).
    void StartWithSort(SongSort sort) { startSort_ = sort; }
    // Back to the select screen with every sound stopped; where there is
    // nothing to go back to (a command-line chart, or the select screen
    // itself) the program ends.
    void LeavePlay();
    // The window went to the background or came back: frames run only in front.
    void SetActive(bool active);
    // Plays a chart: the chart loader's loading screen, compile, sounds and
    // images, then play from the next frame on. A compile error is reported
    // and play is left (back to the select screen, or the end for a
    // command-line chart); returns false then, and when the load was stopped.
    bool StartChart(const std::string& path);
    // The player asks the program to end (Esc, end of a command-line chart);
    // `exitCode` non-zero when it ends because of an error.
    void Close(int exitCode = 0) {
        closeRequested_ = true;
        if (exitCode) exitCode_ = exitCode;
    }

    // Reads every chart from now on the given way (see ChartReading): the
    // chart search, the headers, the select screen's look, the loading
    // screen and the mixing follow it.
    void UseReading(const ChartReading& reading);
    // Runs a handler; an error that escapes it is shown and the program goes on.
    template <class F> bool Guarded(F&& handler);
    // Shows an error in a box; where none can be shown (headless, or a desktop
    // without a message system), in a band over the picture instead.
    void ReportError(const std::string& text);

    // The mix of keysounds and music, for whatever plays it out: the sound
    // device pulls it by itself, a headless run or a test in step with its clock.
    Mixer& SoundOutput() { return sound_; }
    // The sound device's feed in live play; null without a device.
    LiveFeed* LiveSound() { return soundDevice_.Feed(); }
    // The run's problem log, which the runner names at the end when it was written.
    const ProblemLog& Problems() const { return problems_; }
    const PlayerStatus& Status() const { return status_; }

  private:
    friend class PlayerStatus;

    // What the screens and the loader are made with (the constructor).
    PlayScene PlaySceneOf(const PlayerServices& services);
    SelectScene SelectSceneOf(const PlayerServices& services);
    ChartLoaderParts LoaderPartsOf(const PlayerServices& services);

    // The frame: the screen's own work and picture, then what goes over every screen.
    void RunFrame();
    void DrawErrorScreen();
    void UpdateCursor();
    void ToggleFullScreen(); // F3: the presenter opened again in the other mode
    // Follows what a screen or the loader reported: the screen flow decides,
    // and the program ends where it says so.
    void Follow(ScreenOutcome outcome);
    // Every sound stopped, the sounds the voices lost reported.
    void StopSounds();
    // The command-line chart's start point set (--start-measure, --start-ms);
    // false, with the reason reported, when the chart has no such point.
    bool PlaceStartPoint();
    // The keys of the play screen alone: seeking and the scroll speed.
    void PlayKey(Key key);
    // Left/Right, [ and ]: play `measures` measures on or back; a measure
    // past the chart's end is refused with a band.
    void SeekKey(int measures);
    void ChangeScrollSpeed(int steps);
    // I and O: the loop's start or end mark on the line of the measure
    // playing; the two marks are kept in order, and an empty loop is refused
    // with a band. Backspace clears both.
    void MarkLoop(bool start);
    void ClearLoop();
    // --loop on the command-line chart; false, reported, for a measure past
    // the chart's end or an empty loop.
    bool PlaceLoop();
    // "," and ".": the playback rate a step down or up, within its bounds.
    void ChangeRate(int steps);

    // What the screens need once the display is open (OpenDisplay), and the
    // pictures freed before the player goes (videos before their surfaces).
    void PrepareScreens();
    void ReleasePictures();
    // The charts below the songs folders, for the select screen, searched
    // when the display opens at start-up.
    void SearchCharts();
    void ScanChartHeader(const std::string& listed);

    // The components. The display comes first: the others' surfaces go before it.
    Display video_;
    FrameTimer timer_;
    SpriteSheet sprites_;
    ProblemLog problems_; // the run's problem log, handed to whatever reports
    Mixer sound_;
    AudioDevice soundDevice_; // plays sound_; made after it, so it stops first
    MusicPlayer music_;
    Controller pad_;
    VolumeBand volume_;   // the master volume and its band (- and +)
    SongPreview preview_; // the select screen's "#PREVIEW"
    StateBand settingBand_;
    std::optional<int> startMeasure_;
    std::optional<int32_t> startMs_;
    double scrollFactor_ = 1.0;                       // given at start-up; the toggles take it
    std::optional<std::pair<int, int>> loopMeasures_; // --loop
    int loopPasses_ = 0;
    SongSort startSort_ = SongSort::Found;

    // Settings.
    std::string programFolder_;
    ChartFinder finder_; // the songs folders and the chart search
    char decimalSeparator_ = '.';
    ChartReading reading_; // exact, or standard (see UseReading), with decimalSeparator_

    // Shared state, one record per owner; each screen's constructor names the
    // records it reads and writes.
    ScreenFlow flow_;      // which screen runs: the only writer of Screen and ChartActive
    ChartSession session_; // Header, GameState, Chart, SongFolder, KeysoundSlots, BgaSurfaces
    PlayState play_;       // song clock and event cursors
    PlayToggles toggles_;
    SongList songs_; // ChartList, ChartIndex
    int32_t screenWidth_ = 0, screenHeight_ = 0;
    Rect fullScreenRect_;
    std::unique_ptr<WarpEffect> warp_; // made at start-up
    ArrowSheet arrowSprites_;
    ScreenServices services_;
    // The play screen's clock: the song goes on at the playback rate.
    RateClock songClock_;
    bool rateKeepsPitch_ = true;

    // The screens and the loader.
    NoteFieldPainter noteField_;
    PlayScreen playScreen_;
    SelectScreen select_;
    ChartLoader loader_;
    NoticeBand notice_; // the errors shown in a band over the picture

    MessageBox& messages_;
    TickSource& clock_;
    std::string refusal_;
    bool closeRequested_ = false;
    int exitCode_ = 0;
    long framesRun_ = 0;
    PlayerStatus status_{*this, music_};
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
