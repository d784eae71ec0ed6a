#include "play/NoteField.h"

#include "chart/ShiftJis.h"
#include "chart/standard/Timing.h"
#include "play/KeyField.h"

#include <cmath>
#include <cstdio>

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
    if (Chart.BeatScroll) return Chart.BeatScroll->MeasurePhase(Play.SongTime);
    return MeasurePhaseAt(Play.SongTime, Chart);
}

double NoteFieldPainter::ArrowDistance(const EventRecord& record) const {
    if (!Chart.BeatScroll)
        return double(record.Time + Play.LateTime - Play.SongTime) * GameState.ScrollSpeed;
    // By beats: the arrows keep the header tempo's spacing, move faster or
    // slower with the tempo and stand still during a stop.
    const standard::BeatTimeline& t = Chart.BeatScroll->Timeline;
    const double pixelsPerBeat = GameState.ScrollSpeed * 60000.0 / GameState.Bpm;
    const double now = t.BeatOfTime(double(Play.SongTime) - Play.LateTime);
    return (t.BeatOfTime(double(record.Time)) - now) * pixelsPerBeat;
}

void NoteFieldPainter::DrawBackground() {
    Surface& back = Video.Back();
    SurfaceCanvas& canvas = back.Canvas();
    if (Toggles.WarpInPlay) {
        Warp.UpdateWarp();
        canvas.Draw(0, 0, Warp.WarpImage);
        return;
    }
    back.Fill(0);
    canvas.Font.Name = "MS Serif";
    canvas.Font.Color = 0xFFFFFF;
    char bpm[40];
    std::snprintf(bpm, sizeof bpm, "%.15g", GameState.Bpm);
    canvas.TextOut(50, 70, "GENRE  " + ChartTextToUtf8(GameState.Genre));
    canvas.TextOut(50, 90, "TITLE  " + ChartTextToUtf8(Header.Title));
    canvas.TextOut(50, 110, "ARTIST  " + ChartTextToUtf8(Header.Artist));
    canvas.TextOut(50, 130, "PLAYLEVEL");
    canvas.TextOut(50, 150, std::string("BPM  ") + bpm);
    // Stars at 124, 138, ...: the loop ends at the screen's right edge, not
    // at a count, so every star that falls on the screen is drawn.
    for (long long k = 1; k <= GameState.PlayLevel && 110 + 14 * k < back.Width(); ++k)
        Images.Draw(ItemStar, back, int(110 + 14 * k), 128, 0);
}

void NoteFieldPainter::DrawOverlay() {
    Surface& back = Video.Back();
    SurfaceCanvas& canvas = back.Canvas();
    canvas.Font.Name = "MS Serif";
    canvas.Font.Color = 0x00FF00;
    if (Toggles.ShowFps) canvas.TextOut(276, 222, std::to_string(Timer.FrameRate()) + " fps");
    if (Play.LateTime != 0) canvas.TextOut(240, 210, "late time" + std::to_string(Play.LateTime));
    if (Screen == ScreenPaused) Images.Draw(ItemPause, back, 140, 110, 0);
}

NoteFieldPainter::ArrowPlace NoteFieldPainter::PlaceArrow(int lane, int player,
                                                          const EventRecord& record) {
    const double distance = ArrowDistance(record);
    const double top = std::ceil(distance) + 32;
    // Tempos at the ends of what a double holds can leave an arrow without a
    // place (infinity minus infinity); it is not drawn, and those after it are.
    if (std::isnan(top)) return {ArrowPlace::Hidden};
    if (top > Video.Mode.Height) return {ArrowPlace::Below};
    if (top <= -32) {
        ++Play.EventCursors[size_t(LaneNotesIndex + (player - 1) * 4 + lane)];
        return {ArrowPlace::Hidden};
    }
    return {ArrowPlace::Shown, int(top)};
}

void NoteFieldPainter::DrawArrowAt(int lane, int player, int top, int phase) {
    const Surface* sprite = Arrows[phase * 4 + lane];
    const int x = lane * 32 + (player == 1 ? GameState.Lane1X : GameState.Lane2X);
    Video.Back().Draw(x, top, Bounds(0, 0, 32, 32), sprite, true);
}

bool NoteFieldPainter::DrawArrow(int lane, int player, const EventRecord& record, int phase) {
    const ArrowPlace place = PlaceArrow(lane, player, record);
    if (place.Kind == ArrowPlace::Shown && Video.CanDraw())
        DrawArrowAt(lane, player, place.Top, phase);
    return place.Kind != ArrowPlace::Below;
}

bool NoteFieldPainter::DrawKeyLanes(int phase) {
    if (!Chart.Keys || !Chart.BeatScroll) return false;
    if (Images.Items.Count() <= ItemKeyNotes) return false;
    const Sprite& sheet = Images.Items.Items(ItemKeyNotes);
    if (!sheet.Initialized() || sheet.PatternCount() < 1) return false;
    if (!Video.CanDraw()) return true;
    const standard::BeatTimeline& t = Chart.BeatScroll->Timeline;
    const double pixelsPerBeat = GameState.ScrollSpeed * 60000.0 / GameState.Bpm;
    const double now = t.BeatOfTime(double(Play.SongTime) - Play.LateTime);
    return DrawKeyField(Video.Back(), sheet.Pattern(0), *Chart.Keys, now, pixelsPerBeat,
                        phase % 4 == 0);
}

void NoteFieldPainter::DrawReceptorsAndArrows() {
    const int phase = MeasurePhase();
    if (DrawKeyLanes(phase)) return;
    const int players = Header.PlayerMode > 1 ? 2 : 1;
    const bool canDraw = Video.CanDraw();
    if (canDraw) {
        const int item = phase % 4 == 0 ? ItemReceptorsBeat : ItemReceptors;
        Images.Draw(item, Video.Back(), GameState.Lane1X, 32, 0);
        if (players == 2) Images.Draw(item, Video.Back(), GameState.Lane2X, 32, 0);
    }
    for (int player = 1; player <= players; ++player) {
        for (int lane = 0; lane < 4; ++lane) {
            const int index = LaneNotesIndex + (player - 1) * 4 + lane;
            const EventList& list = Chart.Events[index];
            // A lane's arrows are all the same picture, so an arrow drawn at
            // the same row as the next one drawn is wholly covered by it: of
            // each run of arrows on one row only the last is drawn, which
            // leaves the same picture at one draw per row however dense the
            // chart. The cursor moves on inside PlaceArrow as arrows leave at
            // the top.
            int pendingTop = 0;
            bool pending = false;
            for (size_t i = size_t(std::max(0, Play.EventCursors[size_t(index)])); i < list.size();
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
