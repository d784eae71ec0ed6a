#include "chart/standard/Score.h"

#include "chart/ShiftJis.h"
#include "chart/standard/KeyLayout.h"

#include <algorithm>
#include <array>

namespace tappo::standard {
namespace {

// The lane of a note, long note end or mine; -1 where it has none.
int ScoreLaneOf(const Object& o, const ChartScore& score) {
    if (o.Player < 1 || o.Player > 2 || o.Key < 1 || o.Key > 9) return -1;
    if (!score.ArrowLanes) return KeyLaneOf(score.Layout, o.Player, o.Key);
    const int lane = LaneOfKey(o.Key);
    return lane < 0 ? -1 : (o.Player - 1) * 4 + lane;
}

void AddNotes(const Chart& chart, ChartScore& score) {
    // The long note each key has open (player * 10 + key), as an index into
    // the score's notes; a long note without an end stays a note.
    std::array<size_t, 30> open;
    open.fill(SIZE_MAX);
    for (const Object& o : chart.Objects) {
        const bool drawn = o.Kind == ObjectKind::Note || o.Kind == ObjectKind::LongStart ||
                           o.Kind == ObjectKind::LongEnd || o.Kind == ObjectKind::Mine;
        const int lane = drawn ? ScoreLaneOf(o, score) : -1;
        if (lane < 0) continue;
        size_t& held = open[size_t(o.Player * 10 + o.Key)];
        if (o.Kind == ObjectKind::LongEnd) {
            if (held != SIZE_MAX) {
                ScoreNote& head = score.Notes[held];
                head.EndBeat = std::max(head.Beat, o.Beat);
            }
            held = SIZE_MAX;
            continue;
        }
        ScoreNote note{o.Beat, o.Beat, lane, ScoreNoteKind::Note};
        if (o.Kind == ObjectKind::Mine) note.Kind = ScoreNoteKind::Mine;
        if (o.Kind == ObjectKind::LongStart && !score.ArrowLanes) {
            note.Kind = ScoreNoteKind::LongNote;
            held = score.Notes.size();
        }
        score.Notes.push_back(note);
    }
}

void AddTimeline(const Chart& chart, ChartScore& score) {
    const std::vector<TimingPoint>& points = chart.Timeline.Points();
    for (size_t i = 0; i < points.size(); ++i) {
        const TimingPoint& p = points[i];
        if (i == 0 || p.Bpm != points[i - 1].Bpm) score.Tempos.push_back({p.Beat, p.Bpm});
        if (p.StopMs > 0) score.Stops.push_back({p.Beat, p.StopMs});
    }
    score.MinBpm = score.MaxBpm = chart.Header.Bpm;
    for (size_t i = 0; i < score.Tempos.size(); ++i) {
        const double bpm = score.Tempos[i].Value;
        score.MinBpm = i == 0 ? bpm : std::min(score.MinBpm, bpm);
        score.MaxBpm = i == 0 ? bpm : std::max(score.MaxBpm, bpm);
    }
}

} // namespace

ChartScore ScoreOf(const Chart& chart, std::string_view path, bool arrowLanes) {
    ChartScore score;
    const HeaderValues& h = chart.Header;
    score.Title = ChartTextToUtf8(h.Title);
    score.Artist = ChartTextToUtf8(h.Artist);
    score.Genre = ChartTextToUtf8(h.Genre);
    score.Level = h.PlayLevel;
    score.NoteCount = NoteCount(chart);
    score.ArrowLanes = arrowLanes;
    score.Layout = KeyLayoutOf(chart, path);
    const bool twoSides = score.Layout == KeyLayout::Keys10 || score.Layout == KeyLayout::Keys14;
    score.Players = arrowLanes && (twoSides || h.PlayerMode >= 2) ? 2 : 1;
    for (int m = 0; m <= std::max(0, chart.LastObjectMeasure); ++m)
        score.MeasureBeats.push_back(4.0 * chart.MeasureScale[size_t(m)]);
    AddNotes(chart, score);
    for (const ScoreNote& n : score.Notes)
        if (n.Lane >= 4 && arrowLanes) score.Players = 2;
    AddTimeline(chart, score);
    return score;
}

} // namespace tappo::standard
