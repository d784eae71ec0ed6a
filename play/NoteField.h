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
#include "play/GameFlow.h"
#include "play/PlayState.h"
#include "screen/ScreenServices.h"

#include <optional>
#include <string>

namespace tappo {

// Item numbers of the sprite archive the play screen draws.
enum PlayItems : int {
    ItemReceptors = 0,
    ItemReceptorsBeat = 1,
    ItemStar = 2,
    ItemPause = 3,
    ItemKeyNotes = 8
};

// The loop's marks as a label, e.g. "LOOP 32-40", "LOOP 32-" with only its
// start marked; "LOOP OFF" with neither mark.
std::string LoopText(std::optional<int> startMeasure, std::optional<int> endMeasure);

class NoteFieldPainter {
  public:
    // Reads the chart, the play clock and the toggles; draws on the display.
    NoteFieldPainter(const ScreenServices& screen, const ArrowSheet& arrows, const GameFlow& flow,
                     PlayState& play, const PlayToggles& toggles, const ChartSession& session)
        : video_(screen.Video), images_(screen.Images), arrows_(arrows), warp_(screen.Warp),
          timer_(screen.Timer), screen_(flow.Screen), play_(play), toggles_(toggles),
          gameState_(session.GameState), header_(session.Header), chart_(session.Chart) {}

    // The sixteenth (0-15) of the current measure in which the song time
    // lies (in the standard reading: in which its beat lies).
    int MeasurePhase() const;
    // When no images are shown: the warp, or a screen with the chart's header.
    void DrawBackground();
    // Frame rate, the late-time offset and the pause mark.
    void DrawOverlay();
    // The loop's label ("LOOP 32-40") and its marks beside the lanes, over the arrows.
    void DrawLoop();
    // Receptors, then every lane's arrows from its cursor down to the screen's
    // bottom; a chart with its own key layout draws its key lanes instead.
    void DrawReceptorsAndArrows();
    // One arrow of `record`; false when it lies below the screen (its lane
    // stops there). An arrow that has left at the top moves its lane's cursor on.
    bool DrawArrow(int lane, int player, const EventRecord& record, int phase);

  private:
    // Where an arrow goes this frame: the row of its top when it is on the
    // screen; an arrow that has left at the top moves its lane's cursor on.
    struct ArrowPlace {
        enum { Shown, Hidden, Below } Kind;
        int Top = 0;
    };

    // The key lanes of a standard chart; false when there are none to draw
    // (the exact reading, `--lanes arrows`, or a sprite archive without them).
    bool DrawKeyLanes(int phase);
    // Pixels from the receptors down to the arrow of `record`.
    double ArrowDistance(const EventRecord& record) const;
    ArrowPlace PlaceArrow(int lane, int player, const EventRecord& record);
    void DrawArrowAt(int lane, int player, int top, int phase);

    Display& video_;
    SpriteSheet& images_;
    const ArrowSheet& arrows_;
    const std::unique_ptr<WarpEffect>& warp_;
    FrameTimer& timer_;
    const int32_t& screen_;
    PlayState& play_; // the lanes' cursors move on as arrows leave
    const PlayToggles& toggles_;
    const PlaySettings& gameState_;
    const ChartHeader& header_;
    const ChartData& chart_;
};

// Phase of `songTime` within its measure, for tests and drawing.
int MeasurePhaseAt(int32_t songTime, const ChartData& chart);

} // namespace tappo
