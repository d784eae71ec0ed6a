#include "play/PlayFrame.h"

#include <string>

namespace tappo {
namespace {

bool InWindow(int64_t t, const TPlayState& p) { return p.PrevSongTime <= t && t < p.SongTime; }

// Starts every record of `list` in this frame's window; times are shifted by `offset`.
template <class F> void ScanWindow(const TEventList& list, int32_t& cursor, int64_t offset,
                                   const TPlayState& p, F start) {
    for (size_t i = size_t(std::max(cursor, 0)); i < list.size(); ++i) {
        const int64_t t = list[i].Time + offset;
        if (t >= p.SongTime) break; // sorted: nothing later is in the window
        if (InWindow(t, p)) {
            cursor = int32_t(i);
            start(list[i], t);
        }
    }
}

// The first record in the window changes the image; later ones in the same
// frame are never applied.
void ChangeImage(const TEventList& list, int32_t& cursor, const TPlayState& p, int32_t& image) {
    for (size_t i = size_t(std::max(cursor, 0)); i < list.size(); ++i) {
        if (list[i].Time >= p.SongTime) break;
        if (InWindow(list[i].Time, p)) {
            image = list[i].Slot();
            cursor = int32_t(i);
            return;
        }
    }
}

void DrawImage(TPlayScene& s, int32_t image, bool keyed) {
    if (image < 0 || image >= SlotCount) return;
    const auto& surface = s.BgaSurfaces[size_t(image)];
    if (surface) s.Display.Surface().Draw(0, 0, s.FullScreenRect, surface.get(), keyed);
}

bool AnyChannelPlaying(TDDSD& sound) {
    for (int c = 0; c < sound.ChannelCount(); ++c)
        if (sound.ChannelStatus(c) == 1) return true;
    return false;
}

} // namespace

void PlayKeysound(TPlayScene& s, int slot, int64_t songTime) {
    if (s.GameMode != ModePlay || slot < 0 || slot > StepTickSlot || !s.Keysounds[size_t(slot)]) return;
    for (int c = 0; c < s.Sound.ChannelCount(); ++c) {
        if (s.Sound.ChannelStatus(c) == 1) continue;
        s.Sound.SetChannelSample(c, s.Keysounds[size_t(slot)].get());
        if (s.FrameOfSongTime)
            s.Sound.PlayChannelAt(c, s.FrameOfSongTime(songTime));
        else
            s.Sound.PlayChannel(c);
        return;
    }
}

void StopEverything(TPlayScene& s) {
    for (int c = 0; c < s.Sound.ChannelCount(); ++c) s.Sound.StopChannel(c);
    if (s.Play.MidiLoaded) s.Music.Stop();
}

void PlayFrame(TPlayScene& s) {
    TPlayState& p = s.Play;
    TEventLists& ev = s.Chart.Events;
    const int32_t tick = int32_t(s.Clock.GetTickCount());

    // 1. The song waits until frames come steadily.
    if (s.Timer.FrameRate() < StartGateFrameRate && p.SongStartTick == 0) {
        TDirectDrawSurface& back = s.Display.Surface();
        back.Fill(0);
        TDirectDrawSurfaceCanvas& canvas = back.Canvas();
        canvas.Font.Name = "MS Serif";
        canvas.Font.Color = 0x00FF00;
        canvas.TextOut(276, 222, std::to_string(s.Timer.FrameRate()) + " fps");
        canvas.Release();
        return;
    }
    // 2. Clock start, and the music with it.
    if (p.SongStartTick == 0) {
        p.SongStartTick = tick;
        if (p.MidiLoaded) {
            if (s.FrameOfSongTime)
                s.Music.PlayAt(s.FrameOfSongTime(0));
            else
                s.Music.Play();
        }
    }
    // 3. Clock; paused, Up and Down step it by 50 ms.
    if (s.GameMode == ModePaused) {
        s.Input.UpdateKeyboard();
        const TDXInputStates keys = s.Input.Keyboard.States;
        if (keys & StateBit(isUp)) p.PauseTick = std::max(p.PauseTick - 50, 0);
        if (keys & StateBit(isDown)) p.PauseTick += 50;
        p.SongTime = p.PauseTick - p.SongStartTick;
        p.EventCursors.fill(0);
    } else {
        p.SongTime = tick - p.SongStartTick;
    }
    // 4, 5. The end: the clock has passed the last sound, the music has
    // stopped and every channel is quiet.
    if (p.PrevSongTime <= s.Chart.LastSoundTime && s.Chart.LastSoundTime < p.SongTime) p.SongEnded = true;
    if (p.SongEnded && s.Music.Mode() != 2 && !AnyChannelPlaying(s.Sound)) {
        if (s.ChartList.empty()) {
            if (s.Close) s.Close();
        } else {
            s.GameMode = ModeSelect;
            s.ChartActive = false;
        }
    }
    // 6. Keysounds.
    ScanWindow(ev.SoundEvents(), p.EventCursors[SoundEventsIndex], 0, p,
               [&](const TEventRecord& r, int64_t t) { PlayKeysound(s, r.Slot(), t); });
    // 7. Step ticks, moved with the arrows by LateTime.
    if (s.Toggles.StepTickOn)
        ScanWindow(ev.StepTickEvents(), p.EventCursors[StepTickEventsIndex], p.LateTime, p,
                   [&](const TEventRecord&, int64_t t) { PlayKeysound(s, StepTickSlot, t); });
    // 8. Background.
    if (s.Display.CanDraw()) {
        if (s.Toggles.ShowBga && s.Chart.HasBga) {
            ChangeImage(ev.BgaBaseEvents(), p.EventCursors[BgaBaseEventsIndex], p, s.GameState.BgaBaseImage);
            DrawImage(s, s.GameState.BgaBaseImage, false);
            if (s.Chart.HasBgaLayer) {
                ChangeImage(ev.BgaLayerEvents(), p.EventCursors[BgaLayerEventsIndex], p,
                            s.GameState.BgaLayerImage);
                DrawImage(s, s.GameState.BgaLayerImage, true);
            }
        } else if (s.DrawBackground) {
            s.DrawBackground();
        }
    }
    // 9, 10. Overlay, receptors and arrows.
    if (s.DrawOverlay) s.DrawOverlay();
    if (s.DrawNoteField) s.DrawNoteField();
    // 11.
    p.PrevSongTime = p.SongTime;
}

} // namespace tappo
