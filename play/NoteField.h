// The play screen's own drawing: the background when no images are shown,
// the overlay texts and pause mark, the receptor rows and the scrolling arrows
// of four lanes per player, or a standard chart's keys in its own layout. The
// notes only show the chart; nothing is judged.
#pragma once

#include "chart/CompiledChart.h"
#include "chart/GameState.h"
#include "effects/Warp.h"
#include "media/ChartSession.h"
#include "platform/Display.h"
#include "platform/SpriteSheet.h"
#include "platform/Timer.h"
#include "play/ArrowSprites.h"
#include "play/PlayState.h"
#include "play/ScreenServices.h"

namespace tappo {

// Item numbers of the sprite archive the play screen draws.
enum PlayItems : int {
    ItemReceptors = 0,
    ItemReceptorsBeat = 1,
    ItemStar = 2,
    ItemPause = 3,
    ItemKeyNotes = 8
};

struct NoteFieldPainter {
    // Reads the chart, the play clock and the toggles; draws on the display.
    NoteFieldPainter(const ScreenServices& screen, ArrowSheet& arrows, const GameFlow& flow,
                     PlayState& play, const PlayToggles& toggles, const ChartSession& session)
        : Video(screen.Video), Images(screen.Images), Arrows(arrows), Warp(screen.Warp),
          Timer(screen.Timer), Screen(flow.Screen), Play(play), Toggles(toggles),
          GameState(session.GameState), Header(session.Header), Chart(session.Chart) {}

    Display& Video;
    SpriteSheet& Images;
    ArrowSheet& Arrows;
    WarpEffect& Warp;
    FrameTimer& Timer;
    const int32_t& Screen;
    PlayState& Play;
    const PlayToggles& Toggles;
    const PlaySettings& GameState;
    const ChartHeader& Header;
    const ChartData& Chart;

    // The sixteenth (0-15) of the current measure in which the song time
    // lies (in the standard reading: in which its beat lies).
    int MeasurePhase() const;
    // When no images are shown: the warp, or a screen with the chart's header.
    void DrawBackground();
    // Frame rate, the late-time offset and the pause mark.
    void DrawOverlay();
    // Receptors, then every lane's arrows from its cursor down to the screen's
    // bottom; a chart with its own key layout draws its key lanes instead.
    void DrawReceptorsAndArrows();
    // The key lanes of a standard chart; false when there are none to draw
    // (the exact reading, `--lanes arrows`, or a sprite archive without them).
    bool DrawKeyLanes(int phase);
    // Pixels from the receptors down to the arrow of `record`.
    double ArrowDistance(const EventRecord& record) const;
    // False when the arrow lies below the screen (its lane stops there).
    bool DrawArrow(int lane, int player, const EventRecord& record, int phase);

    // Where an arrow goes this frame: the row of its top when it is on the
    // screen; an arrow that has left at the top moves its lane's cursor on.
    struct ArrowPlace {
        enum { Shown, Hidden, Below } Kind;
        int Top = 0;
    };
    ArrowPlace PlaceArrow(int lane, int player, const EventRecord& record);
    void DrawArrowAt(int lane, int player, int top, int phase);
};

// Phase of `songTime` within its measure, for tests and drawing.
int MeasurePhaseAt(int32_t songTime, const ChartData& chart);

} // namespace tappo
