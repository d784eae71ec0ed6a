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

std::string PathInMessage(const std::string& path) {
    return IsValidUtf8(path) ? path : Cp932ToUtf8(path);
}

std::string CompileErrorText(const std::string& path, const CompileError& e) {
    const std::string text = e.what();
    if (text.find(path) != std::string::npos) return text;
    const std::string line = e.Line() > 0 ? ":" + std::to_string(e.Line()) : std::string();
    return PathInMessage(path) + line + ": " + text;
}

Player::Player(const PlayerServices& services)
    : Video(services.Presenter, services.Fonts), Timer(services.Clock), Sprites(&Video),
      Sound(services.SoundOutput, ProblemLogPath(services.ProgramFolder),
            services.AudioBufferFrames),
      Volume(Sound), Preview(Sound), ProgramFolder(services.ProgramFolder),
      SongsFolders(services.SongsFolders.empty() ? std::vector<std::string>{services.ProgramFolder}
                                                 : services.SongsFolders),
      DecimalSeparator(LocaleDecimalSeparator()), Services(Video, Sprites, Timer, Warp),
      NoteField(Services, ArrowSprites, Flow, Play, Toggles, Session),
      Scene(
          Flow, Songs.ChartList, Play, Toggles, Session, Sound, Music, Pad, Services,
          FullScreenRect, services.Clock, NoteField, [this] { Close(); },
          services.MixFollowsClock ? std::optional<uint32_t>(services.Clock.NowMs())
                                   : std::nullopt),
      Select(
          Services, Pad, Songs, Toggles, Session, ProgramFolder, SongsFolders,
          [this](const std::string& path) { ScanChartHeader(path); },
          [this](const std::string& path) { StartChart(path); }),
      messages_(services.Messages), clock_(services.Clock), keepLoading_(services.KeepLoading) {
    Sound.AddSource(&Music);
    Sound.SetMasterVolume(services.Volume);
    Select.Clock = &services.Clock;
    Select.Preview = &Preview;
    Select.ChartTitle = [this](const std::string& path) {
        PlaySettings state;
        ChartHeader header;
        try {
            ScanHeaderInto(path, state, header);
        } catch (const std::exception&) {
            // the title the scan reached, if any
        }
        return header.Title;
    };
    Pad.Keyboard.Source = services.Keys;
    Pad.Joystick.Source = services.Joystick;
    ChartSearch.SearchName = "*.bms";
    ChartSearch.Recursive = true;
    ChartSearch.OnFind = [this](const std::string& name, const FoundFile& data, bool& c) {
        AddFoundChart(name, data, c);
    };
    Video.OnInitialize = [this] { MakeSurfaces(); };
    Video.OnFinalize = [this] { ReleaseSurfaces(); };
    Timer.OnTimer = [this] { RunFrame(); };
}

Player::~Player() {
    // Surfaces made on the display go before the display itself.
    Video.Finalize();
    Sound.RemoveSource(&Music);
}

void Player::StartUp(const std::vector<std::string>& args) {
    UpdateCursor();
    if (ProgramFolder.empty()) ProgramFolder = ExecutableFolder();
    // The player cannot run without its sprite archive and warp picture: these
    // failures end start-up with the file named.
    try {
        Sprites.LoadFromFile(ProgramFolder + "tappoplay.dxg");
        Warp.InitWarp(ProgramFolder);
    } catch (const Error& e) {
        throw StartupError(e.what());
    }
    Songs.ChartList.clear();
    Session.Chart.Events.CreateEventLists();
    // Command line: only the first argument counts. A chart named there plays
    // at once, and the chart list stays empty: its end closes the program.
    if (args.empty()) {
        Flow.Screen = ScreenSelect;
        Flow.ChartActive = false;
    } else if (!HasChartExtension(args[0], Reading.Standard)) {
        Flow.Screen = ScreenNotAChart;
        refusal_ = PathInMessage(args[0]) + ": " + Tr(TextNotChart);
        // A chart only the standard reading plays: say how to play it, and
        // end with an error once the error screen is left.
        if (HasChartExtension(args[0], true)) {
            refusal_ += std::string(" ") + Tr(TextReadWithStandard);
            exitCode_ = 1;
        }
    } else {
        StartChart(args[0]);
    }
    Songs.SlideDirection = 1;
    Toggles = PlayToggles{};
    Songs.ChartIndex = 0;
    ScreenHeight = Video.Mode.Height;
    ScreenWidth = Video.Mode.Width;
    FullScreenRect = Rect{0, 0, ScreenWidth, ScreenHeight};
}

void Player::OpenDisplay() {
    if (!Video.InitializeRequested()) Video.Initialize();
}

// Every surface is made anew at each initialisation (start-up and the F3
// toggle): the chart's images, or else the chart search and the first header.
void Player::MakeSurfaces() {
    ShowLoadingScreen();
    if (Flow.ChartActive) {
        LoadBgaImages();
        // A command-line chart's load ends here: its loading screen is gone.
        stagePicture_ = Image();
    } else {
        SearchCharts();
        if (Songs.ChartList.empty()) {
            if (Flow.Screen != ScreenNotAChart) Flow.Screen = ScreenNoCharts;
        } else {
            // A chart with a broken header is reported; start-up goes on.
            // The header of the chart the select screen shows: after a display
            // re-initialisation that is not always the first one.
            Guarded([&] { ScanChartHeader(Songs.ChartList[size_t(Songs.ChartIndex)]); });
        }
    }
    for (auto* banner : {&Select.BannerSurface, &Select.PrevBannerSurface}) {
        *banner = std::make_unique<Surface>(&Video);
        (*banner)->SetColorKey(0);
        (*banner)->SetSize(80, 52);
    }
    try {
        ArrowSprites.LoadArrowSprites(Video, ProgramFolder);
    } catch (const Error& e) {
        throw StartupError(e.what());
    }
    if (Flow.Screen == ScreenSelect && !Songs.ChartList.empty())
        Guarded([&] { LoadBanner(Songs.ChartList[size_t(Songs.ChartIndex)]); });
    Timer.SetEnabled(true);
}

void Player::ReleaseSurfaces() {
    for (auto& surface : Session.BgaSurfaces)
        surface.reset();
    ArrowSprites.Free();
    Select.BannerSurface.reset();
    Select.PrevBannerSurface.reset();
}

void Player::RunFrame() {
    ++framesRun_;
    switch (Flow.Screen) {
    case ScreenNoCharts:
    case ScreenNotAChart:
        DrawErrorScreen();
        break;
    case ScreenSelect:
        SelectFrame();
        break;
    case ScreenPlay:
    case ScreenPaused:
        PlayFrame();
        break;
    default:
        break;
    }
    DrawNotice();
    Volume.Draw(Video, clock_.NowMs());
    if (Video.FullScreen) Video.Presenter().MovePointer(ScreenWidth / 2, ScreenHeight / 2);
    Video.Flip();
}

void Player::CommandKey(Key key) {
    // Any key takes an error band away; the key does its own work too.
    notice_.clear();
    switch (key) {
    case Key::PageUp:
        ++Play.LateTime;
        break;
    case Key::PageDown:
        --Play.LateTime;
        break;
    case Key::F1:
        Toggles.ShowFps = !Toggles.ShowFps;
        break;
    case Key::F2:
        Toggles.ShowBga = !Toggles.ShowBga;
        break;
    case Key::F3:
        // Re-making the display needs a steady frame rate first.
        if (Timer.FrameRate() >= StartGateFrameRate) ToggleFullScreen();
        break;
    case Key::F4: {
        const int32_t tick = int32_t(Scene.Clock.NowMs());
        if (Flow.Screen == ScreenPlay) {
            Flow.Screen = ScreenPaused;
            Play.PauseTick = tick;
            StopEverything(Scene);
        } else if (Flow.Screen == ScreenPaused) {
            Flow.Screen = ScreenPlay;
            Play.SongStartTick += tick - Play.PauseTick;
        }
        break;
    }
    case Key::F5:
        // Restart, also from the pause.
        if (Flow.Screen == ScreenPlay || Flow.Screen == ScreenPaused) {
            StopEverything(Scene);
            Sound.ReportLostVoices();
            Play.SongStartTick = int32_t(Scene.Clock.NowMs());
            Play.EventCursors.fill(0);
            Flow.Screen = ScreenPlay;
        }
        break;
    case Key::F6:
        Toggles.StepTickOn = !Toggles.StepTickOn;
        break;
    case Key::F7:
        Toggles.WarpInPlay = !Toggles.WarpInPlay;
        break;
    case Key::Minus:
    case Key::Plus:
        Volume.Change(key == Key::Plus ? 1 : -1, clock_.NowMs());
        break;
    default:
        if (Flow.Screen == ScreenSelect) Select.JumpKey(key);
        break;
    }
}

void Player::LeaveKey(Key key) {
    if (key != Key::Escape) return;
    // Esc: leave play, or end the program where there is nothing to go back to.
    if (Songs.ChartList.empty() || !Flow.ChartActive) Close();
    Flow.Screen = ScreenSelect;
    Flow.ChartActive = false;
    for (int c = 0; c < Sound.ChannelCount(); ++c)
        if (Sound.ChannelStatus(c) == ChannelPlaying) Sound.StopChannel(c);
    if (Play.MidiLoaded) Music.Stop();
    Sound.ReportLostVoices();
}

void Player::ToggleFullScreen() {
    Video.Finalize();
    Video.FullScreen = !Video.FullScreen;
    Video.Initialize();
}

void Player::ShutDown() {
    Sound.ReportLostVoices(); // a run ended before its song did
    FreeKeysounds(Session.KeysoundSlots);
    Music.Close();
    Session.Chart.Events.ClearEventLists();
    Session.Chart.Events.FreeEventLists();
    Songs.ChartList.clear();
    Warp.FreeWarp();
    Video.Presenter().SetCursorVisible(true);
}

void Player::WriteCentredText(const char* text) {
    SurfaceCanvas& canvas = Video.Back().Canvas();
    canvas.Font.Name = "MS Serif";
    canvas.Font.Size = ScreenWidth / 32;
    canvas.Font.Color = 0xFFFFFF;
    canvas.BrushTransparent = true;
    canvas.TextOut((ScreenWidth - canvas.TextWidth(text)) / 2, ScreenHeight / 2 - 40, text);
}

void Player::ShowLoadingScreen() {
    DrawLoadingProgress(0, 0);
}

void Player::DrawLoadingProgress(int done, int total) {
    lastLoadingDraw_ = clock_.NowMs();
    if (Video.CanDraw()) {
        Surface& back = Video.Back();
        back.Fill(0);
        // A chart's stage picture, stretched over the screen, while it loads.
        const bool loadingChart = Flow.Screen == ScreenPlay || Flow.Screen == ScreenPaused;
        if (loadingChart && stagePicture_.Width > 0 && stagePicture_.Height > 0) {
            back.Canvas().CopyRect(Bounds(0, 0, ScreenWidth, ScreenHeight), stagePicture_,
                                   Bounds(0, 0, stagePicture_.Width, stagePicture_.Height));
            // The text and the bar stand on a band of the picture at a quarter
            // of its brightness, readable on the brightest picture.
            for (int y = ScreenHeight / 2 - 46; y < ScreenHeight / 2; ++y)
                for (int x = 0; x < ScreenWidth; ++x)
                    back.SetPixel(x, y, uint16_t((back.Pixel(x, y) >> 2) & 0x39E7));
        }
        WriteCentredText(Tr(TextLoading));
        if (total > 0) {
            // A frame of grey with the files done in white, under the text.
            const int x0 = ScreenWidth / 4, width = ScreenWidth / 2, y0 = ScreenHeight / 2 - 12;
            const int filled = int(int64_t(width - 4) * std::clamp(done, 0, total) / total);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < width; ++x) {
                    const bool frame = y == 0 || y == 7 || x == 0 || x == width - 1;
                    const bool bar = y >= 2 && y <= 5 && x >= 2 && x - 2 < filled;
                    if (frame || bar) back.SetPixel(x0 + x, y0 + y, frame ? 0x8410 : 0xFFFF);
                }
        }
    }
    UpdateCursor();
    Video.Flip();
}

void Player::DrawErrorScreen() {
    Warp.UpdateWarp();
    SurfaceCanvas& canvas = Video.Back().Canvas();
    canvas.Draw(0, 0, Warp.WarpImage);
    if (Flow.Screen == ScreenNoCharts && !missingSongsFolder_.empty()) {
        // The folder the user named, under the message.
        WriteCentredText(Tr(TextNoSongsFolder));
        const std::string folder = PathInMessage(missingSongsFolder_);
        canvas.Font.Size = ScreenHeight / 40 + 4;
        canvas.TextOut(std::max(0, (ScreenWidth - canvas.TextWidth(folder)) / 2),
                       ScreenHeight / 2 - 16, folder);
    } else {
        WriteCentredText(Tr(Flow.Screen == ScreenNoCharts ? TextNoCharts : TextNotChart));
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
    if (!Video.CanDraw()) return;
    Surface& back = Video.Back();
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Name = "MS Serif";
    canvas.Font.Size = ScreenHeight / 40 + 4;
    canvas.Font.Color = 0xFFFFFF;
    canvas.BrushTransparent = true;
    if (noticeLines_.empty()) noticeLines_ = WrapText(canvas, notice_, ScreenWidth - 8);
    const int lineHeight = canvas.Font.Size * 4 / 3 + 2;
    const int shown = std::min(int(noticeLines_.size()), (ScreenHeight - 8) / lineHeight);
    const int top = (ScreenHeight - shown * lineHeight) / 2 - 4;
    const int bottom = top + shown * lineHeight + 8;
    for (int y = std::max(0, top); y < std::min(ScreenHeight, bottom); ++y)
        for (int x = 0; x < ScreenWidth; ++x)
            back.SetPixel(x, y, y == top || y == bottom - 1 ? 0xF800 : 0x4000);
    for (int i = 0; i < shown; ++i)
        canvas.TextOut(4, top + 4 + i * lineHeight, noticeLines_[size_t(i)]);
}

void Player::UpdateCursor() {
    Video.Presenter().SetCursorVisible(!Video.FullScreen);
}

void Player::SelectFrame() {
    Select.SelectFrame();
}

void Player::PlayFrame() {
    tappo::PlayFrame(Scene);
}

void Player::ScanHeaderInto(const std::string& path, PlaySettings& state, ChartHeader& header) {
    if (Reading.Standard) {
        ChartReading reading = Reading;
        reading.Options.DecimalSeparator = DecimalSeparator;
        standard::ScanHeader(path, reading, state, header);
    } else {
        exact::ScanHeader(path, state, header, DecimalSeparator);
    }
}

void Player::ScanChartHeader(const std::string& path) {
    const auto scan = [&](PlaySettings& state, ChartHeader& header) {
        ScanHeaderInto(path, state, header);
    };
    Select.Unreadable.reset();
    try {
        scan(Session.GameState, Session.Header);
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
        Select.Unreadable =
            UnreadableChart{header.Title, header.Artist, state.PlayLevel, state.Bpm, e.what()};
        throw;
    }
}

// The chart search runs again at every display initialisation; the list is
// made anew each time so it never holds a chart twice.
void Player::SearchCharts() {
    Songs.ChartList.clear();
    // A songs folder that is not there is the user's mistake, not an empty
    // library: the first one missing is named.
    missingSongsFolder_.clear();
    std::vector<std::filesystem::path> searched;
    for (const std::string& folder : SongsFolders) {
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
        ChartSearch.Directory = folder;
        ChartSearch.SearchName = Reading.Standard ? "*" : "*.bms";
        ChartSearch.Search();
    }
    if (!missingSongsFolder_.empty() && refusal_.empty())
        refusal_ = PathInMessage(missingSongsFolder_) + ": " + Tr(TextNoSongsFolder);
    if (Songs.ChartIndex >= int32_t(Songs.ChartList.size())) Songs.ChartIndex = 0;
}

// A folder named like a chart cannot be played: only files go on the list.
void Player::AddFoundChart(const std::string& name, const FoundFile& data, bool&) {
    if (!data.IsDirectory && (!Reading.Standard || HasChartExtension(name, true)))
        Songs.ChartList.push_back(name);
}

void Player::LoadBanner(const std::string& path) {
    Select.LoadBanner(path);
}

} // namespace tappo
