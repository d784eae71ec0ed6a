// The standard chart reading: BMS as the format is written today (base-36 ids,
// tempo changes and stops anywhere in a measure, #RANDOM blocks, long notes),
// compiled from the chart's bytes into a value. Nothing in a chart short of
// its bytes being unavailable stops a compile: what does not read is skipped
// and reported as a warning with its line number.
#pragma once

#include "chart/EventLists.h"
#include "chart/standard/Timing.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tappo::standard {

// Slots "01" to "ZZ"; slot 0 ("00") is never an object.
inline constexpr int SlotCount = 36 * 36;
inline constexpr int MeasureCount = 1000;
// Bounds that keep a hostile chart's compile small and quick.
inline constexpr size_t MaxObjects = 2'000'000;
inline constexpr size_t MaxWarnings = 1000;
inline constexpr int MaxNesting = 256;
inline constexpr int32_t MaxVolWav = 1000;

struct Options {
    // The separator tried first for reals; "." is always tried after it.
    char DecimalSeparator = '.';
    // Every #RANDOM takes FixedRandom (clamped to its range), unless UseSeed:
    // then each #RANDOM draws from a generator started from Seed.
    bool UseSeed = false;
    int32_t FixedRandom = 1;
    uint64_t Seed = 0;
};

// Header values, text kept as the chart's own bytes.
struct HeaderValues {
    std::string Title, Subtitle, Artist, Genre, MidiFileName, Banner, StageFile;
    int32_t PlayLevel = 0;
    int32_t Difficulty = 0; // 1 beginner ... 5 insane; 0 when the chart gives none
    double Bpm = 130.0;
    int32_t PlayerMode = 1;
    int32_t LnType = 1;
    int LnObj = 0;            // slot that ends a note on channels 11-29; 0 for none
    int32_t VolWav = 100;     // percent, 0 to MaxVolWav
    bool NineButtons = false; // written for nine buttons whatever its file name (bmson "popn-")
    // bmson only: "chart_name" (its difficulty's name, shown where a
    // "#DIFFICULTY" is) and "subartists" (listed by --inspect).
    std::string ChartName;
    std::vector<std::string> Subartists;
};

struct Warning {
    int Line = 0; // 1-based; 0 for the chart as a whole
    std::string Text;
};

enum class ObjectKind : uint8_t {
    Background, // 01: sounded, not drawn
    Note,       // 11-19, 21-29: sounded and drawn
    LongStart,  // 51-69 first of a pair, or a note that #LNOBJ ends: sounded
    LongEnd,    // 51-69 second of a pair, or the #LNOBJ object: not sounded
    Invisible,  // 31-49: not sounded
    Mine,       // D1-E9: not sounded
    BgaBase,    // 04
    BgaPoor,    // 06: kept, not shown
    BgaLayer,   // 07
};

struct Object {
    double TimeMs = 0; // song time; measure 0 starts at 1000 ms
    double Beat = 0;   // quarter notes of 4/4 from the start of measure 0
    int64_t Time = 0;  // the millisecond the player uses (see PlayerTime)
    uint16_t Measure = 0;
    uint16_t Slot = 0;        // 1-1295
    char Channel[2] = {0, 0}; // as written, letters in upper case
    ObjectKind Kind = ObjectKind::Background;
    uint8_t Player = 0; // 1 or 2 for key channels, else 0
    uint8_t Key = 0;    // 1-9 (6 is the scratch) for key channels, else 0
    // A bmson sound's slice of its file in mix frames (see EventRecord).
    uint32_t SliceStart = 0;
    uint32_t SliceFrames = WholeSound;

    bool Sounded() const {
        return Kind == ObjectKind::Background || Kind == ObjectKind::Note ||
               Kind == ObjectKind::LongStart;
    }
};

struct Chart {
    HeaderValues Header;
    std::vector<Warning> Warnings;
    std::vector<std::string> WavFileNames;           // SlotCount names, "" where undefined
    std::vector<std::string> BmpFileNames;           // SlotCount names
    std::vector<double> BpmValues;                   // SlotCount tempos, 0 where undefined
    std::vector<double> StopValues;                  // SlotCount 1/192 counts, 0 where undefined
    std::array<double, MeasureCount> MeasureScale{}; // channel 02, 1 by default
    std::vector<Object> Objects;                     // time order; equal times in chart order
    BeatTimeline Timeline;
    int LastObjectMeasure = -1;
    int32_t LastSoundTime = 0; // 2 s after the end of the last measure holding an object
};

// A chart with every slot undefined and every measure of length 1: where
// each reader starts.
Chart EmptyChart();

Chart Compile(std::string_view bytes, const Options& options);

// The integer millisecond of a song time: rounded down, after a nudge of a
// millionth of a millisecond so that a sum that is a whole millisecond on
// paper but lands a hair below it (1459.99999999) counts as that millisecond.
// Rounding down is what the exact reading does, so a chart that both readings
// understand alike gets the same times (the exact reading's own running sums
// can fall short in those whole-millisecond cases), renders the same samples
// and steps the same frames in either; the error against the true time stays
// below 1 ms, the player's resolution.
int64_t PlayerTime(double timeMs);

// The name of a "#DIFFICULTY" (BEGINNER, NORMAL, HYPER, ANOTHER, INSANE);
// "" for none.
const char* DifficultyName(int32_t difficulty);

// The notes a player would hit: drawn notes and long notes (a pair counts once).
int NoteCount(const Chart& chart);

// "01" ... "ZZ" of a slot, and the slot of two base-36 digits (-1 if not).
std::string SlotText(int slot);
int SlotOf(char a, char b);

// The note field has four lanes per player. Keys fold onto them by this fixed
// table (key 6 is the scratch, 7 the pedal, 8 and 9 the sixth and seventh keys):
//   lane 0: keys 1, 2    lane 1: keys 3, 4    lane 2: keys 5, 8    lane 3: keys 6, 7, 9
// so a five- or seven-key chart spreads evenly and the four channels the exact
// reading uses (x1, x3, x5, x6) stay on their lanes. Every visible note (Note
// or LongStart) gets one lane and only one; its sound is played once, from the
// sound list, never from the lane.
int LaneOfKey(int key);
// Player and lane of a drawn note; false for every other object.
bool LaneOf(const Object& object, int& player, int& lane);
// The step tick of a drawn note, 20 ms before it (never below 0), as the
// exact reading places it; its beat follows from the timeline.
int64_t StepTime(const Object& object);

// The --inspect listing of the chart in the file `path`: header lines,
// "Mode standard", its key layout, the warnings, a "Missing" line for each of
// MISSING (the files the chart names that are not there), the measures, tempo
// changes and stops, then every object.
std::string InspectListing(const Chart& chart, std::string_view path,
                           const std::vector<std::string>& missing = {});

} // namespace tappo::standard
