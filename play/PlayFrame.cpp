#include "play/PlayFrame.h"
#include "play/Seek.h"

#include "base/Report.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace tappo {
namespace {

bool InWindow(int64_t t, const PlayState& p) {
    return p.PrevSongTime <= t && t < p.SongTime;
}

// Starts every record of `list` in this frame's window; times are shifted by `offset`.
template <class F>
void ScanWindow(const EventList& list, int32_t& cursor, int64_t offset, const PlayState& p,
                F start) {
    for (size_t i = size_t(std::max(cursor, 0)); i < list.size(); ++i) {
        const int64_t t = list[i].Time + offset;
        if (t >= p.SongTime) break; // sorted: nothing later is in the window
        if (InWindow(t, p)) {
            cursor = int32_t(i);
            start(list[i], t);
        }
    }
}

// The video the base or the `layer` channel shows of slot `image`, if any:
// the layer's own where it has one.
BgaVideo* VideoOf(PlayScene& s, int32_t image, bool layer) {
    if (image < 0 || image >= int(s.Session.BgaVideos.size())) return nullptr;
    if (layer && s.Session.LayerVideos[size_t(image)])
        return s.Session.LayerVideos[size_t(image)].get();
    return s.Session.BgaVideos[size_t(image)].get();
}

// The first record in the window changes the image; later ones in the same
// frame are never applied. A video the record names starts at its time; the
// video it replaces stops.
void ChangeImage(PlayScene& s, const EventList& list, int32_t& cursor, int32_t& image, bool layer) {
    const PlayState& p = s.Play;
    for (size_t i = size_t(std::max(cursor, 0)); i < list.size(); ++i) {
        if (list[i].Time >= p.SongTime) break;
        if (InWindow(list[i].Time, p)) {
            const int32_t before = image;
            image = list[i].Slot();
            cursor = int32_t(i);
            BgaVideo* left = before != image ? VideoOf(s, before, layer) : nullptr;
            if (left) left->Leave();
            if (BgaVideo* video = VideoOf(s, image, layer)) video->Start(list[i].Time);
            return;
        }
    }
}

// A video slot's surface gets the frame of the song time: exactly that frame
// where the mix follows the virtual clock (headless runs and renders), the
// newest decoded one in live play. Its problems are reported once.
void ShowVideo(PlayScene& s, int32_t image, bool layer) {
    BgaVideo* video = VideoOf(s, image, layer);
    if (!video) return;
    video->Show(s.Play.SongTime, s.MixClockStart.has_value());
    const std::string problem = video->TakeProblem();
    if (problem.empty()) return;
    s.Problems.Report(problem);
    ReportOnConsole(problem);
}

// False when the slot has no picture. The layer is drawn keyed, from its own
// video's surface where it has one.
bool DrawImage(PlayScene& s, int32_t image, bool layer) {
    if (image < 0 || image >= int(s.Session.BgaSurfaces.size())) return false;
    const auto& own = s.Session.LayerSurfaces[size_t(image)];
    const auto& surface = layer && own ? own : s.Session.BgaSurfaces[size_t(image)];
    if (surface) s.Services.Video.Back().Draw(0, 0, s.FullScreenRect, surface.get(), layer);
    return surface != nullptr;
}

// Live, the song clock runs ahead of the frames the device has taken by the
// queue's lead and a frame's time, so every keysound a frame finds is still
// to be mixed and starts at its own frame (one found later starts at once).
// At a playback rate the delay is that real time in song frames.
constexpr int LiveFrameMarginMs = 10;
int64_t LiveDelayFrames(const PlayScene& s) {
    const int64_t frames = s.LiveSound->LeadFrames() + MixFramesOfSongTime(LiveFrameMarginMs);
    return frames * s.Sound.PlaybackRatePercent() / 100;
}

bool AnyChannelFree(Mixer& sound) {
    for (int c = 0; c < sound.ChannelCount(); ++c)
        if (sound.ChannelStatus(c) != ChannelPlaying) return true;
    return false;
}

} // namespace

int64_t FrameOfSongTime(const PlayScene& s, int64_t songTime) {
    if (s.MixClockStart)
        return MixFrameOfTick(uint32_t(s.Play.SongStartTick), *s.MixClockStart) +
               s.Play.SeekFrameShift + MixFramesOfSongTime(songTime);
    if (s.Play.OnSoundClock) return s.Play.SongStartFrame + MixFramesOfSongTime(songTime);
    return -1;
}

int64_t MixFrameOfTick(uint32_t tick, uint32_t tick0) {
    return int64_t(tick - tick0) * MixRate / 1000;
}

int64_t MixFramesOfSongTime(int64_t songTime) {
    return songTime >= 0 ? songTime * MixRate / 1000 : -((-songTime * MixRate + 999) / 1000);
}

void PlayKeysound(PlayScene& s, int slot, int64_t songTime, bool background, uint32_t sliceStart,
                  uint32_t sliceFrames) {
    if (s.Flow.Screen != ScreenPlay || slot < 0 || slot > StepTickSlot ||
        !s.Session.KeysoundSlots[size_t(slot)])
        return;
    // A loop's end mark cuts the sound there, as a seek would.
    if (const uint32_t bound = FramesBeforeLoopEnd(s.Play, songTime); bound != WholeSound) {
        // The exact reading still takes the first free channel, or none.
        if (!s.Sound.StandardMixing() && !AnyChannelFree(s.Sound)) return;
        s.Sound.StartVoice(s.Session.KeysoundSlots[size_t(slot)].get(),
                           FrameOfSongTime(s, songTime), background, sliceStart,
                           std::min(sliceFrames, bound));
        return;
    }
    if (s.Sound.StandardMixing()) {
        s.Sound.StartVoice(s.Session.KeysoundSlots[size_t(slot)].get(),
                           FrameOfSongTime(s, songTime), background, sliceStart, sliceFrames);
        return;
    }
    for (int c = 0; c < s.Sound.ChannelCount(); ++c) {
        if (s.Sound.ChannelStatus(c) == ChannelPlaying) continue;
        s.Sound.SetChannelSample(c, s.Session.KeysoundSlots[size_t(slot)].get());
        s.Sound.PlayChannel(c, FrameOfSongTime(s, songTime));
        return;
    }
}

void StopEverything(PlayScene& s) {
    for (int c = 0; c < s.Sound.ChannelCount(); ++c)
        s.Sound.StopChannel(c);
    if (s.Play.MidiLoaded) s.Music.Stop();
}

namespace {

// The song waits until frames come steadily: a clock started during the first
// uneven frames would run the arrows in jerks. Meanwhile the frame rate shows.
bool WaitForSteadyFrames(PlayScene& s) {
    if (s.Services.Timer.FrameRate() >= StartGateFrameRate || s.Play.SongStartTick != 0)
        return false;
    Surface& back = s.Services.Video.Back();
    back.Fill(0);
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Color = 0x00FF00;
    canvas.WriteText(276, 222, std::to_string(s.Services.Timer.FrameRate()) + " fps");
    return true;
}

// Live: song time `songTime` at `tick` is placed on the sound clock, the
// delay ahead of the song frame the device has taken. Through the playback
// rate's stage the sound comes later than the mix by its lag: the song frame
// of `songTime` goes that much later still, and the picture starts the lag
// before `songTime`, finding each keysound the lag ahead of its time
// (SoundLookaheadMs), so picture and sound keep the delay of rate 1.
void SetSoundClock(PlayScene& s, int32_t songTime, int32_t tick) {
    PlayState& p = s.Play;
    const int64_t lag = s.Sound.RateLagSongFrames();
    p.SoundLookaheadMs = int32_t((lag * 1000 + MixRate - 1) / MixRate);
    p.SongStartFrame = s.LiveSound->SoundClockSongFrame() + LiveDelayFrames(s) +
                       MixFramesOfSongTime(p.SoundLookaheadMs) - MixFramesOfSongTime(songTime);
    p.LiveClock.Start(songTime - p.SoundLookaheadMs, tick);
    if (p.SoundLookaheadMs) p.SongTime = p.PrevSongTime = songTime - p.SoundLookaheadMs;
    p.LiveStartTick = p.SongStartTick;
    p.OnSoundClock = true;
}

// Live: the song clock moves with the system clock, steered toward the song
// time of the sound clock. The start tick follows it, so pause and resume
// work on it as on the plain clock.
void RunOnSoundClock(PlayScene& s, int32_t tick) {
    PlayState& p = s.Play;
    const int64_t sinceStart =
        s.LiveSound->SoundClockSongFrame() + LiveDelayFrames(s) - p.SongStartFrame;
    const double soundTime = double(sinceStart) * 1000 / MixRate;
    p.SongTime = int32_t(std::floor(p.LiveClock.Advance(tick, soundTime)));
    p.SongStartTick = p.LiveStartTick = tick - p.SongTime;
}

// The song clock. The first steady frame is song time 0 and the music starts
// with it. While paused the clock stands at the pause tick, which Up and Down
// step by 50 ms; the cursors go back to the start so a step back finds its
// events again.
void RunSongClock(PlayScene& s, int32_t tick) {
    PlayState& p = s.Play;
    const bool live = !s.MixClockStart && s.LiveSound;
    if (p.SongStartTick == 0) {
        p.SongStartTick = tick;
        p.OnSoundClock = false;
        p.SeekFrameShift = 0;
        p.OpeningBaseImage = s.Session.GameState.BgaBaseImage;
        p.OpeningLayerImage = s.Session.GameState.BgaLayerImage;
        if (live) SetSoundClock(s, 0, tick);
        if (p.StartAt != 0) {
            SeekTo(s, p.StartAt, tick);
        } else if (p.MidiLoaded) {
            if (s.MixClockStart || p.OnSoundClock)
                s.Music.PlayAt(FrameOfSongTime(s, 0));
            else
                s.Music.Play();
        }
    } else if (live && s.Flow.Screen == ScreenPlay) {
        if (!p.OnSoundClock || p.SongStartTick != p.LiveStartTick)
            SetSoundClock(s, tick - p.SongStartTick, tick); // resumed or restarted
        RunOnSoundClock(s, tick);
        return;
    }
    if (s.Flow.Screen == ScreenPaused) {
        s.Input.UpdateKeyboard();
        const Actions keys = s.Input.Keyboard.States;
        if (HasAction(keys, Action::Up)) p.PauseTick = std::max(p.PauseTick - 50, 0);
        if (HasAction(keys, Action::Down)) p.PauseTick += 50;
        p.SongTime = p.PauseTick - p.SongStartTick;
        p.EventCursors.fill(0);
    } else {
        p.SongTime = tick - p.SongStartTick - (p.OnSoundClock ? p.SoundLookaheadMs : 0);
    }
}

// The end: the clock has passed the last sound, the music has stopped and
// every channel is quiet; the screen flow decides what comes next.
void CheckSongEnd(PlayScene& s) {
    PlayState& p = s.Play;
    // A loop's passage plays on, even where it holds the song's last sound.
    if (p.Loop.Runs() && p.PrevSongTime < p.Loop.EndTime) return;
    if (p.PrevSongTime <= s.Session.Chart.LastSoundTime &&
        s.Session.Chart.LastSoundTime < p.SongTime)
        p.SongEnded = true;
    if (!p.SongEnded || s.Music.Mode() == MusicPlaying || s.Sound.AnyChannelPlaying()) return;
    // The sounds the voices lost in this play, before the program ends or
    // goes back to the select screen.
    s.Sound.ReportLostVoices();
    s.Report(ScreenOutcome::SongOver);
}

// The chart's images when shown, else the note field's own background.
void DrawBackground(PlayScene& s) {
    PlayState& p = s.Play;
    EventLists& ev = s.Session.Chart.Events;
    if (!s.Toggles.ShowBga || !s.Session.Chart.HasBga) {
        s.NoteField.DrawBackground();
        return;
    }
    ChangeImage(s, ev.BgaBaseEvents(), p.EventCursors[BgaBaseEventsIndex],
                s.Session.GameState.BgaBaseImage, false);
    ShowVideo(s, s.Session.GameState.BgaBaseImage, false);
    // Without a base picture (none yet, or its file did not load) the screen
    // is black, not what the frames before left on it.
    if (!DrawImage(s, s.Session.GameState.BgaBaseImage, false)) s.Services.Video.Back().Fill(0);
    if (s.Session.Chart.HasBgaLayer) {
        ChangeImage(s, ev.BgaLayerEvents(), p.EventCursors[BgaLayerEventsIndex],
                    s.Session.GameState.BgaLayerImage, true);
        ShowVideo(s, s.Session.GameState.BgaLayerImage, true);
        DrawImage(s, s.Session.GameState.BgaLayerImage, true);
    }
}

// Keysounds of this frame's window, each on a free channel (in the standard
// reading, on the oldest keysound's channel when none is free), and the step
// ticks, moved with the arrows by LateTime so they sound where the arrows
// meet the receptors.
void StartWindowSounds(PlayScene& s) {
    PlayState& p = s.Play;
    EventLists& ev = s.Session.Chart.Events;
    // Live through the playback rate's stage they are found its lag ahead.
    const int32_t ahead = p.OnSoundClock ? p.SoundLookaheadMs : 0;
    ScanWindow(ev.SoundEvents(), p.EventCursors[SoundEventsIndex], -ahead, p,
               [&](const EventRecord& r, int64_t t) {
                   PlayKeysound(s, r.Slot(), t + ahead, r.Background, r.SliceStart, r.SliceFrames);
               });
    if (s.Toggles.StepTickOn)
        ScanWindow(
            ev.StepTickEvents(), p.EventCursors[StepTickEventsIndex], p.LateTime - ahead, p,
            [&](const EventRecord&, int64_t t) { PlayKeysound(s, StepTickSlot, t + ahead); });
}

// Live, the end mark's frame may be mixed before the frame that passes it
// runs: the frame before does the joint, ahead of the mix. A frame's time is
// real time: at a playback rate it spans that many more ms of the song.
constexpr int32_t LiveJointLeadMs = 1000 / StartGateFrameRate;
int32_t LiveJointLead(const PlayScene& s) {
    return LiveJointLeadMs * s.Sound.PlaybackRatePercent() / 100 + s.Play.SoundLookaheadMs;
}

// A window that reaches the loop's end mark: its sounds up to the mark, then
// play goes on from the start mark (as often as the window holds the passage).
void PassLoopJoints(PlayScene& s, int32_t tick) {
    PlayState& p = s.Play;
    const int32_t ahead = !s.MixClockStart && p.OnSoundClock ? LiveJointLead(s) : 0;
    for (int pass = 0; pass < 1000 && s.Flow.Screen == ScreenPlay && p.Loop.Runs() &&
                       p.PrevSongTime < p.Loop.EndTime && p.Loop.EndTime <= p.SongTime + ahead;
         ++pass) {
        // Sounds started before the loop was set have no bound: the joint
        // stops them as the frame finds it.
        if (std::exchange(p.Loop.Unbounded, false))
            for (int c = 0; c < s.Sound.ChannelCount(); ++c)
                s.Sound.StopChannel(c);
        const int32_t now = p.SongTime;
        // The window's sounds are found the rate stage's lag ahead: it ends
        // that much before the mark, so none past the mark starts.
        p.SongTime = p.Loop.EndTime - (p.OnSoundClock ? p.SoundLookaheadMs : 0);
        StartWindowSounds(s);
        JumpToLoopStart(s, now, tick);
        if (!p.Loop.Runs()) p.PrevSongTime = p.SongTime;
    }
}

bool LoopFinished(const PlayLoop& loop) {
    return loop.LastPass > 0 && loop.Passes >= loop.LastPass;
}

} // namespace

void PlayFrame(PlayScene& s) {
    PlayState& p = s.Play;
    if (WaitForSteadyFrames(s)) return;
    const int32_t tick = int32_t(s.Clock.NowMs());
    RunSongClock(s, tick);
    PassLoopJoints(s, tick);
    CheckSongEnd(s);
    // Play stopped at the loop's end on its last pass starts nothing more.
    if (!LoopFinished(p.Loop)) StartWindowSounds(s);
    if (s.Services.Video.CanDraw()) DrawBackground(s);
    s.NoteField.DrawOverlay();
    s.NoteField.DrawReceptorsAndArrows();
    s.NoteField.DrawLoop();
    // The next frame's window starts where this one ends.
    p.PrevSongTime = p.SongTime;
}

void PlayScreen::TogglePause() {
    PlayScene& s = scene_;
    const int32_t tick = int32_t(s.Clock.NowMs());
    if (s.Flow.Screen == ScreenPlay) {
        s.Play.PauseTick = tick;
        StopEverything(s);
        s.Report(ScreenOutcome::Paused);
    } else if (s.Flow.Screen == ScreenPaused) {
        s.Play.SongStartTick += tick - s.Play.PauseTick;
        s.Report(ScreenOutcome::Resumed);
    }
}

void SetSongTime(PlayScene& s, int32_t songTime, int32_t tick) {
    PlayState& p = s.Play;
    if (s.Flow.Screen == ScreenPaused) {
        p.SongStartTick = p.PauseTick - songTime;
    } else {
        p.SongStartTick = tick - songTime;
        // Start tick 0 means a clock not started yet: the song runs a
        // millisecond ahead instead.
        if (p.SongStartTick == 0) p.SongStartTick = -1;
        if (s.MixClockStart) {
            const uint32_t tick0 = *s.MixClockStart;
            p.SeekFrameShift = MixFrameOfTick(uint32_t(tick), tick0) -
                               MixFramesOfSongTime(songTime) -
                               MixFrameOfTick(uint32_t(p.SongStartTick), tick0);
        } else if (p.OnSoundClock && s.LiveSound) {
            SetSoundClock(s, songTime, tick);
        }
    }
    p.SongTime = p.PrevSongTime = songTime - (p.OnSoundClock ? p.SoundLookaheadMs : 0);
}

void PlayScreen::Restart() {
    PlayScene& s = scene_;
    if (s.Flow.Screen != ScreenPlay && s.Flow.Screen != ScreenPaused) return;
    StopEverything(s);
    s.Sound.ReportLostVoices();
    s.Play.SongStartTick = int32_t(s.Clock.NowMs());
    s.Play.SeekFrameShift = 0;
    s.Play.EventCursors.fill(0);
    s.Play.Loop.Unbounded = false;
    s.Report(ScreenOutcome::Resumed);
}

} // namespace tappo
