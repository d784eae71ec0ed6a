// The song's timeline in the standard reading: tempo changes and stops placed
// by beat, and the conversions between beats and song time that the play
// screen scrolls with (arrows move with the beat and stand still in a stop).
#pragma once

#include <cstddef>
#include <vector>

namespace tappo::standard {

// Song times are held below this (about 31 years) so that no tempo or stop,
// however extreme, overflows a conversion.
inline constexpr double MaxTimeMs = 1e12;

// A point where the tempo changes or the song stops. A stop starts when the
// song reaches Beat and lasts StopMs; objects on Beat sound when it starts.
struct TimingPoint {
    double Beat = 0;
    double TimeMs = 0; // when the song reaches Beat
    double StopMs = 0;
    double Bpm = 0; // from Beat on
};

class BeatTimeline {
  public:
    // Starts at beat 0, 1000 ms, with the header tempo (> 0).
    void Start(double bpm);
    // Adds a change at `beat`, which must not be below the last point's beat.
    // A tempo of 0 keeps the tempo; a stop adds to the point's stop.
    void AddTempo(double beat, double bpm);
    void AddStop(double beat, double count192); // count192/192 of a 4/4 measure

    double TimeOfBeat(double beat) const;
    // The beat shown at a song time: constant during a stop; before 1000 ms
    // it counts back from beat 0 at the header tempo.
    double BeatOfTime(double timeMs) const;
    double BpmAtBeat(double beat) const;
    const std::vector<TimingPoint>& Points() const { return points_; }

    // Walks forward through ascending beats in constant time a step.
    class Cursor {
      public:
        explicit Cursor(const BeatTimeline& t) : t_(t) {}
        double TimeOfBeat(double beat);

      private:
        const BeatTimeline& t_;
        size_t at_ = 0;
    };

  private:
    TimingPoint& PointAt(double beat);
    double TimeFrom(const TimingPoint& p, double beat) const;
    size_t PointIndexOfBeat(double beat) const;
    std::vector<TimingPoint> points_;
};

// What the play screen needs to draw by beats: the timeline and the beat at
// which each measure starts (one entry more than there are measures).
struct BeatScroller {
    BeatTimeline Timeline;
    std::vector<double> MeasureBeat;

    // The sixteenth (0-15) of its measure in which the beat of `songTime` lies.
    int MeasurePhase(double songTime) const;
};

} // namespace tappo::standard
