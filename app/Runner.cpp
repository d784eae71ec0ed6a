#include "app/Runner.h"
#include "base/Translate.h"

#include "app/LibraryAccess.h"
#include "app/Player.h"
#include "app/Settings.h"
#include "base/Report.h"
#include "chart/Convert.h"
#include "formats/VideoWriter.h"
#include "formats/WaveWriter.h"
#include "platform/Font.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <unistd.h>

namespace tappo {
namespace {

// Saves the pictures asked for on the command line once their frame is drawn.
class Screenshots {
  public:
    explicit Screenshots(const CommandLine& cl) : shots_(cl.Screenshots) {}
    // Returns false when a file could not be written.
    bool AfterFrame(long frame, Player& player) {
        bool ok = true;
        for (const auto& [at, path] : shots_) {
            if (at != frame) continue;
            try {
                WritePng(path, player.Status().Picture());
            } catch (const std::exception& e) {
                player.ReportError(Tr("cannot save the screenshot: ") + std::string(e.what()));
                ok = false;
            }
        }
        return ok;
    }

  private:
    std::vector<std::pair<long, std::string>> shots_;
};

std::string ProgramFolderOf(const CommandLine& cl) {
    return cl.ProgramFolder.empty() ? ExecutableFolder() : cl.ProgramFolder;
}

// The folders named on the command line or in the settings; without any, the
// program folder's and the user's songs (the user's folder made on the first
// run that shows the select screen).
std::vector<std::string> SongsFoldersOf(const CommandLine& cl) {
    if (!cl.Songs.empty()) return cl.Songs;
    if (!cl.Arguments.empty()) return {};
    return DefaultSongFolders(ProgramFolderOf(cl));
}

// Start-up shared by both runs; returns false when the program must stop.
// With `scanLibrary` the song folders are scanned into the song database
// while the select screen is up (a run in a window; headless runs use the
// database as it is, so that what they draw never depends on timing).
bool StartPlayer(Player& player, const CommandLine& cl, MessageBox& box, bool scanLibrary) {
    try {
        ScanOptions scan;
        scan.Roots = SongsFoldersOf(cl);
        scan.Reading = ChartReadingOf(cl, false);
        scan.DecimalSeparator = LocaleDecimalSeparator();
        player.UseLibrary(OpenLibraryView(cl.LibraryDb, scan.Reading.Standard,
                                          scanLibrary && !scan.Roots.empty() ? &scan : nullptr));
        player.StartWithSort(cl.Sort);
        player.Guarded([&] { player.StartUp(cl.Arguments); });
        // Holding Start at start (or --windowed) keeps the player in a window.
        const bool fullScreen = !cl.Windowed && !player.StartHeld();
        player.Guarded([&] { player.OpenDisplay(fullScreen); });
    } catch (const StartupError& e) {
        box.Show(e.what());
        return false;
    }
    return true;
}

// Where the problem log is, when the run wrote to it.
void ReportProblemLog(Player& player) {
    const ProblemLog& log = player.Problems();
    if (log.Count() == 0) return;
    ReportOnConsole(FormatText(Tr("lines this run wrote to the problem log %s: %s"), log.Path(),
                               std::to_string(log.Count())));
}

// A volume the keys changed is the next run's volume too.
void KeepVolume(const Player& player, const CommandLine& cl) {
    if (player.Status().Volume().Level() == cl.Volume) return;
    Settings changed;
    changed.Volume = player.Status().Volume().Level();
    try {
        SaveSettings(SettingsPath(), changed);
    } catch (const std::exception& e) {
        ReportOnConsole(e.what());
    }
}

// A sort the keys chose is the next run's sort too.
void KeepSort(const Player& player, const CommandLine& cl) {
    const SongSort sort = player.Status().SelectView().Choice().Sort;
    if (sort == cl.Sort) return;
    Settings changed;
    changed.Sort = sort;
    try {
        SaveSettings(SettingsPath(), changed);
    } catch (const std::exception& e) {
        ReportOnConsole(e.what());
    }
}

bool FrameDone(Player& player, const CommandLine& cl, Screenshots& shots, long framesBefore,
               bool& shotsOk) {
    if (player.Status().FramesRun() != framesBefore)
        shotsOk &= shots.AfterFrame(player.Status().FramesRun(), player);
    return cl.Frames >= 0 && player.Status().FramesRun() >= cl.Frames;
}

// Shows how far an offline render has come: on a terminal the seconds
// rendered (a video render adds a bar, its share and its frames a second),
// elsewhere, for a video render, one line at every tenth.
class Progress {
  public:
    Progress() = default;
    Progress(bool enabled, bool video)
        : terminal_(enabled && isatty(2)), tenths_(enabled && video && !terminal_), video_(video),
          started_(std::chrono::steady_clock::now()) {}
    void Show(double seconds, double expected, long frames) {
        if (tenths_) return ShowTenth(seconds, expected);
        if (!terminal_ || seconds < shown_ + 0.5) return;
        shown_ = seconds;
        if (!video_) {
            std::fprintf(stderr, "\rRendering: %6.1f s of about %.1f s", seconds, expected);
            return;
        }
        const double share = expected > 0 ? std::min(1.0, seconds / expected) : 1.0;
        char bar[21] = {};
        for (int i = 0; i < 20; ++i)
            bar[i] = i < int(share * 20) ? '#' : '.';
        const double rate = seconds / Elapsed(); // song seconds a second
        std::fprintf(stderr, "\rRendering: [%s] %3d%% %.0f frames/s, %.0f s left ", bar,
                     int(share * 100), double(frames) / Elapsed(),
                     rate > 0 ? (expected - seconds) / rate : 0.0);
    }
    // The render has ended; `complete`: all of it was written.
    void Done(bool complete = false) {
        if (terminal_) std::fprintf(stderr, "\r%79s\r", "");
        if (tenths_ && complete && tenthShown_ < 10) std::fprintf(stderr, "Rendering: 100%%\n");
    }
    double Elapsed() const {
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - started_;
        return std::max(d.count(), 1e-3);
    }

  private:
    void ShowTenth(double seconds, double expected) {
        const int tenth = expected > 0 ? int(std::min(1.0, seconds / expected) * 10) : 10;
        if (tenth <= tenthShown_) return;
        tenthShown_ = tenth;
        std::fprintf(stderr, "Rendering: %d%% (%.1f s of %.1f s)\n", tenth * 10, seconds, expected);
    }

    bool terminal_ = false, tenths_ = false, video_ = false;
    std::chrono::steady_clock::time_point started_;
    double shown_ = -1;
    int tenthShown_ = 0;
};

// SIGINT and SIGTERM end a headless run between two frames, so an
// unfinished render or screenshot never stays behind under its temporary name.
volatile std::sig_atomic_t stopSignal = 0;
extern "C" void OnStopSignal(int signal) {
    stopSignal = signal;
}

class StopSignals {
  public:
    StopSignals() {
        stopSignal = 0;
        struct sigaction sa = {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    int Received() const { return stopSignal; }

  private:
    struct sigaction oldInt_ = {};
    struct sigaction oldTerm_ = {};
};

// The song waits for a measured rate of 40 frames a second. On the virtual
// clock frames before the song starts are therefore at most 25 ms apart; once
// it runs they are --frame-ms apart. Sounds are placed by song time, not by
// frame, so a render is sample-exact at any step.
bool SongWaiting(const Player& player) {
    return (player.Status().Mode() == ScreenPlay || player.Status().Mode() == ScreenPaused) &&
           !player.Status().SongStarted();
}

uint32_t HeadlessFrameStep(const Player& player, int frameMs) {
    return uint32_t(SongWaiting(player) ? std::min(frameMs, 1000 / StartGateFrameRate) : frameMs);
}

// Where a render's sound goes: interleaved stereo frames.
using SoundSink = std::function<void(const int16_t*, size_t)>;

// The headless mix, pulled in step with the virtual clock. A WAV render gets
// everything from the song's start on; a video render (`fromClockStart`)
// starts with the loading screen at the clock's start, so its sound is the
// same mix after silence from then to the song's start.
class StepMixer {
  public:
    // `endAtLoop`: the file ends where a loop's last pass does (a sound
    // render; a video holds its last picture with the sound going on).
    StepMixer(Player& player, uint32_t tick0, SoundSink sink, bool fromClockStart, bool endAtLoop)
        : player_(player), tick0_(tick0), sink_(std::move(sink)), silenceDue_(fromClockStart),
          endAtLoop_(endAtLoop) {}
    void MixUpTo(uint32_t tick) { MixOutputTo(MixFrameOfTick(tick, tick0_)); }
    // Through the playback rate's stage the sound of the song mixed comes
    // its lag later: a render ends with it.
    void MixLag() {
        const Mixer& sound = player_.SoundOutput();
        MixOutputTo(sound.OutputFrameOfSong(sound.SongFramesMixed()));
    }

  private:
    // The play clock starts with the mix (at the playback rate): its song
    // frames are the mixer's, and the output frames the render's.
    void MixOutputTo(int64_t due) {
        const bool started = player_.Status().SongStarted();
        // A song started at a later point (--start-measure, --start-ms) is
        // written from that point on; that frame is kept, as a loop's joint
        // moves the song's frames on.
        const PlayState& play = player_.Status().Playback();
        const Mixer& sound = player_.SoundOutput();
        if (started && !songStart_) {
            songStart_ =
                sound.OutputFrameOfSong(MixFrameOfTick(uint32_t(play.SongStartTick), tick0_) +
                                        play.SeekFrameShift + MixFramesOfSongTime(play.StartAt));
            if (silenceDue_) WriteSilence(*songStart_);
        }
        const int64_t songStart = songStart_.value_or(due);
        // Play stopped at a loop's end on its last pass: the file ends there.
        const int64_t songEnd = endAtLoop_ && play.Loop.FinalFrame >= 0
                                    ? sound.OutputFrameOfSong(play.Loop.FinalFrame)
                                    : INT64_MAX;
        while (mixed_ < due) {
            const int n = int(std::min<int64_t>(due - mixed_, int64_t(block_.size() / 2)));
            player_.SoundOutput().Mix(block_.data(), n);
            if (sink_ && started && mixed_ + n > songStart && mixed_ < songEnd) {
                const int64_t skip = std::max<int64_t>(0, songStart - mixed_);
                const int64_t kept = std::min<int64_t>(n, songEnd - mixed_);
                if (kept > skip) sink_(block_.data() + skip * 2, size_t(kept - skip));
            }
            mixed_ += n;
        }
    }

    // The frames from the clock's start to the song's start, as silence.
    void WriteSilence(int64_t frames) {
        silenceDue_ = false;
        if (!sink_) return;
        const std::vector<int16_t> zeros(block_.size(), 0);
        for (int64_t left = frames; left > 0;) {
            const int64_t n = std::min<int64_t>(left, int64_t(zeros.size() / 2));
            sink_(zeros.data(), size_t(n));
            left -= n;
        }
    }

    Player& player_;
    uint32_t tick0_;
    SoundSink sink_;
    bool silenceDue_;
    bool endAtLoop_;
    std::vector<int16_t> block_ = std::vector<int16_t>(4096 * 2);
    int64_t mixed_ = 0;
    std::optional<int64_t> songStart_;
};

bool FinishRender(WaveFileWriter& wav, const std::string& path, MessageBox& box) {
    try {
        wav.Finish();
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", double(wav.Frames()) / MixRate);
        ReportOnConsole(FormatText(Tr("wrote %s s of audio to %s"), seconds, path));
        return true;
    } catch (const std::exception& e) {
        box.Show(e.what());
        return false;
    }
}

// The render file, or none with the reason shown.
std::unique_ptr<WaveFileWriter> OpenRender(const Player& player, const CommandLine& cl,
                                           MessageBox& box) {
    // A chart may place its last sound weeks in: refuse at once rather than
    // after hours of rendering what no WAV file can hold. A run cut short by
    // --frames renders no more than its frames.
    double lastMs = player.Status().CurrentChart().Chart.LastSoundTime;
    if (cl.Frames >= 0) lastMs = std::min(lastMs, double(cl.Frames) * cl.FrameMs);
    if (lastMs * MixRate / 1000 > double(WaveFileWriter::MaxFrames)) {
        box.Show(cl.RenderWav + ": " + Tr(TextTooLongForWave));
        return nullptr;
    }
    try {
        return std::make_unique<WaveFileWriter>(cl.RenderWav);
    } catch (const std::exception& e) {
        box.Show(e.what());
        return nullptr;
    }
}

// The video render file, or none with the reason shown.
std::unique_ptr<VideoFileWriter> OpenVideoRender(const Player& player, const CommandLine& cl,
                                                 MessageBox& box) {
    const VideoSettings settings{.Scale = cl.VideoScale,
                                 .FramesPerSecond = cl.VideoFps,
                                 .Quality = cl.VideoCrf,
                                 .Preset = cl.VideoPreset,
                                 .SoundRate = MixRate};
    const Surface& picture = player.Status().Picture();
    try {
        return std::make_unique<VideoFileWriter>(cl.RenderVideo, picture.Width(), picture.Height(),
                                                 settings);
    } catch (const std::exception& e) {
        box.Show(e.what());
        return nullptr;
    }
}

// The video render's pictures: from the clock's start (the loading screen,
// which takes no time on the virtual clock) one every 1/fps second, to the
// nearest millisecond, each the picture the player shows at that time.
class VideoFrames {
  public:
    VideoFrames(VideoFileWriter* writer, int fps, uint32_t tick0)
        : writer_(writer), fps_(fps), startTick_(tick0) {}
    bool Recording() const { return writer_ != nullptr; }
    // The virtual clock's step onto the next picture's time; before the
    // song starts no more than the headless frame step, so that the song's
    // start gate sees its frame rate.
    uint32_t StepToNext(const Player& player, uint32_t now, int frameMs) const {
        const uint32_t step = HeadlessFrameStep(player, frameMs);
        if (!Recording()) return step;
        const int64_t next = TickOf(writer_->Pictures()) - now;
        return uint32_t(std::clamp<int64_t>(next, 1, SongWaiting(player) ? step : INT32_MAX));
    }
    // The first picture: the loading screen as first shown (`pixels`, a
    // picture of the player's size), or the player's picture where none was.
    void Begin(const Player& player, const std::vector<uint16_t>& pixels) {
        if (!Recording()) return;
        const Surface& picture = player.Status().Picture();
        if (pixels.size() == size_t(picture.Width()) * size_t(picture.Height()))
            writer_->WritePicture(pixels.data(), picture.Width());
        else
            Write(picture);
    }
    // After a frame at `now`: its picture for every picture time it has reached.
    void AfterFrame(const Player& player, uint32_t now) {
        if (!Recording()) return;
        songSeen_ = songSeen_ || player.Status().SongStarted();
        while (TickOf(writer_->Pictures()) <= now)
            Write(player.Status().Picture());
    }
    // The last picture held for a second past the song's end, with the mix
    // going on under it.
    void HoldLast(const Player& player, const std::function<void(uint32_t)>& mixUpTo) {
        if (!Recording()) return;
        for (int i = 0; i < fps_; ++i) {
            Write(player.Status().Picture());
            mixUpTo(uint32_t(TickOf(writer_->Pictures() - 1)));
        }
        mixUpTo(uint32_t(TickOf(writer_->Pictures())));
    }
    bool SongSeen() const { return songSeen_; }

  private:
    int64_t TickOf(int64_t picture) const {
        return startTick_ + (picture * 1000 + fps_ / 2) / fps_;
    }
    void Write(const Surface& picture) { writer_->WritePicture(picture.Bits(), picture.Width()); }

    VideoFileWriter* writer_;
    int fps_;
    int64_t startTick_;
    bool songSeen_ = false;
};

// What a headless run makes: the render file (when asked for), whether every
// screenshot was written, and the signal that stopped it (0 for none).
struct HeadlessOutputs {
    std::unique_ptr<WaveFileWriter> wav;
    std::unique_ptr<VideoFileWriter> video;
    Progress progress;
    bool shotsOk = true;
    bool songSeen = false; // the song started within the run
    int signal = 0;
    std::vector<uint16_t> loadingScreen; // the first picture presented, for the video
};

bool FinishVideoRender(VideoFileWriter& video, const CommandLine& cl, const HeadlessOutputs& out,
                       MessageBox& box) {
    // Cut short by --frames before the song's first frame: nothing to show.
    if (!out.songSeen) {
        box.Show(cl.RenderVideo + ": " +
                 Tr("the run ended before the song started; no file written"));
        return false;
    }
    try {
        video.Finish();
        char summary[96];
        std::snprintf(summary, sizeof summary, "%.2f s, %lld frames, %.0f frames/s",
                      double(video.Pictures()) / cl.VideoFps,
                      static_cast<long long>(video.Pictures()),
                      double(video.Pictures()) / out.progress.Elapsed());
        ReportOnConsole(FormatText(Tr("wrote %s of video to %s"), summary, cl.RenderVideo));
        return true;
    } catch (const std::exception& e) {
        box.Show(e.what());
        return false;
    }
}

// The exit code of a headless run that has stopped: an interrupted one leaves
// no file behind, a finished render is written out.
int EndHeadlessRun(const Player& player, const CommandLine& cl, HeadlessOutputs& out,
                   MessageBox& box) {
    if (out.signal) {
        // The writer removes its unfinished file.
        out.progress.Done();
        const bool render = out.wav != nullptr || out.video != nullptr;
        out.wav.reset();
        out.video.reset();
        ReportOnConsole(render ? Tr("interrupted; no file written") : Tr("interrupted"));
        return 128 + out.signal;
    }
    if (out.wav) {
        out.progress.Done();
        if (!FinishRender(*out.wav, cl.RenderWav, box)) return 1;
    }
    if (out.video) {
        out.progress.Done(true);
        if (!FinishVideoRender(*out.video, cl, out, box)) return 1;
    }
    if (player.Status().ExitCode()) return player.Status().ExitCode();
    return out.shotsOk ? 0 : 1;
}

// The frames of a headless run, each followed by the mix up to its tick,
// until the run ends, its frames are done or a signal stops it.
void RunHeadlessFrames(Player& player, VirtualClock& clock, const CommandLine& cl, uint32_t tick0,
                       HeadlessOutputs& out) {
    StopSignals signals;
    Screenshots shots(cl);
    SoundSink sink;
    if (out.wav) sink = [&](const int16_t* s, size_t n) { out.wav->Write(s, n); };
    if (out.video) sink = [&](const int16_t* s, size_t n) { out.video->WriteSound(s, n); };
    StepMixer mixer(player, tick0, sink, out.video != nullptr, !out.video);
    VideoFrames frames(out.video.get(), cl.VideoFps, tick0);
    frames.Begin(player, out.loadingScreen);
    const double expected =
        player.Status().CurrentChart().Chart.LastSoundTime / 1000.0 + (out.video ? 1.0 : 0.0);
    while (!player.Status().CloseRequested() && player.Status().Timer().Running()) {
        if (cl.Frames >= 0 && player.Status().FramesRun() >= cl.Frames) break;
        if (signals.Received() || (out.wav && out.wav->TooLong())) break;
        const long before = player.Status().FramesRun();
        clock.Advance(frames.StepToNext(player, clock.NowMs(), cl.FrameMs));
        player.Guarded([&] { player.Tick(); });
        // The frame has scheduled everything before its tick: mix up to it.
        mixer.MixUpTo(clock.NowMs());
        if (player.Status().FramesRun() != before) frames.AfterFrame(player, clock.NowMs());
        if (out.wav || out.video)
            out.progress.Show(player.Status().SongTime() / 1000.0, expected,
                              out.video ? long(out.video->Pictures()) : 0);
        if (FrameDone(player, cl, shots, before, out.shotsOk)) break;
    }
    out.signal = signals.Received();
    out.songSeen = frames.SongSeen();
    if (!out.signal) frames.HoldLast(player, [&](uint32_t tick) { mixer.MixUpTo(tick); });
    if (!out.signal && out.wav) mixer.MixLag();
}

// Headless play and offline rendering: the real form on the virtual clock,
// with the mix pulled in step with it. Keysounds and music start at the exact
// mix frame of their song time, so a rendered file has every sound where the
// chart puts it.
int RunHeadless(const CommandLine& cl) {
    const bool render = !cl.RenderWav.empty() || !cl.RenderVideo.empty();
    VirtualClock clock;
    HeadlessPresenter presenter;
    StderrMessageBox box;
    TextRenderer fonts;
    ScriptedKeys keys; // nobody holds a key in a headless run
    PlayerServices services{.Clock = clock,
                            .Presenter = presenter,
                            .Messages = box,
                            .Fonts = &fonts,
                            .ProgramFolder = ProgramFolderOf(cl),
                            .SongsFolders = SongsFoldersOf(cl),
                            .SoundOutput = MixerOutput::Pull,
                            .AudioBufferFrames = cl.AudioBufferFrames,
                            .Keys = &keys,
                            .MixFollowsClock = true,
                            .Volume = cl.Volume,
                            // A render nobody looks at skips the drawing: it
                            // is the sound that counts.
                            .DrawPictures =
                                !render || !cl.Screenshots.empty() || !cl.RenderVideo.empty(),
                            .StartMeasure = cl.StartMeasure,
                            .StartMs = cl.StartMs,
                            .ScrollFactor = cl.ScrollFactor,
                            .LoopMeasures = cl.LoopMeasures,
                            .LoopPasses = LoopPassesOf(cl),
                            .RatePercent = cl.RatePercent,
                            .RateKeepsPitch = cl.RateKeepsPitch};
    // A video starts with the loading screen, which the player draws while
    // it starts up, before any frame.
    HeadlessOutputs out;
    if (!cl.RenderVideo.empty())
        presenter.OnPresent = [&out](const Surface& picture) {
            if (out.loadingScreen.empty())
                out.loadingScreen.assign(picture.Bits(),
                                         picture.Bits() +
                                             size_t(picture.Width()) * size_t(picture.Height()));
        };
    // The mix follows the clock from here.
    const uint32_t tick0 = clock.NowMs();
    auto owned = std::make_unique<Player>(services);
    Player& player = *owned;
    // Headless runs and renders are reproducible: #RANDOM takes 1 unless seeded.
    player.UseReading(ChartReadingOf(cl, false));
    if (!StartPlayer(player, cl, box, false)) return 1;
    if (player.Status().CloseRequested())
        return player.Status().ExitCode(); // the chart did not compile
    // Nothing to play (a file that is no chart, a songs folder that is not
    // there): a run nobody watches ends at once, before any file is made.
    if (!player.Status().Refusal().empty()) {
        box.Show(player.Status().Refusal());
        player.ShutDown();
        return 1;
    }

    presenter.OnPresent = nullptr;
    if (!cl.RenderWav.empty() && !(out.wav = OpenRender(player, cl, box))) return 1;
    if (!cl.RenderVideo.empty() && !(out.video = OpenVideoRender(player, cl, box))) return 1;
    out.progress = Progress(render, out.video != nullptr);
    RunHeadlessFrames(player, clock, cl, tick0, out);
    player.ShutDown();
    ReportProblemLog(player);
    return EndHeadlessRun(player, cl, out, box);
}

// The window's events and frames until the program ends or its frames are
// done; returns whether every screenshot was written.
bool RunWindowFrames(Player& player, SdlPlatform& sdl, const CommandLine& cl) {
    EventSink sink;
    sink.KeyDown = [&](Key key) { player.Guarded([&] { player.KeyDown(key); }); };
    sink.TextTyped = [&](const std::string& text) {
        player.Guarded([&] { player.TextTyped(text); });
    };
    sink.CloseRequest = [&] { player.Close(); };
    sink.Activate = [&](bool active) { player.SetActive(active); };
    Screenshots shots(cl);
    bool shotsOk = true;
    while (!player.Status().CloseRequested()) {
        sdl.PumpEvents(sink, player.Status().Timer().Running() ? 0 : 50);
        if (player.Status().CloseRequested()) break;
        const long before = player.Status().FramesRun();
        player.Guarded([&] { player.Tick(); });
        if (FrameDone(player, cl, shots, before, shotsOk)) break;
    }
    return shotsOk;
}

int RunOnScreen(const CommandLine& cl) {
    std::unique_ptr<SdlPlatform> sdl;
    try {
        sdl = std::make_unique<SdlPlatform>(cl.Scale);
    } catch (const std::exception& e) {
        ReportOnConsole(e.what());
        return 1;
    }
    TextRenderer fonts;
    // While a chart loads, the window keeps answering: Esc stops the load, and
    // closing the window stops it and ends the program.
    Player* loading = nullptr;
    bool stopLoad = false;
    EventSink loadSink;
    loadSink.KeyDown = [&](Key key) { stopLoad = stopLoad || key == Key::Escape; };
    loadSink.CloseRequest = [&] {
        stopLoad = true;
        if (loading) loading->Close();
    };
    PlayerServices services{.Clock = *sdl,
                            .Presenter = *sdl,
                            .Messages = *sdl,
                            .Fonts = &fonts,
                            .ProgramFolder = ProgramFolderOf(cl),
                            .SongsFolders = SongsFoldersOf(cl),
                            .SoundOutput = MixerOutput::Device,
                            .AudioBufferFrames = cl.AudioBufferFrames,
                            .Keys = sdl.get(),
                            .Joystick = sdl.get(),
                            .KeepLoading =
                                [&] {
                                    stopLoad = false;
                                    sdl->PumpEvents(loadSink);
                                    return !stopLoad;
                                },
                            .Volume = cl.Volume,
                            .StartMeasure = cl.StartMeasure,
                            .StartMs = cl.StartMs,
                            .ScrollFactor = cl.ScrollFactor,
                            .LoopMeasures = cl.LoopMeasures,
                            .LoopPasses = LoopPassesOf(cl),
                            .RatePercent = cl.RatePercent,
                            .RateKeepsPitch = cl.RateKeepsPitch};
    auto owned = std::make_unique<Player>(services);
    Player& player = *owned;
    player.UseReading(ChartReadingOf(cl, true));
    loading = &player;
    if (!StartPlayer(player, cl, *sdl, true)) return 1;
    // The window shows its error screen; the console says which file or folder.
    if (!player.Status().Refusal().empty()) ReportOnConsole(player.Status().Refusal());
    const bool shotsOk = RunWindowFrames(player, *sdl, cl);
    player.UseLibrary(LibraryView()); // a scan still running stops here
    player.ShutDown();
    ReportProblemLog(player);
    KeepVolume(player, cl);
    KeepSort(player, cl);
    if (player.Status().ExitCode()) return player.Status().ExitCode();
    return shotsOk ? 0 : 1;
}

} // namespace

int RunPlayer(const CommandLine& commandLine) {
    const CommandLine& cl = commandLine;
    const bool headless = cl.Headless || !cl.RenderWav.empty() || !cl.RenderVideo.empty();
    return headless ? RunHeadless(cl) : RunOnScreen(cl);
}

} // namespace tappo
