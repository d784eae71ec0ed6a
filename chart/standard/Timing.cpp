#include "chart/standard/Timing.h"

#include <algorithm>
#include <cmath>

namespace tappo::standard {
namespace {

double HoldTime(double t) {
    if (std::isnan(t)) return MaxTimeMs;
    return std::min(t, MaxTimeMs);
}

} // namespace

void BeatTimeline::Start(double bpm) {
    points_.clear();
    points_.push_back(TimingPoint{0.0, 1000.0, 0.0, bpm});
}

double BeatTimeline::TimeFrom(const TimingPoint& p, double beat) const {
    return HoldTime(p.TimeMs + p.StopMs + (beat - p.Beat) * 60000.0 / p.Bpm);
}

TimingPoint& BeatTimeline::PointAt(double beat) {
    TimingPoint& last = points_.back();
    if (beat <= last.Beat) return last;
    points_.push_back(TimingPoint{beat, TimeFrom(last, beat), 0.0, last.Bpm});
    return points_.back();
}

void BeatTimeline::AddTempo(double beat, double bpm) {
    if (!(bpm > 0)) return;
    TimingPoint& p = PointAt(beat);
    p.Bpm = bpm;
}

void BeatTimeline::AddStop(double beat, double count192) {
    if (!(count192 > 0)) return;
    TimingPoint& p = PointAt(beat);
    // A stop lasts its share of a 4/4 measure at the tempo of its moment.
    p.StopMs = HoldTime(p.StopMs + count192 / 48.0 * 60000.0 / p.Bpm);
}

size_t BeatTimeline::PointIndexOfBeat(double beat) const {
    // The last point at or before `beat` (the first one for earlier beats).
    auto it = std::upper_bound(points_.begin(), points_.end(), beat,
                               [](double b, const TimingPoint& p) { return b < p.Beat; });
    return it == points_.begin() ? 0 : size_t(it - points_.begin()) - 1;
}

double BeatTimeline::TimeOfBeat(double beat) const {
    const TimingPoint& p = points_[PointIndexOfBeat(beat)];
    if (beat == p.Beat) return p.TimeMs;
    if (beat < p.Beat) return p.TimeMs + (beat - p.Beat) * 60000.0 / p.Bpm;
    return TimeFrom(p, beat);
}

double BeatTimeline::BeatOfTime(double timeMs) const {
    auto it = std::upper_bound(points_.begin(), points_.end(), timeMs,
                               [](double t, const TimingPoint& p) { return t < p.TimeMs; });
    const TimingPoint& p = it == points_.begin() ? points_.front() : *(it - 1);
    if (timeMs < p.TimeMs) return p.Beat + (timeMs - p.TimeMs) * p.Bpm / 60000.0;
    if (timeMs <= p.TimeMs + p.StopMs) return p.Beat;
    return p.Beat + (timeMs - p.TimeMs - p.StopMs) * p.Bpm / 60000.0;
}

double BeatTimeline::BpmAtBeat(double beat) const {
    return points_[PointIndexOfBeat(beat)].Bpm;
}

double BeatTimeline::Cursor::TimeOfBeat(double beat) {
    const std::vector<TimingPoint>& points = t_.points_;
    while (at_ + 1 < points.size() && points[at_ + 1].Beat <= beat)
        ++at_;
    const TimingPoint& p = points[at_];
    if (beat == p.Beat) return p.TimeMs;
    if (beat < p.Beat) return t_.TimeOfBeat(beat);
    return t_.TimeFrom(p, beat);
}

int BeatScroller::MeasurePhase(double songTime) const {
    const double beat = Timeline.BeatOfTime(songTime);
    if (MeasureBeat.size() < 2 || !(beat > MeasureBeat.front())) return 0;
    auto it = std::upper_bound(MeasureBeat.begin(), MeasureBeat.end() - 1, beat);
    const size_t m = size_t(it - MeasureBeat.begin()) - 1;
    const double length = MeasureBeat[m + 1] - MeasureBeat[m];
    if (!(length > 0)) return 0;
    const double phase = std::trunc((beat - MeasureBeat[m]) / length * 16);
    // Beats past what a double holds (a tempo near zero) have no phase.
    if (!(phase > 0) || !std::isfinite(phase)) return 0;
    // Past the last measure the phase runs on, as in the exact reading.
    return phase < 16 ? int(phase) : int(std::fmod(phase, 16.0));
}

} // namespace tappo::standard
