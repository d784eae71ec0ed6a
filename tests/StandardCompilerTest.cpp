#include "chart/exact/Compiler.h"
#include "chart/standard/Compiler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>

namespace tappo {
namespace {

standard::Chart Compile(const std::string& text, standard::Options options = {}) {
    return standard::Compile(text, options);
}

// Times of the objects on one channel ("01", "11" ...), in order.
std::vector<double> TimesOn(const standard::Chart& chart, const char* channel) {
    std::vector<double> times;
    for (const standard::Object& o : chart.Objects)
        if (o.Channel[0] == channel[0] && o.Channel[1] == channel[1]) times.push_back(o.TimeMs);
    return times;
}

std::vector<std::string> SlotsOn(const standard::Chart& chart, const char* channel) {
    std::vector<std::string> slots;
    for (const standard::Object& o : chart.Objects)
        if (o.Channel[0] == channel[0] && o.Channel[1] == channel[1])
            slots.push_back(standard::SlotText(o.Slot));
    return slots;
}

bool HasWarning(const standard::Chart& chart, int line, const std::string& part) {
    return std::any_of(chart.Warnings.begin(), chart.Warnings.end(),
                       [&](const standard::Warning& w) {
                           return w.Line == line && w.Text.find(part) != std::string::npos;
                       });
}

using Times = std::vector<double>;

// At 120 BPM a beat is 500 ms and a 4/4 measure 2000 ms; measure 0 starts at 1000.
TEST(StandardTiming, StopInsideAMeasure) {
    // A stop of 48/192 of a measure (one beat, 500 ms) halfway through measure 0.
    const standard::Chart chart = Compile("#BPM 120\n#STOP01 48\n#00009:0001\n"
                                          "#00001:01010101\n#00101:01\n");
    EXPECT_EQ(TimesOn(chart, "01"), (Times{1000, 1500, 2000, 3000, 3500}));
    const standard::BeatTimeline& t = chart.Timeline;
    EXPECT_DOUBLE_EQ(t.BeatOfTime(2000), 2.0);
    EXPECT_DOUBLE_EQ(t.BeatOfTime(2300), 2.0); // arrows stand still
    EXPECT_DOUBLE_EQ(t.BeatOfTime(2500), 2.0);
    EXPECT_DOUBLE_EQ(t.BeatOfTime(2750), 2.5);
    EXPECT_DOUBLE_EQ(t.BeatOfTime(500), -1.0); // before measure 0, at the header tempo
    EXPECT_DOUBLE_EQ(t.TimeOfBeat(2.0), 2000.0);
    EXPECT_DOUBLE_EQ(t.TimeOfBeat(3.0), 3000.0);
    EXPECT_EQ(chart.LastSoundTime, 3500 + 2000 + 2000);
}

TEST(StandardTiming, TwoTempoChangesInOneMeasure) {
    // Hexadecimal F0 (240) at beat 1, 3C (60) at beat 3.
    const standard::Chart chart =
        Compile("#BPM 120\n#00003:00F0003C\n#00011:01010101\n#00111:01\n");
    EXPECT_EQ(TimesOn(chart, "11"), (Times{1000, 1500, 1750, 2000, 3000}));
    EXPECT_DOUBLE_EQ(chart.Timeline.BpmAtBeat(2.5), 240.0);
    EXPECT_DOUBLE_EQ(chart.Timeline.BpmAtBeat(3.0), 60.0);
    EXPECT_DOUBLE_EQ(chart.Timeline.BeatOfTime(2500), 3.5);
}

TEST(StandardTiming, MeasureLengthScalesOnlyItsOwnMeasureBesideATempoChange) {
    // Measure 0 is 3 beats; #BPM0A (60) from its second third; measure 1 is 4 beats again.
    const standard::Chart chart = Compile("#BPM 120\n#BPM0A 60\n#00002:0.75\n#00008:000A00\n"
                                          "#00001:010101\n#00101:0101\n#00201:01\n");
    EXPECT_EQ(TimesOn(chart, "01"), (Times{1000, 1500, 2500, 3500, 5500, 7500}));
    std::vector<double> beats;
    for (const standard::Object& o : chart.Objects)
        beats.push_back(o.Beat);
    EXPECT_EQ(beats, (Times{0, 1, 2, 3, 5, 7}));
}

TEST(StandardTiming, StopOnATempoChangeLastsAtTheNewTempo) {
    const standard::Chart chart =
        Compile("#BPM 120\n#STOP01 48\n#00009:0001\n#00003:003C\n#00001:000101\n");
    // Beat 2 at 2000 ms; the stop is one beat at 60 BPM; beat 2 2/3 after it.
    const Times t = TimesOn(chart, "01");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_DOUBLE_EQ(t[0], 1000 + 4.0 / 3 * 500);
    EXPECT_NEAR(t[1], 2000 + 1000 + 2.0 / 3 * 1000, 1e-9);
}

TEST(StandardTiming, PlayerTimeRoundsDownAfterASmallNudge) {
    EXPECT_EQ(standard::PlayerTime(1459.9999999), 1460);
    EXPECT_EQ(standard::PlayerTime(1461.538), 1461);
    EXPECT_EQ(standard::PlayerTime(1000.0), 1000);
    EXPECT_EQ(standard::PlayerTime(1e300), int64_t(standard::MaxTimeMs));
    // 150 BPM: 191/192 of a 1600 ms measure is 1591.67 ms.
    const standard::Chart chart = Compile("#BPM 150\n#00001:" + std::string(2 * 191, '0') + "01\n");
    ASSERT_EQ(chart.Objects.size(), 1u);
    EXPECT_EQ(chart.Objects[0].Time, 1000 + 1600 * 191 / 192);
}

// Cases in the style of the public "bmspec" feature files: 60 BPM, one
// second a beat, so measure 1 starts 4 s after measure 0 (at 5000 ms here).
TEST(StandardTiming, PublicStyleExamples) {
    EXPECT_EQ(TimesOn(Compile("#BPM 60\n#STOP11 96\n#00111:01000200\n#00109:00110000\n"), "11"),
              (Times{5000, 9000}));
    EXPECT_EQ(
        TimesOn(Compile("#BPM 60\n#STOP11 96\n#00102:0.75\n#00111:010002\n#00109:001100\n"), "11"),
        (Times{5000, 9000}));
    // A stop and a tempo change on one beat, in either line order: the stop runs at the new tempo.
    for (const char* lines :
         {"#00109:00110000\n#00108:00110000\n", "#00108:00110000\n#00109:00110000\n"})
        EXPECT_EQ(TimesOn(Compile(std::string("#BPM 60\n#BPM11 30\n#STOP11 96\n#00111:01000200\n") +
                                  lines),
                          "11"),
                  (Times{5000, 12000}));
    EXPECT_EQ(TimesOn(Compile("#BPM 60\n#00003:0078\n#00111:01\n"), "11"), (Times{4000}));
    EXPECT_EQ(TimesOn(Compile("#BPM 60\n#BPM01 120\n#00008:0001\n#00111:01\n"), "11"),
              (Times{4000}));
    std::vector<double> beats;
    for (const standard::Object& o :
         Compile("#00102:0.750\n#00111:0104\n#00211:02\n#00311:03\n").Objects)
        beats.push_back(o.Beat);
    EXPECT_EQ(beats, (Times{4, 5.5, 7, 11}));
    const standard::Chart ln = Compile("#LNOBJ XX\n#00111:01XX02XX03XX04XX\n");
    std::vector<double> starts, ends;
    for (const standard::Object& o : ln.Objects)
        (o.Kind == standard::ObjectKind::LongStart ? starts : ends).push_back(o.Beat);
    EXPECT_EQ(starts, (Times{4, 5, 6, 7}));
    EXPECT_EQ(ends, (Times{4.5, 5.5, 6.5, 7.5}));
}

TEST(StandardLines, RandomBlocksWithoutEndRandomFollowOneAnother) {
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "#RANDOM 2\n#IF 1\n#00011:01\n#ENDIF\n#IF 2\n#00011:02\n#ENDIF\n";
    standard::Options options;
    options.FixedRandom = 2;
    const standard::Chart chart = Compile(text, options);
    EXPECT_EQ(chart.Objects.size(), 1000u);
    EXPECT_TRUE(chart.Warnings.empty());
    for (const standard::Object& o : chart.Objects)
        EXPECT_EQ(o.Slot, 2);
    // An #ELSE or #ENDIF also closes a #RANDOM left open inside its branch.
    EXPECT_EQ(SlotsOn(Compile("#RANDOM 2\n#IF 2\n#RANDOM 1\n#IF 1\n#00011:01\n#ENDIF\n#ELSE\n"
                              "#00011:02\n#ENDIF\n"),
                      "11"),
              (std::vector<std::string>{"02"}));
    const standard::Chart nested =
        Compile("#RANDOM 1\n#IF 1\n#RANDOM 1\n#IF 2\n#ENDIF\n#ENDIF\n#00011:03\n");
    EXPECT_EQ(SlotsOn(nested, "11"), (std::vector<std::string>{"03"}));
    EXPECT_TRUE(nested.Warnings.empty());
}

// A record of ours as the exact reading would write it, and whether its true
// time is a whole millisecond (where the exact reading's running sums may fall
// a hair short and truncate to the millisecond before).
struct OurRecord {
    int64_t Time;
    bool Whole;
    std::string Id;
};

void ExpectSameRecords(const std::vector<OurRecord>& ours, const EventList& exact,
                       const std::string& what) {
    std::multiset<std::string> left;
    for (const EventRecord& r : exact)
        left.insert(r.Text());
    for (const OurRecord& r : ours) {
        auto it = left.find(FormatTime(r.Time) + r.Id);
        if (it == left.end() && r.Whole) it = left.find(FormatTime(r.Time - 1) + r.Id);
        ASSERT_NE(it, left.end()) << what << ": " << FormatTime(r.Time) + r.Id;
        left.erase(it);
    }
    EXPECT_TRUE(left.empty()) << what << ": " << *left.begin();
}

// Hexadecimal ids, measure lengths and tempo changes at measure starts mean the
// same in both readings: the standard one must then give the exact one's
// sound times, lane notes, step ticks and song end.
TEST(StandardTiming, SameTimesAsTheExactReadingWhereBothReadAlike) {
    std::mt19937 random(7);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    for (int round = 0; round < 20; ++round) {
        const double bpms[] = {120, 150, 133.7, 87.3, 180.25};
        std::string text = "#BPM " + std::to_string(bpms[pick(5)]) + "\n";
        char buffer[32];
        for (int m = 0; m < 30; ++m) {
            if (pick(6) == 0) {
                std::snprintf(buffer, sizeof buffer, "#%03d02:%s\n", m, pick(2) ? "0.75" : "1.375");
                text += buffer;
            }
            if (pick(6) == 0) {
                std::snprintf(buffer, sizeof buffer, "#%03d03:%02X\n", m, 40 + pick(200));
                text += buffer;
            }
            for (const char* channel :
                 {"01", "11", "12", "13", "15", "16", "19", "21", "23", "25", "26"}) {
                if (pick(3) != 0) continue;
                std::snprintf(buffer, sizeof buffer, "#%03d%s:", m, channel);
                text += buffer;
                for (int k = 0, n = 1 + pick(24); k < n; ++k) {
                    std::snprintf(buffer, sizeof buffer, "%02X", pick(3) ? 0 : 1 + pick(255));
                    text += buffer;
                }
                text += "\n";
            }
        }
        const auto compiled =
            std::make_unique<CompiledChart>(exact::Compile(text, "/songs/x.bms", '.'));
        const ChartData* exact = &compiled->Data;
        const standard::Chart chart = Compile(text);

        std::vector<OurRecord> sounds, ticks;
        std::array<std::vector<OurRecord>, 12> lanes;
        for (const standard::Object& o : chart.Objects) {
            ASSERT_TRUE(o.Sounded());
            const bool whole = o.TimeMs - double(o.Time) < 1e-6;
            sounds.push_back(OurRecord{o.Time, whole, standard::SlotText(o.Slot)});
            int player = 0, lane = 0;
            // The exact reading draws keys 1, 3, 5 and 6 only.
            if (!standard::LaneOf(o, player, lane) ||
                (o.Key != 1 && o.Key != 3 && o.Key != 5 && o.Key != 6))
                continue;
            lanes[size_t(LaneNotesIndex + (player - 1) * 4 + lane)].push_back(
                OurRecord{o.Time, whole, ""});
            ticks.push_back(OurRecord{standard::StepTime(o), whole, ""});
        }
        ExpectSameRecords(sounds, exact->Events[SoundEventsIndex], "sounds");
        ExpectSameRecords(ticks, exact->Events[StepTickEventsIndex], "step ticks");
        for (int i = LaneNotesIndex; i < 12; ++i)
            ExpectSameRecords(lanes[size_t(i)], exact->Events[i], EventListName(i));
        EXPECT_EQ(chart.LastSoundTime, exact->LastSoundTime);
    }
}

TEST(StandardLines, LongLinesAreReadWhole) {
    // 192 divisions: a 391-byte line; the last object is at 191/192 of the measure.
    std::string line = "#00011:" + std::string(2 * 191, '0') + "zz";
    const standard::Chart chart = Compile("#BPM 120\n" + line + "\r\n");
    ASSERT_EQ(chart.Objects.size(), 1u);
    EXPECT_DOUBLE_EQ(chart.Objects[0].Beat, 4.0 * 191 / 192);
    EXPECT_EQ(chart.Objects[0].Slot, standard::SlotCount - 1);
}

TEST(StandardLines, Base36IdsBesideHexadecimalTempo) {
    const standard::Chart chart =
        Compile("#BPM 60\n#WAVzz last.wav\n#WAV0A ten.wav\n#BMPA0 pic.bmp\n"
                "#00001:0a0AzZ10\n#00003:ff\n#00004:A0\n#00103:1g\n");
    EXPECT_EQ(chart.WavFileNames[standard::SlotCount - 1], "last.wav");
    EXPECT_EQ(chart.WavFileNames[10], "ten.wav");
    EXPECT_EQ(chart.BmpFileNames[360], "pic.bmp");
    EXPECT_EQ(SlotsOn(chart, "01"), (std::vector<std::string>{"0A", "0A", "ZZ", "10"}));
    EXPECT_EQ(chart.Objects[0].Slot, 10);
    EXPECT_EQ(SlotsOn(chart, "01")[3], "10"); // slot 36, not 16
    EXPECT_DOUBLE_EQ(chart.Timeline.BpmAtBeat(0), 255.0);
    EXPECT_TRUE(HasWarning(chart, 8, "'1g' is not an id"));
    EXPECT_EQ(Compile("#EXBPM0b 90.5\n").BpmValues[11], 90.5);
    EXPECT_EQ(standard::SlotOf('1', '0'), 36);
    EXPECT_EQ(standard::SlotOf('z', 'Z'), 1295);
    EXPECT_EQ(standard::SlotOf('#', '1'), -1);
}

TEST(StandardLines, NestedRandomBlocks) {
    const std::string text =
        "#RANDOM 2\n"
        "#IF 1\n"
        " #RANDOM 3\n"
        " #IF 1\n#00001:01\n"
        " #ELSEIF 2\n#00001:02\n"
        " #ELSE\n#00001:03\n"
        " #ENDIF\n"
        " #ENDRANDOM\n"
        "#ELSE\n#00001:04\n"
        "#ENDIF\n"
        "#ENDRANDOM\n"
        "#SETRANDOM 3\n#IF 2\n#00001:05\n#ELSEIF 3\n#00001:06\n#ENDIF\n#ENDRANDOM\n"
        "#00001:07\n";
    standard::Options options;
    EXPECT_EQ(SlotsOn(Compile(text, options), "01"), (std::vector<std::string>{"01", "06", "07"}));
    options.FixedRandom = 2; // the outer #ELSE; the inner block is never read
    EXPECT_EQ(SlotsOn(Compile(text, options), "01"), (std::vector<std::string>{"04", "06", "07"}));
    options.FixedRandom = 3; // clamped to the outer range: 2
    EXPECT_EQ(SlotsOn(Compile(text, options), "01"), (std::vector<std::string>{"04", "06", "07"}));

    // Seeded draws: reproducible, always in range, every branch reachable.
    std::set<std::string> firsts;
    options.UseSeed = true;
    for (uint64_t seed = 0; seed < 200; ++seed) {
        options.Seed = seed;
        const std::vector<std::string> slots = SlotsOn(Compile(text, options), "01");
        ASSERT_EQ(slots.size(), 3u);
        EXPECT_EQ(slots, SlotsOn(Compile(text, options), "01"));
        firsts.insert(slots[0]);
    }
    EXPECT_EQ(firsts, (std::set<std::string>{"01", "02", "03", "04"}));
}

TEST(StandardLines, HeadersOfSkippedBranchesAreNotRead) {
    const standard::Chart chart =
        Compile("#BPM 100\n#RANDOM 2\n#IF 2\n#BPM 200\n#WAV01 b.wav\n#ENDIF\n"
                "#ENDRANDOM\n#IF 1\n#TITLE x\n#ENDIF\n#ENDIF\n#ELSE\n");
    EXPECT_EQ(chart.Header.Bpm, 100);
    EXPECT_EQ(chart.WavFileNames[1], "");
    EXPECT_EQ(chart.Header.Title, ""); // #IF outside any #RANDOM never matches
    EXPECT_TRUE(HasWarning(chart, 11, "#ENDIF without #IF"));
    EXPECT_TRUE(HasWarning(chart, 12, "#ELSE without #IF"));
}

TEST(StandardNotes, LnObjEndsTheNoteBefore) {
    const standard::Chart chart = Compile("#BPM 120\n#LNOBJ zz\n#00011:01000200\n#00111:ZZ00\n"
                                          "#00012:ZZ\n#00021:03ZZ\n");
    std::vector<std::pair<std::string, standard::ObjectKind>> seen;
    for (const standard::Object& o : chart.Objects)
        seen.emplace_back(std::string(o.Channel, 2) + standard::SlotText(o.Slot), o.Kind);
    using K = standard::ObjectKind;
    const std::vector<std::pair<std::string, standard::ObjectKind>> expected = {
        {"1101", K::Note},
        {"2103", K::LongStart},
        {"1102", K::LongStart},
        {"21ZZ", K::LongEnd},
        {"11ZZ", K::LongEnd}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(HasWarning(chart, 5, "#LNOBJ object without a note")); // 12 has no note before
    EXPECT_FALSE(chart.Objects[3].Sounded());
}

TEST(StandardNotes, LongNotePairsOnChannels51To69) {
    const standard::Chart chart =
        Compile("#BPM 120\n#00051:01020304\n#00066:0A\n#00166:0B\n#00159:05\n");
    std::vector<standard::ObjectKind> kinds;
    for (const standard::Object& o : chart.Objects)
        kinds.push_back(o.Kind);
    using K = standard::ObjectKind;
    EXPECT_EQ(kinds, (std::vector<K>{K::LongStart, K::LongStart, K::LongEnd, K::LongStart,
                                     K::LongEnd, K::LongEnd, K::Note}));
    EXPECT_EQ(chart.Objects[1].Player, 2);
    EXPECT_EQ(chart.Objects[1].Key, 6);
    EXPECT_TRUE(HasWarning(chart, 5, "long note without an end"));
}

TEST(StandardNotes, ChannelKindsAndWhatIsSounded) {
    const standard::Chart chart =
        Compile("#00001:01\n#00001:02\n#00031:03\n#000D1:04\n#000E9:05\n"
                "#00004:06\n#00006:07\n#00007:08\n#00029:09\n#00017:0A\n");
    ASSERT_EQ(chart.Objects.size(), 10u);
    std::string sounded;
    for (const standard::Object& o : chart.Objects)
        if (o.Sounded()) sounded += standard::SlotText(o.Slot) + " ";
    EXPECT_EQ(sounded, "01 02 09 0A "); // both 01 lines layered; 31, mines and images silent
    EXPECT_EQ(chart.Objects[4].Kind, standard::ObjectKind::Mine);
    EXPECT_EQ(chart.Objects[4].Player, 2);
    EXPECT_EQ(chart.Objects[6].Kind, standard::ObjectKind::BgaPoor);
    EXPECT_EQ(chart.Objects[7].Kind, standard::ObjectKind::BgaLayer);
}

TEST(StandardNotes, EveryKeyFoldsOntoExactlyOneLane) {
    std::string text = "#BPM 120\n";
    for (const char* c : {"1", "2", "5", "6"})
        for (int k = 1; k <= 9; ++k)
            text += "#001" + std::string(c) + std::to_string(k) + ":0101\n";
    const standard::Chart chart = Compile(text);
    int lanes[3][4] = {};
    int drawn = 0;
    for (const standard::Object& o : chart.Objects) {
        int player = 0, lane = 0;
        if (!standard::LaneOf(o, player, lane)) {
            EXPECT_EQ(o.Kind, standard::ObjectKind::LongEnd);
            continue;
        }
        ++lanes[player][lane];
        ++drawn;
        EXPECT_EQ(standard::StepTime(o), o.Time - 20);
    }
    EXPECT_EQ(drawn, 2 * 9 * 2 + 2 * 9); // notes twice, long notes once (their start)
    // The exact reading's channels keep their lanes.
    EXPECT_EQ(standard::LaneOfKey(1), 0);
    EXPECT_EQ(standard::LaneOfKey(3), 1);
    EXPECT_EQ(standard::LaneOfKey(5), 2);
    EXPECT_EQ(standard::LaneOfKey(6), 3);
    for (int p = 1; p <= 2; ++p)
        for (int l = 0; l < 4; ++l)
            EXPECT_GT(lanes[p][l], 0);
}

TEST(StandardHeaders, ForgivingHeaders) {
    const standard::Chart chart =
        Compile("#TITLE  Song  \n#PLAYLEVEL\n#BPM fast\n#BPM01 120\n#PLAYER x\n"
                "#00111 0101\n#00099:01\n#00011:010\n#00002:-1\n#BPM02 0\n"
                "#STOP01 -3\n#LNOBJ 1\n#LNTYPE 2\n#00108:02\n#SUBTITLE sub\n"
                "#BANNER b.bmp\n#STAGEFILE s.bmp\n#GENRE g\n#ARTIST a\n#MIDIFILE m.mid\n"
                "#DIFFICULTY 9\n#DIFFICULTY 3\n");
    const standard::HeaderValues& h = chart.Header;
    EXPECT_EQ(h.Title, "Song");
    EXPECT_EQ(h.PlayLevel, 0);
    EXPECT_EQ(h.Bpm, 130);
    EXPECT_EQ(chart.BpmValues[1], 120);
    EXPECT_EQ(h.PlayerMode, 1);
    EXPECT_EQ(h.Banner, "b.bmp");
    EXPECT_EQ(h.StageFile, "s.bmp");
    EXPECT_EQ(h.MidiFileName, "m.mid");
    EXPECT_EQ(h.Subtitle, "sub");
    EXPECT_EQ(h.Difficulty, 3);
    EXPECT_TRUE(HasWarning(chart, 21, "#DIFFICULTY value '9' is not 1 to 5"));
    EXPECT_TRUE(HasWarning(chart, 2, "#PLAYLEVEL value '' is not a whole number"));
    EXPECT_TRUE(HasWarning(chart, 3, "#BPM value 'fast'"));
    EXPECT_TRUE(HasWarning(chart, 5, "#PLAYER"));
    EXPECT_TRUE(HasWarning(chart, 6, "malformed channel line"));
    EXPECT_TRUE(HasWarning(chart, 7, "channel 99 is not read"));
    EXPECT_TRUE(HasWarning(chart, 8, "odd number"));
    EXPECT_TRUE(HasWarning(chart, 9, "measure length '-1'"));
    EXPECT_TRUE(HasWarning(chart, 10, "#BPM02"));
    EXPECT_TRUE(HasWarning(chart, 11, "#STOP01"));
    EXPECT_TRUE(HasWarning(chart, 12, "#LNOBJ"));
    EXPECT_TRUE(HasWarning(chart, 13, "#LNTYPE"));
    EXPECT_TRUE(HasWarning(chart, 14, "#BPM02 is not defined"));
    EXPECT_EQ(chart.Warnings.size(), 13u); // the other headers are quiet
    EXPECT_EQ(SlotsOn(chart, "11"), (std::vector<std::string>{"01"}));
}

TEST(StandardHostile, ExtremeValuesAreBoundedAndWarned) {
    std::string text =
        "#BPM 1e-300\n#BPM -5\n#STOP01 1e300\n#BPM01 1e308\n#00009:01\n#00008:0001\n#00002:1e300\n"
        "#99999911:01\n#00103:00\n#00201:01\n";
    const standard::Chart chart = Compile(text);
    EXPECT_TRUE(HasWarning(chart, 2, "#BPM value '-5'"));
    EXPECT_TRUE(HasWarning(chart, 7, "measure length"));
    EXPECT_TRUE(HasWarning(chart, 8, "malformed channel line"));
    ASSERT_EQ(chart.Objects.size(), 1u);
    EXPECT_EQ(chart.Objects[0].Time, int64_t(standard::MaxTimeMs));
    EXPECT_GT(chart.Timeline.BeatOfTime(5e11), -1e300); // finite answers
    EXPECT_EQ(chart.LastSoundTime, INT32_MAX);
    EXPECT_TRUE(HasWarning(chart, 0, "runs past 10^12 ms"));
}

TEST(StandardHostile, DeepNestingLongLinesAndManyWarnings) {
    std::string deep;
    for (int i = 0; i < 1'000'000; ++i)
        deep += "#IF 1\n";
    deep += "#00001:01\n";
    standard::Chart chart = Compile("#RANDOM 1\n" + deep);
    EXPECT_TRUE(chart.Objects.empty());
    EXPECT_TRUE(HasWarning(chart, 0, "left open"));
    EXPECT_TRUE(HasWarning(chart, 1 + standard::MaxNesting, "nested too deep"));

    // A 10 MB title and a line of 2.5 million objects: the objects are held at the bound.
    // NOLINTNEXTLINE(bugprone-string-constructor): the title is meant to be that long
    std::string big = "#TITLE " + std::string(10'000'000, 'x') + "\n#00001:";
    for (int i = 0; i < 2'500'000; ++i)
        big += "01";
    chart = Compile(big);
    EXPECT_EQ(chart.Header.Title.size(), 10'000'000u);
    EXPECT_EQ(chart.Objects.size(), standard::MaxObjects);
    EXPECT_TRUE(HasWarning(chart, 2, "more than 2,000,000 objects"));

    std::string bad;
    for (int i = 0; i < 5000; ++i)
        bad += "#00001:0\n";
    chart = Compile(bad);
    EXPECT_EQ(chart.Warnings.size(), standard::MaxWarnings + 1);
    EXPECT_EQ(chart.Warnings.back().Text, "further warnings left out");
}

TEST(StandardHostile, OddBytesAndLineEnds) {
    static const char bytes[] = "#BPM 120\r#00001:01\r\n\r\n#00101:02\n#00201:03\0#00301:04";
    const std::string text(bytes, sizeof bytes - 1);
    const standard::Chart chart = Compile(text);
    EXPECT_EQ(SlotsOn(chart, "01"), (std::vector<std::string>{"01", "02", "03"}));
    EXPECT_TRUE(HasWarning(chart, 0, "NUL"));
    EXPECT_EQ(Compile("\xEF\xBB\xBF#TITLE t\n").Header.Title, "t");
    EXPECT_TRUE(Compile("").Objects.empty());
    EXPECT_TRUE(Compile("#").Objects.empty());
    EXPECT_TRUE(Compile("#\xff\xfe\x80 \x01").Warnings.empty());
}

TEST(StandardListing, HeaderModeWarningsThenTiming) {
    const standard::Chart chart =
        Compile("#TITLE T\n#BPM 120\n#BPM xx\n#STOP01 96\n#00009:01\n#00011:0Z\n");
    const std::string listing = standard::InspectListing(chart, "chart.bms");
    EXPECT_EQ(listing,
              "Title T\nArtist \nGenre \nPlayLevel 0\nBpm 120\nPlayerMode 1\nMidiFileName \n"
              "Banner \nStageFile \nMode standard\nKeyLayout 5K\n"
              "Warning 3 #BPM value 'xx' is not a tempo above 0\n"
              "Measure 0 1000.000 0 4\n"
              "Tempo 0 1000.000 120\n"
              "Stop 0 1000.000 1000.000\n"
              "Object 0001000 1000.000 0 0 11 0Z Note\n"
              "LastSoundTime 6000\n");
}

// Charts written today are often UTF-8; older ones Shift-JIS. Both list as UTF-8.
TEST(StandardListing, HeaderTextsInEitherEncoding) {
    const std::string utf8 = standard::InspectListing(
        Compile("#TITLE \xE6\x98\x9F\n#ARTIST \xC3\xA9\n#BANNER \xE6\x98\x9F.png\n"), "t.bms");
    EXPECT_NE(utf8.find("Title \xE6\x98\x9F\nArtist \xC3\xA9\n"), std::string::npos) << utf8;
    EXPECT_NE(utf8.find("Banner \xE6\x98\x9F.png\n"), std::string::npos) << utf8;
    const std::string sjis = standard::InspectListing(Compile("#TITLE \x90\xAF\n"), "t.bms");
    EXPECT_NE(sjis.find("Title \xE6\x98\x9F\n"), std::string::npos) << sjis;
}

} // namespace
} // namespace tappo
