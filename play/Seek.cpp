#include "play/Seek.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tappo {
namespace {

// Index of the last record before `songTime` (times moved by `offset`), or -1.
int32_t LastBefore(const EventList& list, int64_t songTime, int64_t offset = 0) {
    const auto after =
        std::lower_bound(list.begin(), list.end(), songTime,
                         [&](const EventRecord& r, int64_t t) { return r.Time + offset < t; });
    return int32_t(after - list.begin()) - 1;
}

// The image the base or the layer shows at `songTime`; a video it names
// plays from its record's time, the one shown before it stops.
void PlaceImage(PlayScene& s, const EventList& list, int32_t songTime, int32_t opening,
                int32_t& image, bool layer) {
    const int32_t last = LastBefore(list, songTime);
    const int32_t now = last >= 0 ? list[size_t(last)].Slot() : opening;
    auto videoOf = [&](int32_t slot) -> BgaVideo* {
        if (slot < 0 || slot >= int(s.Session.BgaVideos.size())) return nullptr;
        if (layer && s.Session.LayerVideos[size_t(slot)])
            return s.Session.LayerVideos[size_t(slot)].get();
        return s.Session.BgaVideos[size_t(slot)].get();
    };
    if (BgaVideo* left = videoOf(image)) left->Leave();
    image = now;
    if (BgaVideo* video = last >= 0 ? videoOf(now) : nullptr) video->Start(list[size_t(last)].Time);
}

// The keysounds that started before `songTime` and still sound there, the
// latest as many as there are channels, each started from the frame it has
// reached.
void ResumeKeysounds(PlayScene& s, int32_t songTime) {
    if (s.Flow.Screen != ScreenPlay) return;
    const EventList& sounds = s.Session.Chart.Events.SoundEvents();
    struct Resumed {
        const Sample* Sound;
        bool Background;
        uint32_t From, Frames;
    };
    std::vector<Resumed> resumed;
    const int64_t seekFrame = MixFramesOfSongTime(songTime);
    for (int32_t i = LastBefore(sounds, songTime);
         i >= 0 && int(resumed.size()) < s.Sound.ChannelCount(); --i) {
        const EventRecord& r = sounds[size_t(i)];
        const int slot = r.Slot();
        if (slot < 0 || slot > StepTickSlot || !s.Session.KeysoundSlots[size_t(slot)]) continue;
        const Sample* sound = s.Session.KeysoundSlots[size_t(slot)].get();
        if (!sound->HasBuffer()) continue;
        const int64_t played = seekFrame - MixFramesOfSongTime(r.Time);
        const int64_t end = std::min<int64_t>(int64_t(sound->Pcm()->Frames()),
                                              int64_t(r.SliceStart) + r.SliceFrames);
        const int64_t from = int64_t(r.SliceStart) + played;
        if (from >= end) continue;
        const int64_t frames = std::min<int64_t>(end - from, FramesBeforeLoopEnd(s.Play, songTime));
        resumed.push_back({sound, r.Background, uint32_t(from), uint32_t(frames)});
    }
    const int64_t at = FrameOfSongTime(s, songTime);
    for (auto it = resumed.rbegin(); it != resumed.rend(); ++it)
        s.Sound.StartVoice(it->Sound, at, it->Background, it->From, it->Frames);
}

// The music at `songTime` of the piece; it plays on only while play runs.
void PlaceMusic(PlayScene& s, int32_t songTime) {
    if (!s.Play.MidiLoaded) return;
    s.Music.Seek(std::max(songTime, 0));
    if (s.Flow.Screen != ScreenPlay) return;
    if (s.MixClockStart || s.Play.OnSoundClock)
        s.Music.PlayAt(FrameOfSongTime(s, songTime));
    else
        s.Music.Play();
}

// The cursors, the images and the keysounds of song time `songTime`.
void PlaceEvents(PlayScene& s, int32_t songTime) {
    PlayState& p = s.Play;
    PlaceCursors(p, s.Session.Chart.Events, songTime, s.Toggles.StepTickOn);
    PlaceImage(s, s.Session.Chart.Events.BgaBaseEvents(), songTime, p.OpeningBaseImage,
               s.Session.GameState.BgaBaseImage, false);
    PlaceImage(s, s.Session.Chart.Events.BgaLayerEvents(), songTime, p.OpeningLayerImage,
               s.Session.GameState.BgaLayerImage, true);
    ResumeKeysounds(s, songTime);
}

} // namespace

namespace {

// A measure line's time in whole ms, the song clock's last ms for a line
// later than it can count (a tempo near zero).
int32_t LineMs(double time) {
    return time < double(INT32_MAX) ? int32_t(time) : INT32_MAX;
}

} // namespace

std::optional<int32_t> MeasureStartTime(const ChartData& chart, int measure) {
    if (measure < 0 || measure > chart.LastObjectMeasure || measure >= MeasureCount)
        return std::nullopt;
    return LineMs(chart.MeasureStart[size_t(measure)]);
}

std::optional<int32_t> MeasureLineTime(const ChartData& chart, int line) {
    const int last = std::max(0, chart.LastObjectMeasure);
    if (line != last + 1 || last >= MeasureCount) return MeasureStartTime(chart, line);
    return LineMs(chart.MeasureStart[size_t(last)] + chart.MeasureLength[size_t(last)]);
}

int MeasureAt(const ChartData& chart, int32_t songTime) {
    int measure = 0;
    while (measure + 1 < MeasureCount && measure + 1 <= chart.LastObjectMeasure &&
           chart.MeasureStart[size_t(measure + 1)] <= songTime)
        ++measure;
    return measure;
}

bool SongTimeInChart(const ChartData& chart, int32_t songTime) {
    return songTime >= 0 && songTime <= chart.LastSoundTime;
}

void PlaceCursors(PlayState& p, const EventLists& events, int32_t songTime, bool stepTicksOn) {
    p.EventCursors.fill(0);
    const int32_t late = p.LateTime;
    p.EventCursors[SoundEventsIndex] = std::max(0, LastBefore(events[SoundEventsIndex], songTime));
    if (stepTicksOn)
        p.EventCursors[StepTickEventsIndex] =
            std::max(0, LastBefore(events[StepTickEventsIndex], songTime, late));
    p.EventCursors[BgaBaseEventsIndex] =
        std::max(0, LastBefore(events[BgaBaseEventsIndex], songTime));
    p.EventCursors[BgaLayerEventsIndex] =
        std::max(0, LastBefore(events[BgaLayerEventsIndex], songTime));
}

void SeekTo(PlayScene& s, int32_t songTime, int32_t tick) {
    StopEverything(s);
    SetSongTime(s, songTime, tick);
    s.Play.SongEnded = songTime > s.Session.Chart.LastSoundTime;
    s.Play.Loop.Unbounded = false;
    PlaceEvents(s, songTime);
    PlaceMusic(s, songTime);
}

uint32_t FramesBeforeLoopEnd(const PlayState& p, int64_t songTime) {
    if (!p.Loop.Runs() || songTime >= p.Loop.EndTime) return WholeSound;
    return uint32_t(std::min<int64_t>(
        MixFramesOfSongTime(p.Loop.EndTime) - MixFramesOfSongTime(songTime), WholeSound - 1));
}

void JumpToLoopStart(PlayScene& s, int32_t now, int32_t tick) {
    PlayState& p = s.Play;
    PlayLoop& loop = p.Loop;
    const int64_t joint = FrameOfSongTime(s, loop.EndTime);
    ++loop.Passes;
    if (!loop.Runs()) {
        // The last pass: the sounds end at the mark, the picture stands there.
        loop.FinalFrame = joint;
        if (p.MidiLoaded) s.Music.JumpAt(joint, std::nullopt);
        p.SongEnded = true;
        p.SongTime = loop.EndTime;
        return;
    }
    // A joint done ahead of the mix (live) starts the picture at the start
    // mark; its clock is steered onto the sound's within moments. Through the
    // rate stage the picture is the stage's lag behind the mix, and the
    // window finds sounds that much ahead: both start the lag before the mark.
    const int32_t startShown = loop.StartTime - (p.OnSoundClock ? p.SoundLookaheadMs : 0);
    const int32_t songTime = std::max(now - (loop.EndTime - loop.StartTime), startShown);
    p.SongStartTick += now - songTime;
    if (p.SongStartTick == 0) p.SongStartTick = -1; // 0 is a clock not started
    p.SongTime = songTime;
    p.PrevSongTime = startShown;
    p.SongEnded = false;
    if (s.MixClockStart) {
        p.SeekFrameShift = joint - MixFrameOfTick(uint32_t(p.SongStartTick), *s.MixClockStart) -
                           MixFramesOfSongTime(loop.StartTime);
    } else if (p.OnSoundClock) {
        p.SongStartFrame = joint - MixFramesOfSongTime(loop.StartTime);
        p.LiveClock.Start(p.SongTime, tick);
        p.SongStartTick = p.LiveStartTick = tick - p.SongTime;
    }
    PlaceEvents(s, loop.StartTime);
    if (p.MidiLoaded) s.Music.JumpAt(joint, std::max(loop.StartTime, 0));
}

bool PlayScreen::Running() const {
    const PlayScene& s = scene_;
    return (s.Flow.Screen == ScreenPlay || s.Flow.Screen == ScreenPaused) &&
           s.Play.SongStartTick != 0;
}

std::optional<PlayLoop> LoopBetween(const ChartData& chart, int first, int last) {
    const std::optional<int32_t> from = MeasureStartTime(chart, first);
    const std::optional<int32_t> to = MeasureLineTime(chart, last);
    if (!from || !to || *from >= *to) return std::nullopt;
    return PlayLoop{.StartMeasure = first, .EndMeasure = last, .StartTime = *from, .EndTime = *to};
}

void PlayScreen::ClearLoop() {
    PlayScene& s = scene_;
    const bool bounded = s.Play.Loop.Runs() && s.Play.SongTime < s.Play.Loop.EndTime;
    s.Play.Loop = PlayLoop{};
    // Play goes on where it is, the sounds resumed without the end mark's cut.
    if (bounded && s.Flow.Screen == ScreenPlay)
        SeekTo(s, s.Play.SongTime, int32_t(s.Clock.NowMs()));
}

bool PlayScreen::MarkLoop(bool start) {
    PlayScene& s = scene_;
    PlayLoop& loop = s.Play.Loop;
    const int measure = MeasureAt(s.Session.Chart, s.Play.SongTime);
    const std::optional<int> other = start ? loop.EndMeasure : loop.StartMeasure;
    if (!other) {
        (start ? loop.StartMeasure : loop.EndMeasure) = measure;
        return true;
    }
    const std::optional<PlayLoop> marked =
        LoopBetween(s.Session.Chart, std::min(measure, *other), std::max(measure, *other));
    if (!marked) return false;
    loop = *marked;
    // The sounds playing now were started without the loop's bound.
    if (s.Play.SongTime >= loop.EndTime)
        SeekTo(s, loop.StartTime, int32_t(s.Clock.NowMs()));
    else
        loop.Unbounded = true;
    return true;
}

bool PlayScreen::SeekMeasures(int measures) {
    PlayScene& s = scene_;
    if (!Running()) return false;
    const ChartData& chart = s.Session.Chart;
    const int target = std::max(0, MeasureAt(chart, s.Play.SongTime) + measures);
    const std::optional<int32_t> time = MeasureStartTime(chart, target);
    if (!time) return false;
    SeekTo(s, *time, int32_t(s.Clock.NowMs()));
    return true;
}

} // namespace tappo
