#include "app/Player.h"

#include "app/CommandLine.h"
#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "chart/Convert.h"
#include "chart/ShiftJis.h"
#include "chart/exact/HeaderScan.h"
#include "files/StateFolder.h"
#include "play/Seek.h"

#include <algorithm>
#include <filesystem>
#include <limits>

namespace tappo {

Player::Player(const PlayerServices& services)
    : video_(services.Presenter, services.Fonts), timer_(services.Clock), sprites_(&video_),
      problems_(ProblemLogPath(services.ProgramFolder)), sound_(problems_),
      soundDevice_(sound_, services.SoundOutput, services.AudioBufferFrames), volume_(sound_),
      preview_(sound_), programFolder_(services.ProgramFolder),
      finder_(services.SongsFolders.empty() ? std::vector<std::string>{services.ProgramFolder}
                                            : services.SongsFolders),
      decimalSeparator_(LocaleDecimalSeparator()),
      reading_(WithSeparator(ChartReading{}, decimalSeparator_)),
      services_(video_, sprites_, timer_, warp_), songClock_(services.Clock, services.RatePercent),
      rateKeepsPitch_(services.RateKeepsPitch),
      noteField_(services_, arrowSprites_, flow_.State(), play_, toggles_, session_),
      playScreen_(PlaySceneOf(services)), select_(SelectSceneOf(services)),
      loader_(LoaderPartsOf(services)), messages_(services.Messages), clock_(services.Clock) {
    video_.Visible = services.DrawPictures;
    sound_.AddSource(&music_);
    sound_.SetMasterVolume(services.Volume);
    select_.UseReading(reading_);
    pad_.Keyboard.Source = services.Keys;
    pad_.Joystick.Source = services.Joystick;
    startMeasure_ = services.StartMeasure;
    startMs_ = services.StartMs;
    scrollFactor_ = services.ScrollFactor;
    loopMeasures_ = services.LoopMeasures;
    loopPasses_ = services.LoopPasses;
    if (services.RatePercent != 100) sound_.SetPlaybackRate(services.RatePercent, rateKeepsPitch_);
}

// The screens' and the loader's records: references to the player's own
// parts, and what they report back to it.
PlayScene Player::PlaySceneOf(const PlayerServices& services) {
    return PlayScene{.Flow = flow_.State(),
                     .Play = play_,
                     .Toggles = toggles_,
                     .Session = session_,
                     .Sound = sound_,
                     .Music = music_,
                     .Input = pad_,
                     .Services = services_,
                     .FullScreenRect = fullScreenRect_,
                     .Clock = songClock_,
                     .NoteField = noteField_,
                     .Report = [this](ScreenOutcome outcome) { Follow(outcome); },
                     .MixClockStart = services.MixFollowsClock
                                          ? std::optional<uint32_t>(songClock_.NowMs())
                                          : std::nullopt,
                     .Problems = problems_,
                     .LiveSound = soundDevice_.Feed()};
}

SelectScene Player::SelectSceneOf(const PlayerServices& services) {
    return SelectScene{
        .Services = services_,
        .Input = pad_,
        .Songs = songs_,
        .Toggles = toggles_,
        .Session = session_,
        .ProgramFolder = programFolder_,
        .SongsFolders = finder_.Folders(),
        .ScanChartHeader = [this](const std::string& path) { ScanChartHeader(path); },
        .StartPlay = [this](const std::string& path) { StartChart(path); },
        .Clock = &services.Clock,
        .Preview = &preview_};
}

ChartLoaderParts Player::LoaderPartsOf(const PlayerServices& services) {
    return ChartLoaderParts{.Video = video_,
                            .Clock = services.Clock,
                            .Session = session_,
                            .Play = play_,
                            .Sound = sound_,
                            .Problems = problems_,
                            .Music = music_,
                            .Flow = flow_.State(),
                            .Reading = reading_,
                            .ProgramFolder = programFolder_,
                            .SongsFolders = finder_.Folders(),
                            .ReportError = [this](const std::string& text) { ReportError(text); },
                            .KeepLoading = services.KeepLoading};
}

Player::~Player() {
    ReleasePictures();
    video_.Close();
    sound_.RemoveSource(&music_);
}

void Player::StartUp(const std::vector<std::string>& args) {
    UpdateCursor();
    if (programFolder_.empty()) programFolder_ = ExecutableFolder();
    // The player cannot run without its sprite archive and warp picture: these
    // failures end start-up with the file named.
    try {
        sprites_.LoadFromFile(programFolder_ + "tappoplay.dxg");
        warp_ = std::make_unique<WarpEffect>(programFolder_);
    } catch (const std::exception& e) {
        // A damaged file can fail in any way (a size too large to allocate
        // included): each ends start-up with its message.
        throw StartupError(e.what());
    }
    songs_.ChartList.clear();
    ++songs_.Generation;
    // Command line: only the first argument counts. A chart named there plays
    // at once, and the chart list stays empty: its end closes the program.
    if (args.empty()) {
        flow_.Begin(ScreenSelect);
    } else if (!reading_.IsChartFile(args[0])) {
        flow_.Begin(ScreenNotAChart);
        refusal_ = ChartTextToUtf8(args[0]) + ": " + Tr(TextNotChart);
        // A chart only the standard reading plays: say how to play it, and
        // end with an error once the error screen is left.
        if (HasChartExtension(args[0], true)) {
            refusal_ += std::string(" ") + Tr(TextReadWithStandard);
            exitCode_ = 1;
        }
    } else if (StartChart(args[0]) && !PlaceStartPoint()) {
        LeavePlay();
        Close(1);
    }
    songs_.SlideDirection = 1;
    toggles_ = PlayToggles{};
    toggles_.ScrollFactor = scrollFactor_;
    songs_.ChartIndex = 0;
    screenHeight_ = video_.Mode.Height;
    screenWidth_ = video_.Mode.Width;
    fullScreenRect_ = Rect{0, 0, screenWidth_, screenHeight_};
}

bool Player::StartHeld() {
    pad_.Update();
    return HasAction(pad_.States, Action::Start);
}

void Player::OpenDisplay(bool fullScreen) {
    video_.FullScreen = fullScreen;
    video_.Open();
    PrepareScreens();
    video_.Back().Fill(0);
}

void Player::UseReading(const ChartReading& reading) {
    reading_ = WithSeparator(reading, decimalSeparator_);
    sound_.UseStandardMixing(reading_.MixesOnVoices());
    select_.UseReading(reading_);
    preview_.FileOf = [this](const std::string& path) { return reading_.PreviewOf(path); };
}

// Once the display is open: the command-line chart's images, or else the
// chart search and the first header; the banners and the arrows.
void Player::PrepareScreens() {
    loader_.ShowLoadingScreen();
    if (flow_.ChartActive()) {
        loader_.LoadImagesOnDisplay();
    } else if (!closeRequested_) {
        // A program closing (a command-line chart that did not compile)
        // shows no list: none is searched, no header of it is reported.
        SearchCharts();
        select_.ListSearched();
        if (startSort_ != SongSort::Found) Guarded([&] { select_.UseSort(startSort_); });
        if (songs_.ChartList.empty()) {
            flow_.NoChartsFound();
        } else {
            // A chart with a broken header is reported; start-up goes on.
            Guarded([&] { ScanChartHeader(songs_.ChartList[size_t(songs_.ChartIndex)]); });
        }
    }
    select_.MakeBanners(video_);
    try {
        arrowSprites_ = ArrowSheet(video_, programFolder_);
    } catch (const Error& e) {
        throw StartupError(e.what());
    }
    if (flow_.Current() == ScreenSelect && !songs_.ChartList.empty())
        Guarded([&] { select_.LoadBanner(songs_.ChartList[size_t(songs_.ChartIndex)]); });
    timer_.SetEnabled(true);
}

void Player::ReleasePictures() {
    // A video goes before the surface it draws on.
    for (auto& video : session_.BgaVideos)
        video.reset();
    for (auto& video : session_.LayerVideos)
        video.reset();
    for (auto& surface : session_.BgaSurfaces)
        surface.reset();
    for (auto& surface : session_.LayerSurfaces)
        surface.reset();
    arrowSprites_ = ArrowSheet();
    select_.ReleaseBanners();
}

void Player::Tick() {
    if (timer_.FrameDue()) RunFrame();
}

void Player::SetActive(bool active) {
    timer_.SetInFront(active);
}

void Player::RunFrame() {
    ++framesRun_;
    switch (flow_.Current()) {
    case ScreenNoCharts:
    case ScreenNotAChart:
        DrawErrorScreen();
        break;
    case ScreenSelect:
        select_.SelectFrame();
        break;
    case ScreenPlay:
    case ScreenPaused:
        playScreen_.Frame();
        break;
    default:
        break;
    }
    notice_.Expire(clock_.NowMs());
    if (video_.CanDraw()) notice_.Draw(video_.Back(), screenWidth_, screenHeight_, clock_.NowMs());
    volume_.Draw(video_, clock_.NowMs());
    settingBand_.Draw(video_, clock_.NowMs());
    if (video_.FullScreen) video_.Presenter().MovePointer(screenWidth_ / 2, screenHeight_ / 2);
    video_.Present();
}

void Player::KeyDown(Key key) {
    // Any key takes an error band away; the key does its own work too.
    notice_.Clear();
    switch (key) {
    case Key::PageUp:
        ++play_.LateTime;
        break;
    case Key::PageDown:
        --play_.LateTime;
        break;
    case Key::F1:
        toggles_.ShowFps = !toggles_.ShowFps;
        break;
    case Key::F2:
        toggles_.ShowBga = !toggles_.ShowBga;
        break;
    case Key::F3:
        // Re-making the display needs a steady frame rate first.
        if (timer_.FrameRate() >= StartGateFrameRate) ToggleFullScreen();
        break;
    case Key::F4:
        playScreen_.TogglePause();
        break;
    case Key::F5:
        playScreen_.Restart();
        break;
    case Key::F6:
        toggles_.StepTickOn = !toggles_.StepTickOn;
        break;
    case Key::F7:
        toggles_.WarpInPlay = !toggles_.WarpInPlay;
        break;
    case Key::Minus:
    case Key::Plus:
        // In an open search line they are text.
        if (flow_.Current() != ScreenSelect || !select_.SearchLineOpen())
            volume_.Change(key == Key::Plus ? 1 : -1, clock_.NowMs());
        break;
    case Key::Escape:
        // An open search line takes Escape: it clears the search.
        if (flow_.Current() == ScreenSelect && select_.SearchLineOpen())
            select_.JumpKey(key);
        else
            LeavePlay();
        break;
    default:
        if (flow_.Current() == ScreenPlay || flow_.Current() == ScreenPaused)
            PlayKey(key);
        else if (flow_.Current() == ScreenSelect)
            select_.JumpKey(key);
        break;
    }
}

void Player::PlayKey(Key key) {
    switch (key) {
    case Key::Left:
    case Key::LeftBracket:
    case Key::LeftBrace:
        SeekKey(key == Key::Left ? -1 : -8);
        break;
    case Key::Right:
    case Key::RightBracket:
    case Key::RightBrace:
        SeekKey(key == Key::Right ? 1 : 8);
        break;
    case Key::F8:
    case Key::F9:
        ChangeScrollSpeed(key == Key::F9 ? 1 : -1);
        break;
    case Key::I:
    case Key::O:
        MarkLoop(key == Key::I);
        break;
    case Key::Backspace:
        ClearLoop();
        break;
    case Key::Comma:
    case Key::Period:
        ChangeRate(key == Key::Period ? 1 : -1);
        break;
    default:
        break;
    }
}

void Player::TextTyped(const std::string& text) {
    if (flow_.Current() == ScreenSelect) select_.TypeText(text);
}

void Player::LeavePlay() {
    Follow(ScreenOutcome::LeaveAsked);
    StopSounds();
}

void Player::StopSounds() {
    for (int c = 0; c < sound_.ChannelCount(); ++c)
        if (sound_.ChannelStatus(c) == ChannelPlaying) sound_.StopChannel(c);
    if (play_.MidiLoaded) music_.Stop();
    sound_.ReportLostVoices();
}

bool Player::PlaceStartPoint() {
    const ChartData& chart = session_.Chart;
    std::optional<int32_t> time;
    if (startMeasure_) {
        time = MeasureStartTime(chart, *startMeasure_);
        if (!time) {
            ReportError(FormatText(Tr("--start-measure %s: the chart's measures are 0 to %s"),
                                   std::to_string(*startMeasure_),
                                   std::to_string(std::max(0, chart.LastObjectMeasure))));
            return false;
        }
    } else if (startMs_) {
        time = *startMs_;
        if (!SongTimeInChart(chart, *time)) {
            ReportError(FormatText(Tr("--start-ms %s: the song's sounds end at %s ms"),
                                   std::to_string(*startMs_), std::to_string(chart.LastSoundTime)));
            return false;
        }
    }
    play_.StartAt = time.value_or(0);
    if (!PlaceLoop()) return false;
    if (!time && loopMeasures_) play_.StartAt = play_.Loop.StartTime;
    return true;
}

bool Player::PlaceLoop() {
    if (!loopMeasures_) return true;
    const ChartData& chart = session_.Chart;
    const auto [first, last] = *loopMeasures_;
    const std::string given = std::to_string(first) + "-" + std::to_string(last);
    if (!MeasureStartTime(chart, first) || !MeasureLineTime(chart, last)) {
        ReportError(FormatText(Tr("--loop %s: the chart's measures are 0 to %s"), given,
                               std::to_string(std::max(0, chart.LastObjectMeasure))));
        return false;
    }
    const std::optional<PlayLoop> loop = LoopBetween(chart, first, last);
    if (!loop) {
        ReportError(FormatText(Tr("--loop %s: the loop is empty"), given));
        return false;
    }
    play_.Loop = *loop;
    play_.Loop.LastPass = loopPasses_;
    return true;
}

void Player::MarkLoop(bool start) {
    if (!playScreen_.Running()) return;
    if (!playScreen_.MarkLoop(start)) {
        notice_.Add(Tr("the loop would be empty: mark its other end on another measure"),
                    clock_.NowMs());
        return;
    }
    settingBand_.Show(LoopText(play_.Loop.StartMeasure, play_.Loop.EndMeasure), clock_.NowMs());
}

void Player::ClearLoop() {
    if (!playScreen_.Running()) return;
    playScreen_.ClearLoop();
    settingBand_.Show(LoopText(std::nullopt, std::nullopt), clock_.NowMs());
}

void Player::SeekKey(int measures) {
    if (!playScreen_.SeekMeasures(measures))
        notice_.Add(Tr("no measure there: the chart ends before it"), clock_.NowMs());
}

void Player::ChangeScrollSpeed(int steps) {
    toggles_.ScrollFactor = std::clamp(toggles_.ScrollFactor + steps * ScrollFactorStep,
                                       MinScrollFactor, MaxScrollFactor);
    settingBand_.Show(ScrollSpeedText(toggles_.ScrollFactor), clock_.NowMs());
}

void Player::ChangeRate(int steps) {
    const int percent =
        std::clamp(songClock_.Percent() + steps * RateStepPercent, MinRatePercent, MaxRatePercent);
    if (percent != songClock_.Percent()) {
        const bool stageWasThere = sound_.RateLagSongFrames() != 0;
        songClock_.SetPercent(percent);
        sound_.SetPlaybackRate(percent, rateKeepsPitch_);
        // Live, the first change puts the rate's stage in the sound's path:
        // the song is put on the sound clock anew, with its lag.
        if (!stageWasThere) play_.OnSoundClock = false;
    }
    settingBand_.Show(RateText(percent), clock_.NowMs());
}

void Player::Follow(ScreenOutcome outcome) {
    if (const std::optional<int> exitCode = flow_.Follow(outcome, !songs_.ChartList.empty()))
        Close(*exitCode);
}

bool Player::StartChart(const std::string& path) {
    flow_.ChartStarted();
    const std::optional<ScreenOutcome> outcome = loader_.Load(path);
    if (!outcome) {
        select_.ChartPlayed(path);
        return true;
    }
    if (*outcome == ScreenOutcome::LeaveAsked)
        LeavePlay();
    else
        Follow(*outcome);
    return false;
}

// The presenter opens again in the other mode; the pictures, the chart list
// and the chart loaded stay as they are.
void Player::ToggleFullScreen() {
    video_.FullScreen = !video_.FullScreen;
    video_.Open();
    UpdateCursor();
}

void Player::ShutDown() {
    sound_.ReportLostVoices(); // a run ended before its song did
    session_.KeysoundSlots = KeysoundBank();
    music_.Close();
    session_.Chart.Events = EventLists(); // the lists' memory goes back
    songs_.ChartList.clear();
    ++songs_.Generation;
    warp_.reset();
    video_.Presenter().SetCursorVisible(true);
}

void Player::DrawErrorScreen() {
    warp_->UpdateWarp();
    Surface& back = video_.Back();
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Draw(0, 0, warp_->WarpImage);
    const bool noCharts = flow_.Current() == ScreenNoCharts;
    if (noCharts && !finder_.MissingFolder().empty()) {
        // The folder the user named, under the message.
        WriteCentredText(back, screenWidth_, screenHeight_, Tr(TextNoSongsFolder));
        const std::string folder = ChartTextToUtf8(finder_.MissingFolder());
        canvas.Font.Size = screenHeight_ / 40 + 4;
        canvas.WriteText(std::max(0, (screenWidth_ - canvas.TextWidth(folder)) / 2),
                         screenHeight_ / 2 - 16, folder);
    } else {
        WriteCentredText(back, screenWidth_, screenHeight_,
                         Tr(noCharts ? TextNoCharts : TextNotChart));
    }
}

void Player::ReportError(const std::string& text) {
    messages_.Show(text);
    // Nobody saw a box: the text goes over the picture.
    if (!messages_.ShownInBox()) notice_.Add(text, clock_.NowMs());
}

void Player::UpdateCursor() {
    video_.Presenter().SetCursorVisible(!video_.FullScreen);
}

void Player::ScanChartHeader(const std::string& listed) {
    // A difficulty table's entry: its library chart, or what the table says.
    const std::string path = select_.Tables().ChartOf(listed);
    if (const TableItem* entry = select_.Tables().ItemOf(listed); entry && path.empty())
        return select_.ShowUnreadable(UnreadableChart{
            entry->Title, entry->Artist, 0, std::numeric_limits<double>::quiet_NaN(), entry->Url});
    const auto scan = [&](PlaySettings& state, ChartHeader& header) {
        reading_.ScanHeader(path, state, header);
    };
    select_.ShowUnreadable(std::nullopt);
    try {
        scan(session_.GameState, session_.Header);
    } catch (const std::exception& e) {
        // The session keeps what the scan wrote over the chart before, as the
        // next compile starts from it. The screen shows this chart alone: what
        // a scan from nothing reaches, and the error.
        PlaySettings state;
        ChartHeader header;
        state.Bpm = std::numeric_limits<double>::quiet_NaN(); // not reached
        try {
            scan(state, header);
        } catch (const std::exception&) {
        }
        // Beside the chart's path the screen shows the reader's message
        // alone; the report (stderr, the message box) names the file.
        select_.ShowUnreadable(UnreadableChart{header.Title, header.Artist, state.PlayLevel,
                                               state.Bpm, ChartReading::ScanErrorReason(e)});
        const std::string report = reading_.ScanErrorReport(path, e);
        if (report.empty()) throw;
        throw Error(report);
    }
}

void Player::SearchCharts() {
    finder_.Search(reading_, songs_);
    if (!songs_.ChartList.empty()) select_.Tables().AppendTo(songs_.ChartList);
    const std::string& missing = finder_.MissingFolder();
    if (!missing.empty() && refusal_.empty())
        refusal_ = ChartTextToUtf8(missing) + ": " + Tr(TextNoSongsFolder);
}

bool PlayerStatus::CloseRequested() const {
    return player_.closeRequested_;
}
int PlayerStatus::ExitCode() const {
    return player_.exitCode_;
}
const std::string& PlayerStatus::Refusal() const {
    return player_.refusal_;
}
Screen PlayerStatus::Mode() const {
    return player_.flow_.Current();
}
bool PlayerStatus::ChartActive() const {
    return player_.flow_.ChartActive();
}
const ChartSession& PlayerStatus::CurrentChart() const {
    return player_.session_;
}
const PlayState& PlayerStatus::Playback() const {
    return player_.play_;
}
int32_t PlayerStatus::SongTime() const {
    return player_.play_.SongTime;
}
bool PlayerStatus::SongStarted() const {
    return player_.play_.SongStartTick != 0;
}
const PlayToggles& PlayerStatus::Toggles() const {
    return player_.toggles_;
}
const SongList& PlayerStatus::Songs() const {
    return player_.songs_;
}
const SelectScreen& PlayerStatus::SelectView() const {
    return player_.select_;
}
const SongPreview& PlayerStatus::Preview() const {
    return player_.preview_;
}
const std::string& PlayerStatus::Notice() const {
    return player_.notice_.Text();
}
bool PlayerStatus::HoldsStagePicture() const {
    return player_.loader_.HoldsStagePicture();
}
long PlayerStatus::FramesRun() const {
    return player_.framesRun_;
}
const FrameTimer& PlayerStatus::Timer() const {
    return player_.timer_;
}
const Surface& PlayerStatus::Picture() const {
    return player_.video_.Back();
}
MusicState PlayerStatus::MusicMode() const {
    return music_.Mode();
}
const VolumeBand& PlayerStatus::Volume() const {
    return player_.volume_;
}

int PlayerStatus::RatePercent() const {
    return player_.songClock_.Percent();
}

const StateBand& PlayerStatus::SettingBand() const {
    return player_.settingBand_;
}

} // namespace tappo