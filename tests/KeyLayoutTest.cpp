// A standard chart in its own key layout: the layout chosen from the keys the
// chart uses, and the lanes the play screen draws for it.
#include "chart/standard/KeyLayout.h"
#include "HeadlessPlayer.h"
#include "chart/Reading.h"
#include "play/KeyField.h"

#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {} // namespace

TEST(KeyLayout, ChosenFromTheKeysThePlayerAndTheFileName) {
    struct Case {
        const char* Chart;
        const char* Path;
        const char* Layout;
    };
    const Case cases[] = {
        {"#00111:01\n#00116:01\n#00115:01\n", "a.bms", "5K"},
        {"#00111:01\n#00119:01\n", "a.bme", "7K"},
        {"#00111:01\n#00158:0101\n", "a.bml", "7K"}, // a long note on key 6
        {"#00111:01\n#00118:01\n", "a.bms", "7K"},
        {"#00111:01\n#00138:01\n#001E9:01\n", "a.bms", "5K"}, // invisible notes and mines
        {"#00111:01\n#00121:01\n", "a.bms", "10K"},
        {"#PLAYER 3\n#00111:01\n", "a.bms", "10K"},
        {"#00111:01\n#00165:0101\n", "a.bms", "10K"},
        {"#00111:01\n#00129:01\n", "a.bms", "14K"},
        {"#PLAYER 3\n#00118:01\n", "a.bme", "14K"},
        {"#00111:01\n#00118:01\n#00122:01\n", "a.PMS", "9B"},
        {"", "a.pms", "9B"},
        {"", "a.bms", "5K"},
    };
    for (const Case& c : cases) {
        const standard::Chart chart = standard::Compile(c.Chart, {});
        EXPECT_EQ(KeyLayoutName(standard::KeyLayoutOf(chart, c.Path)), c.Layout)
            << c.Chart << c.Path;
    }
}

TEST(KeyLayout, EveryLaneFitsTheScreenAndTakesItsKeys) {
    for (KeyLayout layout : {KeyLayout::Keys5, KeyLayout::Keys7, KeyLayout::Keys10,
                             KeyLayout::Keys14, KeyLayout::Buttons9}) {
        const std::vector<KeyLanePlace> places = KeyLanePlaces(layout);
        ASSERT_EQ(int(places.size()), KeyLaneCount(layout)) << KeyLayoutName(layout);
        std::vector<int> keysOnLane(places.size());
        for (int player = 1; player <= 2; ++player)
            for (int key = 1; key <= 9; ++key) {
                const int lane = standard::KeyLaneOf(layout, player, key);
                ASSERT_LT(lane, int(places.size()));
                if (lane >= 0) ++keysOnLane[size_t(lane)];
            }
        for (size_t i = 0; i < places.size(); ++i) {
            EXPECT_GT(keysOnLane[i], 0) << KeyLayoutName(layout) << " lane " << i;
            EXPECT_GE(places[i].X, i ? places[i - 1].X + places[i - 1].Width : 0);
            EXPECT_LE(places[i].X + places[i].Width, 320);
            EXPECT_LE(places[i].Width, 32) << "drawn from 32-pixel sprites";
        }
    }
}

namespace {

// Pixel runs of a row wider than a rail: the notes drawn across it.
std::vector<std::pair<int, int>> NoteRuns(const Surface& back, int y) {
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < back.Width();) {
        int end = x;
        while (end < back.Width() && back.Pixel(end, y) != 0)
            ++end;
        if (end - x >= 8) runs.emplace_back(x, end - x);
        x = end + 1;
    }
    return runs;
}

} // namespace

// A note on every key on beat 4, key 1's a long note to beat 6 (with a note
// of its key at beat 4.5); at 120 bpm and
// 32 pixels a beat, drawn at beat 2 (2000 ms) the notes lie 64 pixels below
// the hit line and the long note's bar reaches 64 pixels further.
TEST(KeyLayout, EachLayoutDrawsItsLanesAndHeldBars) {
    struct Case {
        const char* Keys; // channels of player 1's notes on beat 4
        const char* Name;
        int Lanes;
    };
    const Case cases[] = {
        {"12 13 14 15 16", "a.bms", 6},
        {"12 13 14 15 16 18 19", "a.bme", 8},
        {"12 13 14 15 16 21 22 23 24 25 26", "a.bms", 12},
        {"12 13 14 15 16 18 19 21 22 23 24 25 26 28 29", "a.bms", 16},
        {"12 13 14 15 22 23 24 25", "a.pms", 9},
    };
    for (const Case& c : cases) {
        // A note of channel 11 inside the long note leaves it whole.
        std::string chart = "#BPM 120\n#00151:0101\n#00111:0001000000000000\n";
        for (const char* k = c.Keys; *k; k += k[2] ? 3 : 2)
            chart += std::string("#001") + k[0] + k[1] + ":01\n";
        HeadlessNoteField f(chart, StandardReading(), c.Name);
        ASSERT_TRUE(f.Session().Chart.Keys) << c.Name;
        f.DrawAt(2000);
        const int noteRow = KeyHitLine + 64;
        const auto runs = NoteRuns(f.Back(), noteRow);
        ASSERT_EQ(int(runs.size()), c.Lanes) << c.Keys;
        // Key 1's lane: the held bar runs from the head down to the tail.
        const KeyLayout layout = f.Session().Chart.Keys->Layout;
        const KeyLanePlace key1 = KeyLanePlaces(layout)[size_t(standard::KeyLaneOf(layout, 1, 1))];
        const int x = key1.X + key1.Width / 2;
        for (int y = noteRow; y <= noteRow + 64; ++y)
            ASSERT_NE(f.Back().Pixel(x, y), 0) << c.Keys << " row " << y;
        EXPECT_EQ(f.Back().Pixel(x, noteRow + 72), 0) << "nothing below the tail";
        if (layout != KeyLayout::Buttons9) {
            EXPECT_GT(runs[0].second, runs[1].second) << "the scratch lane is wider";
        }
        // Held at the receptors: at beat 5 the bar runs from the hit line to the tail.
        f.DrawAt(3500);
        EXPECT_NE(f.Back().Pixel(x, KeyHitLine + 20), 0) << c.Keys;
        EXPECT_EQ(NoteRuns(f.Back(), noteRow).size(), 0u) << "the other notes have passed";
    }
}

TEST(KeyLayout, ArrowLanesKeepTheFoldedArrows) {
    ChartReading arrows = StandardReading();
    arrows.ArrowLanes = true;
    HeadlessNoteField f("#BPM 120\n#00111:01\n#00118:01\n", arrows);
    EXPECT_FALSE(f.Session().Chart.Keys);
    f.DrawAt(2000);
    EXPECT_EQ(f.FirstArrowRow(8 + 16), 32 + 64) << "lane 0's arrow, two beats away";
    EXPECT_NEAR(f.FirstArrowRow(8 + 64 + 16), 32 + 64, 1) << "key 6 folds onto lane 2";
}
