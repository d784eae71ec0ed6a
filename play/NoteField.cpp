#include "play/NoteField.h"

#include "chart/ShiftJis.h"
#include "chart/standard/Timing.h"
#include "play/KeyField.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tappo {

int MeasurePhaseAt(int32_t songTime, const ChartData& chart) {
    int m = 0;
    for (int i = MeasureCount - 1; i >= 0; --i) {
        if (chart.MeasureStart[size_t(i)] <= double(songTime)) {
            m = i;
            break;
        }
    }
    const double length = chart.MeasureLength[size_t(m)];
    if (length == 0 || !std::isfinite(length)) return 0;
    const double phase = std::trunc((songTime - chart.MeasureStart[size_t(m)]) / length * 16);
    // A measure too short for a double's range has no phase.
    if (!(phase > 0) || !std::isfinite(phase)) return 0;
    // Past the end of measure 999 the phase runs on; the animation keeps cycling.
    return phase < 16 ? int(phase) : int(std::fmod(phase, 16.0));
}

int NoteFieldPainter::MeasurePhase() const {
    if (chart_.BeatScroll) return chart_.BeatScroll->MeasurePhase(play_.SongTime);
    return MeasurePhaseAt(play_.SongTime, chart_);
}

double NoteFieldPainter::ArrowDistance(const EventRecord& record) const {
    if (!chart_.BeatScroll)
        return double(record.Time + play_.LateTime - play_.SongTime) * gameState_.ScrollSpeed *
               toggles_.ScrollFactor;
    // By beats: the arrows keep the header tempo's spacing, move faster or
    // slower with the tempo and stand still during a stop.
    const standard::BeatTimeline& t = chart_.BeatScroll->Timeline;
    const double pixelsPerBeat =
        gameState_.ScrollSpeed * toggles_.ScrollFactor * 60000.0 / gameState_.Bpm;
    const double now = t.BeatOfTime(double(play_.SongTime) - play_.LateTime);
    return (t.BeatOfTime(double(record.Time)) - now) * pixelsPerBeat;
}

void NoteFieldPainter::DrawBackground() {
    Surface& back = video_.Back();
    SurfaceCanvas& canvas = back.Canvas();
    if (toggles_.WarpInPlay) {
        warp_->UpdateWarp();
        canvas.Draw(0, 0, warp_->WarpImage);
        return;
    }
    back.Fill(0);
    canvas.Font.Color = 0xFFFFFF;
    char bpm[40];
    std::snprintf(bpm, sizeof bpm, "%.15g", gameState_.Bpm);
    canvas.WriteText(50, 70, "GENRE  " + ChartTextToUtf8(gameState_.Genre));
    canvas.WriteText(50, 90, "TITLE  " + ChartTextToUtf8(header_.Title));
    canvas.WriteText(50, 110, "ARTIST  " + ChartTextToUtf8(header_.Artist));
    canvas.WriteText(50, 130, "PLAYLEVEL");
    canvas.WriteText(50, 150, std::string("BPM  ") + bpm);
    // Stars at 124, 138, ...: the loop ends at the screen's right edge, not
    // at a count, so every star that falls on the screen is drawn.
    for (long long k = 1; k <= gameState_.PlayLevel && 110 + 14 * k < back.Width(); ++k)
        images_.Draw(ItemStar, back, int(110 + 14 * k), 128, 0);
}

void NoteFieldPainter::DrawOverlay() {
    Surface& back = video_.Back();
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Color = 0x00FF00;
    if (toggles_.ShowFps) canvas.WriteText(276, 222, std::to_string(timer_.FrameRate()) + " fps");
    if (play_.LateTime != 0)
        canvas.WriteText(240, 210, "late time" + std::to_string(play_.LateTime));
    if (screen_ == ScreenPaused) images_.Draw(ItemPause, back, 140, 110, 0);
}

std::string LoopText(std::optional<int> startMeasure, std::optional<int> endMeasure) {
    if (!startMeasure && !endMeasure) return "LOOP OFF";
    auto number = [](std::optional<int> m) { return m ? std::to_string(*m) : std::string(); };
    return "LOOP " + number(startMeasure) + "-" + number(endMeasure);
}

// The label in the corner; a mark is a small flag pointing at the lanes, on
// its measure line's row (the middle of an arrow of that time): the start
// mark cyan, the end mark yellow.
void NoteFieldPainter::DrawLoop() {
    if (!video_.CanDraw() || (!play_.Loop.StartMeasure && !play_.Loop.EndMeasure)) return;
    Surface& back = video_.Back();
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Color = 0x00FF00;
    canvas.WriteText(4, 222, LoopText(play_.Loop.StartMeasure, play_.Loop.EndMeasure));
    // Left of the first player's lanes, or right of them where they start at the edge.
    const int lane = gameState_.Lane1X;
    const int x = lane >= 8 ? lane - 8 : lane + 130;
    for (const bool start : {true, false}) {
        const std::optional<int> measure = start ? play_.Loop.StartMeasure : play_.Loop.EndMeasure;
        if (!measure || *measure < 0 || *measure >= MeasureCount) continue;
        EventRecord line;
        line.Time = int64_t(chart_.MeasureStart[size_t(*measure)]);
        const double row = std::ceil(ArrowDistance(line)) + 48;
        if (!(row > -4 && row < back.Height() + 4)) continue;
        const uint16_t colour = start ? 0x07FF : 0xFFE0;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = 0; dx < 7 - 2 * std::abs(dy); ++dx)
                if (int(row) + dy >= 0 && int(row) + dy < back.Height())
                    back.SetPixel(x + dx, int(row) + dy, colour);
    }
}

NoteFieldPainter::ArrowPlace NoteFieldPainter::PlaceArrow(int lane, int player,
                                                          const EventRecord& record) {
    const double distance = ArrowDistance(record);
    const double top = std::ceil(distance) + 32;
    // Tempos at the ends of what a double holds can leave an arrow without a
    // place (infinity minus infinity); it is not drawn, and those after it are.
    if (std::isnan(top)) return {ArrowPlace::Hidden};
    if (top > video_.Mode.Height) return {ArrowPlace::Below};
    if (top <= -32) {
        ++play_.EventCursors[size_t(LaneNotesIndex + (player - 1) * 4 + lane)];
        return {ArrowPlace::Hidden};
    }
    return {ArrowPlace::Shown, int(top)};
}

void NoteFieldPainter::DrawArrowAt(int lane, int player, int top, int phase) {
    const Surface* sprite = arrows_[phase * 4 + lane];
    const int x = lane * 32 + (player == 1 ? gameState_.Lane1X : gameState_.Lane2X);
    video_.Back().Draw(x, top, Bounds(0, 0, 32, 32), sprite, true);
}

bool NoteFieldPainter::DrawArrow(int lane, int player, const EventRecord& record, int phase) {
    const ArrowPlace place = PlaceArrow(lane, player, record);
    if (place.Kind == ArrowPlace::Shown && video_.CanDraw())
        DrawArrowAt(lane, player, place.Top, phase);
    return place.Kind != ArrowPlace::Below;
}

bool NoteFieldPainter::DrawKeyLanes(int phase) {
    if (!chart_.Keys || !chart_.BeatScroll) return false;
    if (images_.Items.Count() <= ItemKeyNotes) return false;
    const Sprite& sheet = images_.Items.Items(ItemKeyNotes);
    if (!sheet.PatternsCut() || sheet.PatternCount() < 1) return false;
    if (!video_.CanDraw()) return true;
    const standard::BeatTimeline& t = chart_.BeatScroll->Timeline;
    const double pixelsPerBeat =
        gameState_.ScrollSpeed * toggles_.ScrollFactor * 60000.0 / gameState_.Bpm;
    const double now = t.BeatOfTime(double(play_.SongTime) - play_.LateTime);
    return DrawKeyField(video_.Back(), sheet.Pattern(0), *chart_.Keys, now, pixelsPerBeat,
                        phase % 4 == 0);
}

void NoteFieldPainter::DrawReceptorsAndArrows() {
    const int phase = MeasurePhase();
    if (DrawKeyLanes(phase)) return;
    const int players = header_.PlayerMode > 1 ? 2 : 1;
    const bool canDraw = video_.CanDraw();
    if (canDraw) {
        const int item = phase % 4 == 0 ? ItemReceptorsBeat : ItemReceptors;
        images_.Draw(item, video_.Back(), gameState_.Lane1X, 32, 0);
        if (players == 2) images_.Draw(item, video_.Back(), gameState_.Lane2X, 32, 0);
    }
    for (int player = 1; player <= players; ++player) {
        for (int lane = 0; lane < 4; ++lane) {
            const int index = LaneNotesIndex + (player - 1) * 4 + lane;
            const EventList& list = chart_.Events[index];
            // A lane's arrows are all the same picture, so an arrow drawn at
            // the same row as the next one drawn is wholly covered by it: of
            // each run of arrows on one row only the last is drawn, which
            // leaves the same picture at one draw per row however dense the
            // chart. The cursor moves on inside PlaceArrow as arrows leave at
            // the top.
            int pendingTop = 0;
            bool pending = false;
            for (size_t i = size_t(std::max(0, play_.EventCursors[size_t(index)])); i < list.size();
                 ++i) {
                const ArrowPlace place = PlaceArrow(lane, player, list[i]);
                if (place.Kind == ArrowPlace::Below) break;
                if (place.Kind != ArrowPlace::Shown) continue;
                if (pending && place.Top != pendingTop && canDraw)
                    DrawArrowAt(lane, player, pendingTop, phase);
                pending = true;
                pendingTop = place.Top;
            }
            if (pending && canDraw) DrawArrowAt(lane, player, pendingTop, phase);
        }
    }
}

} // namespace tappo
