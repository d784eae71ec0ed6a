#include "play/KeyField.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace tappo {
namespace {

// The sprite sheet's cells: one 32-pixel column a colour, rows of 16.
constexpr int Cell = 32, RowHeight = 16, NoteHeight = 7;
constexpr int RowNote = 0, RowHeld = 1, RowReceptor = 2, RowReceptorBeat = 3;
constexpr int RailColumn = KeyColourCount;
constexpr int SheetWidth = (KeyColourCount + 1) * Cell, SheetHeight = 4 * RowHeight;
// Lanes keep a pixel free on each side between their notes and the rails.
constexpr int Margin = 1;

struct Painter {
    Surface& Back;
    const SpriteCell& Sheet;

    // A bar `width` wide (at most a cell) from the cell's two ends: its rounded
    // edges stay, the same middle is shorter.
    void Bar(int colour, int row, int x, int y, int width, int height) const {
        const int left = width / 2, right = width - left;
        const int sx = Sheet.Area.Left + colour * Cell, sy = Sheet.Area.Top + row * RowHeight;
        Back.Draw(x, y, Bounds(sx, sy, left, height), Sheet.Source, true);
        Back.Draw(x + left, y, Bounds(sx + Cell - right, sy, right, height), Sheet.Source, true);
    }
    // The held bar tiled from row `top` down to `bottom` (exclusive), within the screen.
    void Held(int colour, int x, int width, int top, int bottom) const {
        top = std::max(top, 0);
        bottom = std::min(bottom, Back.Height());
        for (int y = top; y < bottom; y += RowHeight)
            Bar(colour, RowHeld, x, y, width, std::min(RowHeight, bottom - y));
    }
    void Rail(int x) const {
        const int sx = Sheet.Area.Left + RailColumn * Cell;
        for (int y = KeyHitLine + 8; y < Back.Height(); y += SheetHeight)
            Back.Draw(x, y, Bounds(sx, Sheet.Area.Top, 1, SheetHeight), Sheet.Source, true);
    }
};

// The row of a note's top at `distance` pixels below the hit line, held
// within a little beyond the screen so that far notes stay in int's range.
int NoteTop(double distance) {
    return int(std::clamp(std::ceil(distance), -1000.0, 1000.0)) + KeyHitLine - NoteHeight / 2;
}

} // namespace

std::vector<KeyLanePlace> KeyLanePlaces(KeyLayout layout) {
    std::vector<KeyLanePlace> out;
    // One side: scratch, then keys alternating white and blue.
    auto side = [&](int x, int keys, int keyWidth, int scratchWidth, bool scratchRight) {
        if (!scratchRight) out.push_back({x, scratchWidth, KeyScratch}), x += scratchWidth;
        for (int k = 0; k < keys; ++k, x += keyWidth)
            out.push_back({x, keyWidth, k % 2 ? KeyBlue : KeyWhite});
        if (scratchRight) out.push_back({x, scratchWidth, KeyScratch});
    };
    switch (layout) {
    case KeyLayout::Keys5:
        side(8, 5, 20, 32, false);
        break;
    case KeyLayout::Keys7:
        side(8, 7, 20, 32, false);
        break;
    case KeyLayout::Keys10:
        side(8, 5, 16, 24, false);
        side(320 - 8 - 104, 5, 16, 24, true);
        break;
    case KeyLayout::Keys14:
        side(8, 7, 16, 24, false);
        side(320 - 8 - 136, 7, 16, 24, true);
        break;
    case KeyLayout::Buttons9: {
        static constexpr KeyColour Buttons[9] = {KeyWhite, KeyYellow, KeyGreen,  KeyBlue, KeyRed,
                                                 KeyBlue,  KeyGreen,  KeyYellow, KeyWhite};
        for (int b = 0; b < 9; ++b)
            out.push_back({52 + 24 * b, 24, Buttons[b]});
        break;
    }
    }
    return out;
}

bool DrawKeyField(Surface& back, const SpriteCell& sheet, const KeyLanes& lanes, double nowBeat,
                  double pixelsPerBeat, bool onBeat) {
    if (!sheet.Source || sheet.Area.Width() < SheetWidth || sheet.Area.Height() < SheetHeight)
        return false;
    const Painter paint{back, sheet};
    const std::vector<KeyLanePlace> places = KeyLanePlaces(lanes.Layout);
    // Rails on both edges of every lane (neighbours share theirs).
    for (size_t i = 0; i < places.size(); ++i) {
        const KeyLanePlace& p = places[i];
        if (i == 0 || places[i - 1].X + places[i - 1].Width != p.X) paint.Rail(p.X);
        paint.Rail(p.X + p.Width - 1);
    }
    for (const KeyLanePlace& p : places)
        paint.Bar(p.Colour, onBeat ? RowReceptorBeat : RowReceptor, p.X, KeyHitLine - 8, p.Width,
                  RowHeight);
    if (!(pixelsPerBeat > 0) || !std::isfinite(pixelsPerBeat) || !std::isfinite(nowBeat))
        return true;
    // Notes whose tail has scrolled above the screen, and those below it, are not drawn.
    const double topBeat = nowBeat - (KeyHitLine + NoteHeight) / pixelsPerBeat;
    const double bottomBeat = nowBeat + (back.Height() - KeyHitLine + NoteHeight) / pixelsPerBeat;
    for (size_t lane = 0; lane < lanes.Lanes.size() && lane < places.size(); ++lane) {
        const KeyLane& keys = lanes.Lanes[lane];
        const KeyLanePlace& p = places[lane];
        const int x = p.X + Margin, width = p.Width - 2 * Margin;
        // Long notes first, notes over them. A long note is held at the
        // receptors from its head to its tail, then leaves with its tail.
        // Held bars are drawn only below the rows the lane's bars already
        // cover, so overlapping long notes cost no more than one bar down the
        // screen; of caps drawn on the same rows only the last shows.
        int lastTop = INT32_MIN, lastTail = INT32_MIN, barsTo = INT32_MIN;
        auto held =
            std::lower_bound(keys.LongNotes.begin(), keys.LongNotes.end(), topBeat,
                             [](const KeyLongNote& n, double b) { return n.ReachBeat < b; });
        for (; held != keys.LongNotes.end() && held->Beat <= bottomBeat; ++held) {
            if (held->EndBeat < topBeat) continue;
            const double head = (held->Beat - nowBeat) * pixelsPerBeat;
            const double tail = (held->EndBeat - nowBeat) * pixelsPerBeat;
            const int headTop = NoteTop(head >= 0 ? head : std::min(0.0, tail));
            const int tailTop = NoteTop(tail);
            if (headTop == lastTop && tailTop == lastTail) continue;
            const int barTop = std::max(headTop + NoteHeight / 2, barsTo);
            barsTo = std::max(barsTo, tailTop + NoteHeight / 2);
            paint.Held(p.Colour, x, width, barTop, tailTop + NoteHeight / 2);
            paint.Bar(p.Colour, RowNote, x, tailTop, width, NoteHeight);
            paint.Bar(p.Colour, RowNote, x, headTop, width, NoteHeight);
            lastTop = headTop, lastTail = tailTop;
        }
        // Of notes drawn on one row only one shows (they are one picture), so
        // a dense lane costs one draw a row.
        lastTop = INT32_MIN;
        for (auto n = std::lower_bound(keys.Notes.begin(), keys.Notes.end(), topBeat);
             n != keys.Notes.end() && *n <= bottomBeat; ++n) {
            const int top = NoteTop((*n - nowBeat) * pixelsPerBeat);
            if (top != lastTop) paint.Bar(p.Colour, RowNote, x, top, width, NoteHeight);
            lastTop = top;
        }
    }
    return true;
}

} // namespace tappo
