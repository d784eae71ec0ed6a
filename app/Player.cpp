#include "app/Player.h"

#include "app/CommandLine.h"
#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "chart/Convert.h"
#include "chart/ShiftJis.h"
#include "chart/exact/HeaderScan.h"
#include "files/StateFolder.h"

#include <algorithm>
#include <filesystem>
#include <limits>

namespace tappo {

std::string CompileErrorText(const std::string& path, const CompileError& e) {
    std::string text = e.what();
    if (text.find(path) != std::string::npos ||
        text.find(ChartTextToUtf8(path)) != std::string::npos)
        return text;
    const std::string line = e.Line() > 0 ? ":" + std::to_string(e.Line()) : std::string();
    return ChartTextToUtf8(path) + line + ": " + text;
}

namespace {

// Reads a chart's header the way `reading` does; throws when it cannot.
void ScanHeaderWith(const ChartReading& reading, char decimalSeparator, const std::string& path,
                    PlaySettings& state, ChartHeader& header) {
    if (reading.Standard)
        standard::ScanHeader(path, WithSeparator(reading, decimalSeparator), state, header);
    else
        exact::ScanHeader(path, state, header, decimalSeparator);
}

// The select screen's letter keys' titles, read on a helper thread: the
// standard reading reads the title alone, with a copy of the reading; the
// exact one scans the header.
TitleInitials::ReadTitle TitleReader(const ChartReading& reading, char decimalSeparator) {
    if (reading.Standard)
        return [own = WithSeparator(reading, decimalSeparator)](const std::string& path) {
            return standard::ScanTitle(path, own); // a chart it cannot read throws
        };
    return [decimalSeparator](const std::string& path) {
        PlaySettings state;
        ChartHeader header;
        try {
            exact::ScanHeader(path, state, header, decimalSeparator);
        } catch (const std::exception&) {
            // the title the scan reached, if any
        }
        return header.Title;
    };
}

} // namespace

Player::Player(const PlayerServices& services)
    : video_(services.Presenter, services.Fonts), timer_(services.Clock), sprites_(&video_),
      problems_(ProblemLogPath(services.ProgramFolder)), sound_(problems_),
      soundDevice_(sound_, services.SoundOutput, services.AudioBufferFrames), volume_(sound_),
      preview_(sound_), programFolder_(services.ProgramFolder),
      songsFolders_(services.SongsFolders.empty() ? std::vector<std::string>{services.ProgramFolder}
                                                  : services.SongsFolders),
      decimalSeparator_(LocaleDecimalSeparator()), services_(video_, sprites_, timer_, warp_),
      noteField_(services_, arrowSprites_, flow_, play_, toggles_, session_),
      playScreen_(
          flow_, songs_.ChartList, play_, toggles_, session_, sound_, music_, pad_, services_,
          fullScreenRect_, services.Clock, noteField_, [this] { Close(); },
          services.MixFollowsClock ? std::optional<uint32_t>(services.Clock.NowMs()) : std::nullopt,
          problems_, soundDevice_.Feed()),
      select_(
          services_, pad_, songs_, toggles_, session_, programFolder_, songsFolders_,
          [this](const std::string& path) { ScanChartHeader(path); },
          [this](const std::string& path) { StartChart(path); }, &services.Clock, &preview_),
      messages_(services.Messages), clock_(services.Clock), keepLoading_(services.KeepLoading) {
    video_.Visible = services.DrawPictures;
    sound_.AddSource(&music_);
    sound_.SetMasterVolume(services.Volume);
    select_.UseReading(TitleReader(reading_, decimalSeparator_), nullptr, false);
    pad_.Keyboard.Source = services.Keys;
    pad_.Joystick.Source = services.Joystick;
    chartSearch_.SearchName = "*.bms";
    chartSearch_.Recursive = true;
    chartSearch_.OnFind = [this](const std::string& name, const FoundFile& data, bool& c) {
        AddFoundChart(name, data, c);
    };
    video_.OnInitialize = [this] { MakeSurfaces(); };
    video_.OnFinalize = [this] { ReleaseSurfaces(); };
}

Player::~Player() {
    // Surfaces made on the display go before the display itself.
    video_.Finalize();
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
        flow_.Screen = ScreenSelect;
        flow_.ChartActive = false;
    } else if (!HasChartExtension(args[0], reading_.Standard)) {
        flow_.Screen = ScreenNotAChart;
        refusal_ = ChartTextToUtf8(args[0]) + ": " + Tr(TextNotChart);
        // A chart only the standard reading plays: say how to play it, and
        // end with an error once the error screen is left.
        if (HasChartExtension(args[0], true)) {
            refusal_ += std::string(" ") + Tr(TextReadWithStandard);
            exitCode_ = 1;
        }
    } else {
        StartChart(args[0]);
    }
    songs_.SlideDirection = 1;
    toggles_ = PlayToggles{};
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
    if (!video_.InitializeRequested()) video_.Initialize();
}

void Player::UseReading(const ChartReading& reading) {
    reading_ = reading;
    sound_.UseStandardMixing(reading.Standard);
    select_.UseReading(TitleReader(reading, decimalSeparator_),
                       reading.Standard ? standard::BannerFile : nullptr, reading.Standard);
    preview_.FileOf = reading.Standard ? standard::PreviewFile : nullptr;
}

// Every surface is made anew at each initialisation (start-up and the F3
// toggle): the chart's images, or else the chart search and the first header.
void Player::MakeSurfaces() {
    ShowLoadingScreen();
    if (flow_.ChartActive) {
        FileResolver files;
        loadTotal_ = ImageFileCount(session_.Chart);
        LoadChartImages(files);
        // A command-line chart's load ends here: its loading screen is gone.
        stagePicture_ = Image();
    } else if (!closeRequested_) {
        // A program closing (a command-line chart that did not compile)
        // shows no list: none is searched, no header of it is reported.
        SearchCharts();
        select_.ListSearched();
        if (songs_.ChartList.empty()) {
            if (flow_.Screen != ScreenNotAChart) flow_.Screen = ScreenNoCharts;
        } else {
            // A chart with a broken header is reported; start-up goes on.
            // The header of the chart the select screen shows: after a display
            // re-initialisation that is not always the first one.
            Guarded([&] { ScanChartHeader(songs_.ChartList[size_t(songs_.ChartIndex)]); });
        }
    }
    select_.MakeBanners(video_);
    try {
        arrowSprites_ = ArrowSheet(video_, programFolder_);
    } catch (const Error& e) {
        throw StartupError(e.what());
    }
    if (flow_.Screen == ScreenSelect && !songs_.ChartList.empty())
        Guarded([&] { select_.LoadBanner(songs_.ChartList[size_t(songs_.ChartIndex)]); });
    timer_.SetEnabled(true);
}

void Player::ReleaseSurfaces() {
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
    if (timer_.DoTick()) RunFrame();
}

void Player::SetActive(bool active) {
    timer_.SetAppActive(active);
}

void Player::RunFrame() {
    ++framesRun_;
    switch (flow_.Screen) {
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
    DrawNotice();
    volume_.Draw(video_, clock_.NowMs());
    if (video_.FullScreen) video_.Presenter().MovePointer(screenWidth_ / 2, screenHeight_ / 2);
    video_.Flip();
}

void Player::KeyDown(Key key) {
    // Any key takes an error band away; the key does its own work too.
    notice_.clear();
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
        volume_.Change(key == Key::Plus ? 1 : -1, clock_.NowMs());
        break;
    case Key::Escape:
        LeavePlay();
        break;
    default:
        if (flow_.Screen == ScreenSelect) select_.JumpKey(key);
        break;
    }
}

void Player::LeavePlay() {
    if (songs_.ChartList.empty() || !flow_.ChartActive) Close();
    flow_.Screen = ScreenSelect;
    flow_.ChartActive = false;
    for (int c = 0; c < sound_.ChannelCount(); ++c)
        if (sound_.ChannelStatus(c) == ChannelPlaying) sound_.StopChannel(c);
    if (play_.MidiLoaded) music_.Stop();
    sound_.ReportLostVoices();
}

void Player::ToggleFullScreen() {
    video_.Finalize();
    video_.FullScreen = !video_.FullScreen;
    video_.Initialize();
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

void Player::WriteCentredText(const char* text) {
    SurfaceCanvas& canvas = video_.Back().Canvas();
    canvas.Font.Name = "MS Serif";
    canvas.Font.Size = screenWidth_ / 32;
    canvas.Font.Color = 0xFFFFFF;
    canvas.BrushTransparent = true;
    canvas.TextOut((screenWidth_ - canvas.TextWidth(text)) / 2, screenHeight_ / 2 - 40, text);
}

void Player::DrawErrorScreen() {
    warp_->UpdateWarp();
    SurfaceCanvas& canvas = video_.Back().Canvas();
    canvas.Draw(0, 0, warp_->WarpImage);
    if (flow_.Screen == ScreenNoCharts && !missingSongsFolder_.empty()) {
        // The folder the user named, under the message.
        WriteCentredText(Tr(TextNoSongsFolder));
        const std::string folder = ChartTextToUtf8(missingSongsFolder_);
        canvas.Font.Size = screenHeight_ / 40 + 4;
        canvas.TextOut(std::max(0, (screenWidth_ - canvas.TextWidth(folder)) / 2),
                       screenHeight_ / 2 - 16, folder);
    } else {
        WriteCentredText(Tr(flow_.Screen == ScreenNoCharts ? TextNoCharts : TextNotChart));
    }
}

namespace {

// `text` in lines no wider than `width`: broken at its line ends, then at the
// last space that fits, or between two characters where no space does.
std::vector<std::string> WrapText(SurfaceCanvas& canvas, const std::string& text, int width) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string rest = text.substr(start, end - start);
        while (canvas.TextWidth(rest) > width) {
            // The longest run of whole characters that fits, found by halving.
            size_t lo = 1, hi = rest.size();
            while (lo < hi) {
                const size_t mid = (lo + hi + 1) / 2;
                if (canvas.TextWidth(rest.substr(0, mid)) <= width)
                    lo = mid;
                else
                    hi = mid - 1;
            }
            while (lo > 1 && (uint8_t(rest[lo]) & 0xC0) == 0x80)
                --lo;
            while (lo < rest.size() && (uint8_t(rest[lo]) & 0xC0) == 0x80)
                ++lo; // a first character wider than the line goes whole
            const size_t space = rest.rfind(' ', lo);
            const size_t cut = space != std::string::npos && space > lo / 2 ? space : lo;
            lines.push_back(rest.substr(0, cut));
            rest.erase(0, cut + (cut == space ? 1 : 0));
        }
        lines.push_back(rest);
        start = end + 1;
    }
    return lines;
}

} // namespace

void Player::ReportError(const std::string& text) {
    messages_.Show(text);
    if (messages_.ShownInBox()) return;
    // Nobody saw a box: the text goes over the picture. A repeat of the text
    // shown keeps it up; another error is added under it.
    if (notice_.empty())
        notice_ = text;
    else if (notice_.size() < text.size() ||
             notice_.compare(notice_.size() - text.size(), text.size(), text) != 0)
        notice_ += "\n" + text;
    noticeLines_.clear();
    noticeSince_ = clock_.NowMs();
}

// The error band: dark red across the middle of the picture, the text in white.
void Player::DrawNotice() {
    if (notice_.empty()) return;
    if (clock_.NowMs() - noticeSince_ >= NoticeMs) {
        notice_.clear();
        return;
    }
    if (!video_.CanDraw()) return;
    Surface& back = video_.Back();
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Name = "MS Serif";
    canvas.Font.Size = screenHeight_ / 40 + 4;
    canvas.Font.Color = 0xFFFFFF;
    canvas.BrushTransparent = true;
    if (noticeLines_.empty()) noticeLines_ = WrapText(canvas, notice_, screenWidth_ - 8);
    const int lineHeight = canvas.Font.Size * 4 / 3 + 2;
    const int shown = std::min(int(noticeLines_.size()), (screenHeight_ - 8) / lineHeight);
    const int top = (screenHeight_ - shown * lineHeight) / 2 - 4;
    const int bottom = top + shown * lineHeight + 8;
    for (int y = std::max(0, top); y < std::min(screenHeight_, bottom); ++y)
        for (int x = 0; x < screenWidth_; ++x)
            back.SetPixel(x, y, y == top || y == bottom - 1 ? 0xF800 : 0x4000);
    for (int i = 0; i < shown; ++i)
        canvas.TextOut(4, top + 4 + i * lineHeight, noticeLines_[size_t(i)]);
}

void Player::UpdateCursor() {
    video_.Presenter().SetCursorVisible(!video_.FullScreen);
}

void Player::ScanHeaderInto(const std::string& path, PlaySettings& state, ChartHeader& header) {
    ScanHeaderWith(reading_, decimalSeparator_, path, state, header);
}

void Player::ScanChartHeader(const std::string& path) {
    const auto scan = [&](PlaySettings& state, ChartHeader& header) {
        ScanHeaderInto(path, state, header);
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
        const auto* named = dynamic_cast<const standard::ChartFileError*>(&e);
        select_.ShowUnreadable(UnreadableChart{header.Title, header.Artist, state.PlayLevel,
                                               state.Bpm, named ? named->Reason() : e.what()});
        const std::string message = e.what();
        if (named || !reading_.Standard || message.find(ChartTextToUtf8(path)) != std::string::npos)
            throw;
        throw Error(ChartTextToUtf8(path) + ": " + message);
    }
}

// The chart search runs again at every display initialisation; the list is
// made anew each time so it never holds a chart twice. Its generation changes
// when the new list differs from the one before.
void Player::SearchCharts() {
    const std::vector<std::string> before = std::move(songs_.ChartList);
    songs_.ChartList.clear();
    // A songs folder that is not there is the user's mistake, not an empty
    // library: the first one missing is named.
    missingSongsFolder_.clear();
    std::vector<std::filesystem::path> searched;
    for (const std::string& folder : songsFolders_) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            if (missingSongsFolder_.empty()) missingSongsFolder_ = folder;
            continue;
        }
        // A folder named twice is searched once.
        const std::filesystem::path same = std::filesystem::weakly_canonical(folder, ec);
        if (std::find(searched.begin(), searched.end(), same) != searched.end()) continue;
        searched.push_back(same);
        // The standard reading's charts have four extensions: every file is
        // looked at, in the same order.
        chartSearch_.Directory = folder;
        chartSearch_.SearchName = reading_.Standard ? "*" : "*.bms";
        chartSearch_.Search();
    }
    if (!missingSongsFolder_.empty() && refusal_.empty())
        refusal_ = ChartTextToUtf8(missingSongsFolder_) + ": " + Tr(TextNoSongsFolder);
    if (songs_.ChartIndex >= int32_t(songs_.ChartList.size())) songs_.ChartIndex = 0;
    if (songs_.ChartList != before) ++songs_.Generation;
}

// A folder named like a chart cannot be played: only files go on the list.
void Player::AddFoundChart(const std::string& name, const FoundFile& data, bool&) {
    if (!data.IsDirectory && (!reading_.Standard || HasChartExtension(name, true)))
        songs_.ChartList.push_back(name);
}

} // namespace tappo
