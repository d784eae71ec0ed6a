// The note field: arrow geometry at the screen's edges, the measure phase that
// animates arrows and receptors, and what the play screen draws around them.
#include "HeadlessPlayer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

using namespace tappo;
using namespace tappo::test;

namespace {

// A note field over a chart whose lane 0 of player 1 has a note at 3000 ms
// (tempo 130), read the exact way.
struct FieldFixture : HeadlessNoteField {
    explicit FieldFixture(
        const std::string& chart = "#PLAYER 1\n#GENRE Test\n#PLAYLEVEL 3\n#00111:01\n")
        : HeadlessNoteField(chart, {}) {}
    // Whether the screen shows `item` of the sprites where the receptors of player 1 go.
    bool ReceptorsMatch(int item) {
        Surface expected(&display);
        expected.SetSize(320, 240);
        expected.Fill(0);
        sprites.Draw(item, expected, 8, 32, 0);
        for (int y = 32; y < 64; ++y)
            for (int x = 8; x < 136; ++x)
                if (expected.Pixel(x, y) != Back().Pixel(x, y)) return false;
        return true;
    }
};

} // namespace

TEST(NoteField, AnArrowIsDrawnUntilItLeavesTheScreen) {
    // At tempo 130 an arrow moves 128 pixels a measure (about 1846 ms), so 3000 ms
    // before its time it stands 208 pixels below the receptors at row 32.
    FieldFixture f;
    NoteFieldPainter& field = *f.field;
    const EventRecord note = f.Session().Chart.Events.LaneNotes(1, 0)[0];
    const int32_t t = int32_t(note.Time);
    const int32_t& cursor = f.play.EventCursors[LaneNotesIndex];

    f.play.SongTime = t - 3000;
    EXPECT_TRUE(field.DrawArrow(0, 1, note, 0)) << "y = 240: still drawn, the lane goes on";
    f.play.SongTime = t - 3001;
    EXPECT_FALSE(field.DrawArrow(0, 1, note, 0)) << "y = 241: the lane stops";
    f.play.SongTime = t + 923;
    EXPECT_TRUE(field.DrawArrow(0, 1, note, 0));
    EXPECT_EQ(cursor, 0) << "y = -31 is drawn";
    f.play.SongTime = t + 924;
    EXPECT_TRUE(field.DrawArrow(0, 1, note, 0));
    EXPECT_EQ(cursor, 1) << "y = -32: dropped for good";
}

TEST(NoteField, ADenseLaneLooksAsIfEveryArrowWereDrawn) {
    // Lane 0: forty lines of 124 notes in measure 1, so rows hold many arrows
    // each; lane 1: a few apart. The whole measure lies below the receptors.
    std::string chart = "#PLAYER 1\n#00113:00010001\n";
    for (int line = 0; line < 40; ++line) {
        chart += "#00111:";
        for (int i = 0; i < 124; ++i)
            chart += "01";
        chart += "\n";
    }
    FieldFixture f(chart);
    f.DrawAt(1384);
    std::vector<uint16_t> drawn;
    for (int y = 64; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            drawn.push_back(f.Back().Pixel(x, y));
    f.Back().Fill(0);
    const int phase = f.field->MeasurePhase();
    for (int lane = 0; lane < 2; ++lane)
        for (const EventRecord& note : f.Session().Chart.Events.LaneNotes(1, lane))
            f.field->DrawArrow(lane, 1, note, phase);
    std::vector<uint16_t> each;
    for (int y = 64; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            each.push_back(f.Back().Pixel(x, y));
    EXPECT_GT(std::count_if(each.begin(), each.end(), [](uint16_t p) { return p != 0; }), 2000);
    EXPECT_TRUE(drawn == each) << "the same picture as every arrow drawn in turn";
}

TEST(NoteField, LateTimeMovesTheArrowsDown) {
    FieldFixture f;
    const int32_t t = int32_t(f.Session().Chart.Events.LaneNotes(1, 0)[0].Time);
    // 1000 ms ahead the arrow's top is at y = 102; LateTime moves it down.
    f.DrawAt(t - 1000);
    EXPECT_EQ(f.FirstArrowRow(24), 102);
    f.play.LateTime = 10;
    f.DrawAt(t - 1000);
    EXPECT_EQ(f.FirstArrowRow(24), 102 + 1) << "ceil(1010 x 0.0693) + 32";
}

TEST(NoteField, MeasurePhaseOfASongTime) {
    FieldFixture f;
    const ChartData& chart = f.Session().Chart;
    EXPECT_EQ(MeasurePhaseAt(1500, chart), 4);
    EXPECT_EQ(MeasurePhaseAt(1115, chart), 0);
    EXPECT_EQ(MeasurePhaseAt(-200, chart), 0) << "before the first measure";
    EXPECT_EQ(MeasurePhaseAt(999, chart), 0);
    EXPECT_GE(MeasurePhaseAt(INT32_MAX, chart), 0);
    EXPECT_LT(MeasurePhaseAt(INT32_MAX, chart), 16)
        << "past the last measure the phase stays a sprite row";
}

TEST(NoteField, MeasurePhaseOfAMeasureTooShortForADouble) {
    // Sixteenths of a 1e-310 ms measure overflow to infinity: no sprite row
    // can come of that, so the phase is 0.
    FieldFixture f;
    ChartData chart = f.Session().Chart;
    chart.MeasureLength.fill(1e-310);
    EXPECT_EQ(MeasurePhaseAt(1500, chart), 0);
    EXPECT_EQ(MeasurePhaseAt(INT32_MAX, chart), 0);
}

TEST(NoteField, ReceptorsShowTheBeatOnItsFirstSixteenth) {
    FieldFixture f;
    f.DrawAt(1000); // phase 0
    EXPECT_TRUE(f.ReceptorsMatch(ItemReceptorsBeat));
}

TEST(NoteField, ReceptorsBetweenTheBeats) {
    FieldFixture f;
    f.DrawAt(1300); // phase 2
    EXPECT_TRUE(f.ReceptorsMatch(ItemReceptors));
}

TEST(NoteField, PlayerTwoHasItsLaneSetAt184) {
    FieldFixture two("#PLAYER 2\n#00121:01\n#00111:01\n");
    two.DrawAt(2000);
    EXPECT_NE(two.Back().Pixel(184 + 16, 48), 0) << "player 2's receptors at x 184";
}

TEST(NoteField, DoublePlayPlacesBothLaneSetsFrom32) {
    FieldFixture three("#PLAYER 3\n#00111:01\n");
    three.DrawAt(2000);
    EXPECT_EQ(three.Back().Pixel(16, 48), 0) << "lanes start at x 32";
    EXPECT_NE(three.Back().Pixel(32 + 16, 48), 0);
    EXPECT_NE(three.Back().Pixel(160 + 16, 48), 0);
}

TEST(NoteField, InformationScreenShowsLevelAndGenre) {
    FieldFixture f;
    f.field->DrawBackground();
    int stars = 0;
    for (int x = 124; x < 180; ++x)
        stars += f.Back().Pixel(x, 132) != 0 && f.Back().Pixel(x, 132) != 0xFFFF;
    EXPECT_GT(stars, 3) << "three level stars from x 124";
    if (f.fonts.Available()) {
        int white = 0;
        for (int x = 50; x < 120; ++x)
            white += f.Back().Pixel(x, 76) == 0xFFFF;
        EXPECT_GT(white, 3) << "the GENRE line";
    }
}

TEST(NoteField, WithTheWarpOnTheWarpIsTheBackground) {
    FieldFixture f;
    f.toggles.WarpInPlay = true;
    f.field->DrawBackground();
    int coloured = 0;
    for (int x = 0; x < 320; ++x)
        coloured += f.Back().Pixel(x, 230) != 0;
    EXPECT_GT(coloured, 250);
}

TEST(NoteField, OverlayShowsTheLateTimeAndThePauseMark) {
    FieldFixture f;
    f.Back().Fill(0);
    f.play.LateTime = -3;
    f.flow.Screen = ScreenPaused;
    f.field->DrawOverlay();
    EXPECT_NE(f.Back().Pixel(160, 120), 0) << "the pause mark at (140, 110)";
    if (f.fonts.Available()) {
        int green = 0;
        for (int y = 210; y < 226; ++y)
            for (int x = 240; x < 320; ++x)
                green += f.Back().Pixel(x, y) == 0x07E0;
        EXPECT_GT(green, 10) << "the late time in green";
    }
}

TEST(NoteField, NoPauseMarkWhilePlaying) {
    FieldFixture f;
    f.Back().Fill(0);
    f.field->DrawOverlay();
    EXPECT_EQ(f.Back().Pixel(160, 120), 0);
}
