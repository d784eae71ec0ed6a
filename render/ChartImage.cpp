#include "render/ChartImage.h"

#include "base/Errors.h"
#include "files/Files.h"
#include "formats/Png.h"
#include "render/ScorePainter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace tappo {
namespace {

// Rows a beat takes; a measure is drawn at most MaxDrawnBeats tall, so a
// hostile measure length cannot make a column of unbounded height.
constexpr double PixelsPerBeat = 20;
constexpr double MaxDrawnBeats = 16;
constexpr int Margin = 8, HeaderHeight = 64, NumberGutter = 22, MarkGutter = 44;
constexpr int ColumnGap = 4, SideGap = 6, MinPageWidth = 360;
constexpr int NoteHeight = 3, MarkTextRows = 11, MaxStack = 2;

constexpr uint32_t Paper = Rgb(14, 14, 24), LightLane = Rgb(34, 36, 54), DarkLane = Rgb(24, 26, 40),
                   BeatLine = Rgb(52, 54, 76), MeasureLine = Rgb(130, 134, 160),
                   NumberInk = Rgb(190, 192, 214), TitleInk = Rgb(255, 255, 255),
                   TextInk = Rgb(200, 204, 226), TempoInk = Rgb(110, 230, 140),
                   StopInk = Rgb(255, 120, 200), MineInk = Rgb(230, 30, 40),
                   MineMark = Rgb(20, 0, 0);

// Pixels drawn for a measure of `beats` beats (0 for a length that is none).
double DrawnHeight(double beats) {
    if (!(beats > 0)) return 0;
    return std::min(beats, MaxDrawnBeats) * PixelsPerBeat;
}

std::string NumberText(double value, int digits = 6) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

uint32_t Darker(uint32_t c) {
    return Rgb(((c >> 16) & 0xFF) * 5 / 10, ((c >> 8) & 0xFF) * 5 / 10, (c & 0xFF) * 5 / 10);
}

} // namespace

// The layout of every page: lanes, columns, measures' rows and page sizes.
struct ScoreImagePlan {
    const ChartScore& Score;
    ChartImageLimits Limits;
    Lettering Letters;
    std::vector<ScoreLane> Lanes;
    int LanesWidth = 0, ColumnWidth = 0;
    int Measures = 1, Columns = 1, PageColumns = 1, Pages = 1;
    std::vector<double> StartBeat;  // Measures + 1 entries
    std::vector<double> ColumnRise; // rows from its column's bottom to measure m's bottom
    std::vector<double> Height;     // rows of measure m
    std::vector<double> ColumnHeight;
    std::vector<int> PageHeight;

    ScoreImagePlan(const ChartScore& score, const ChartImageLimits& limits, Lettering letters)
        : Score(score), Limits(limits), Letters(std::move(letters)) {
        Limits.MeasuresPerColumn = std::clamp(Limits.MeasuresPerColumn, 1, MaxMeasuresPerColumn);
        Lanes = ScoreLanePlaces(score, SideGap);
        for (const ScoreLane& lane : Lanes)
            LanesWidth = std::max(LanesWidth, lane.X + lane.Width);
        ColumnWidth = NumberGutter + LanesWidth + MarkGutter + ColumnGap;
        PlanMeasures();
        PlanPages();
    }

    double BeatsOf(int m) const {
        const double beats =
            size_t(m) < Score.MeasureBeats.size() ? Score.MeasureBeats[size_t(m)] : 4.0;
        return beats > 0 && std::isfinite(beats) ? beats : 0;
    }

    void PlanMeasures() {
        const int n = Limits.MeasuresPerColumn;
        Measures = std::max<int>(1, int(Score.MeasureBeats.size()));
        Columns = (Measures + n - 1) / n;
        StartBeat.assign(size_t(Measures) + 1, 0);
        ColumnRise.assign(size_t(Measures), 0);
        Height.assign(size_t(Measures), 0);
        ColumnHeight.assign(size_t(Columns), 0);
        for (int m = 0; m < Measures; ++m) {
            StartBeat[size_t(m) + 1] = StartBeat[size_t(m)] + BeatsOf(m);
            Height[size_t(m)] = DrawnHeight(BeatsOf(m));
            double& column = ColumnHeight[size_t(m / n)];
            ColumnRise[size_t(m)] = column;
            column += Height[size_t(m)];
        }
    }

    void PlanPages() {
        const double tallest = *std::max_element(ColumnHeight.begin(), ColumnHeight.end());
        const long long pageHeight = HeaderHeight + 2 * Margin + (long long)std::ceil(tallest) + 1;
        const long long byWidth = (Limits.MaxWidth - 2 * Margin) / ColumnWidth;
        const long long byPixels = Limits.MaxPixels / pageHeight / ColumnWidth;
        PageColumns = int(std::clamp<long long>(std::min(byWidth, byPixels), 1, Columns));
        Pages = (Columns + PageColumns - 1) / PageColumns;
        for (int p = 0; p < Pages; ++p) {
            double high = 0;
            for (int c = p * PageColumns; c < std::min(Columns, (p + 1) * PageColumns); ++c)
                high = std::max(high, ColumnHeight[size_t(c)]);
            PageHeight.push_back(HeaderHeight + 2 * Margin + int(std::ceil(high)) + 1);
        }
    }

    int PageWidth(int page) const {
        const int columns = std::min(Columns - page * PageColumns, PageColumns);
        return std::max(MinPageWidth, 2 * Margin + columns * ColumnWidth);
    }

    ChartImagePages::MeasurePlace PlaceOf(int m) const {
        const int column = m / Limits.MeasuresPerColumn;
        ChartImagePages::MeasurePlace place;
        place.Page = column / PageColumns;
        place.LanesX = Margin + (column % PageColumns) * ColumnWidth + NumberGutter;
        place.Bottom = PageHeight[size_t(place.Page)] - Margin - 1 - ColumnRise[size_t(m)];
        place.Top = place.Bottom - Height[size_t(m)];
        return place;
    }

    // The measure a beat lies in and the row of the beat in it; false for a
    // beat that is not a number.
    bool RowOfBeat(double beat, int& measure, double& row) const {
        if (!std::isfinite(beat)) return false;
        const auto after = std::upper_bound(StartBeat.begin(), StartBeat.begin() + Measures, beat);
        measure = std::max(0, int(after - StartBeat.begin()) - 1);
        const double beats = BeatsOf(measure);
        double place = beats > 0 ? (beat - StartBeat[size_t(measure)]) / beats : 0;
        place = std::isfinite(place) ? std::clamp(place, 0.0, 1.0) : 0;
        const ChartImagePages::MeasurePlace at = PlaceOf(measure);
        row = at.Bottom - place * (at.Bottom - at.Top);
        return true;
    }
};

namespace {

// One page of a plan, drawn onto its picture.
class PageDrawer {
  public:
    PageDrawer(const ScoreImagePlan& plan, int page, ScorePainter& paint)
        : plan_(plan), page_(page), paint_(paint) {}

    void Header(int width) {
        const ChartScore& s = plan_.Score;
        std::string title = s.Title;
        if (plan_.Pages > 1)
            title += "  (" + std::to_string(page_ + 1) + "/" + std::to_string(plan_.Pages) + ")";
        paint_.Text(Margin, Margin, 14, title, TitleInk);
        std::string who = s.Artist;
        if (!s.Genre.empty()) who += (who.empty() ? "" : "  /  ") + s.Genre;
        paint_.Text(Margin, Margin + 24, 9, who, TextInk);
        std::string facts = "Level " + std::to_string(s.Level) + "   " +
                            std::to_string(s.NoteCount) + " notes   BPM " + NumberText(s.MinBpm);
        if (s.MaxBpm != s.MinBpm) facts += " - " + NumberText(s.MaxBpm);
        facts += "   " + std::to_string(plan_.Measures) + " measures";
        paint_.Text(Margin, Margin + 40, 9, facts, TextInk);
        paint_.Fill(Margin, HeaderHeight + Margin / 2, width - 2 * Margin, 1, MeasureLine);
    }

    // Lanes, beat lines, measure lines and numbers of every measure on the page.
    void Measures() {
        lastTextRow_.assign(size_t(plan_.Columns), 1e300);
        for (int m = 0; m < plan_.Measures; ++m) {
            const auto at = plan_.PlaceOf(m);
            if (at.Page == page_) Measure(m, at);
        }
    }

    void Notes() {
        for (const ScoreNote& note : plan_.Score.Notes) {
            if (note.Lane < 0 || size_t(note.Lane) >= plan_.Lanes.size()) continue;
            if (note.Kind == ScoreNoteKind::LongNote && note.EndBeat > note.Beat)
                LongNote(note);
            else
                Note(note.Beat, note.Lane, note.Kind == ScoreNoteKind::Mine);
        }
    }

    // Tempo changes and stops: a line across the lanes and the value beside
    // them, where a text finds room (one a few rows, so that a chart of
    // thousands of changes costs no more text than the page has rows).
    void Marks() {
        // Both kinds in beat order (a tempo before a stop on the same beat),
        // so that a stop's text stands above the tempo's.
        std::vector<std::pair<double, const ScoreMark*>> marks;
        for (const ScoreMark& t : plan_.Score.Tempos)
            marks.push_back({t.Beat, &t});
        for (const ScoreMark& s : plan_.Score.Stops)
            marks.push_back({s.Beat, &s});
        std::stable_sort(marks.begin(), marks.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        lastTextRow_.assign(size_t(plan_.Columns), 1e300);
        for (const auto& [beat, mark] : marks) {
            const bool stop = mark >= plan_.Score.Stops.data() &&
                              mark < plan_.Score.Stops.data() + plan_.Score.Stops.size();
            if (stop)
                Mark(beat, StopInk, "stop " + NumberText(mark->Value, 4));
            else
                Mark(beat, TempoInk, NumberText(mark->Value, 6));
        }
    }

  private:
    void Measure(int m, const ChartImagePages::MeasurePlace& at) {
        const int bottom = int(std::lround(at.Bottom)), top = int(std::lround(at.Top));
        for (const ScoreLane& lane : plan_.Lanes)
            paint_.Fill(at.LanesX + lane.X, top, lane.Width, bottom - top,
                        lane.Light ? LightLane : DarkLane);
        const double beats = plan_.BeatsOf(m);
        if (beats <= MaxDrawnBeats)
            for (int b = 1; b < beats; ++b) {
                const int row = int(std::lround(at.Bottom - b / beats * (at.Bottom - at.Top)));
                paint_.Fill(at.LanesX, row, plan_.LanesWidth, 1, BeatLine);
            }
        paint_.Fill(at.LanesX - 2, bottom, plan_.LanesWidth + 4, 1, MeasureLine);
        // The top of the column closes its last measure.
        const int n = plan_.Limits.MeasuresPerColumn;
        if (m + 1 == plan_.Measures || (m + 1) % n == 0)
            paint_.Fill(at.LanesX - 2, top, plan_.LanesWidth + 4, 1, MeasureLine);
        // Numbers of measures too short to hold one are left out.
        double& last = lastTextRow_[size_t(m / n)];
        if (last - at.Bottom < MarkTextRows) return;
        last = at.Bottom;
        const std::string number = std::to_string(m);
        const int width = paint_.TextWidth(8, number);
        paint_.Text(at.LanesX - 4 - width, bottom - MarkTextRows, 8, number, NumberInk);
    }

    bool Place(double beat, int& measure, double& row) const {
        return plan_.RowOfBeat(beat, measure, row) && plan_.PlaceOf(measure).Page == page_;
    }

    void Note(double beat, int lane, bool mine) {
        int measure = 0;
        double row = 0;
        if (!Place(beat, measure, row)) return;
        const ScoreLane& l = plan_.Lanes[size_t(lane)];
        const int x = plan_.PlaceOf(measure).LanesX + l.X + 1, y = int(std::lround(row)) - 1;
        paint_.Fill(x, y, l.Width - 2, NoteHeight, mine ? MineInk : l.Colour);
        if (mine) paint_.Fill(x + (l.Width - 2) / 2 - 1, y, 2, NoteHeight, MineMark);
    }

    // A long note's bar from its head to its tail, measure by measure (it may
    // run on into further columns), then its two ends over it.
    void LongNote(const ScoreNote& note) {
        int from = 0, to = 0;
        double head = 0, tail = 0;
        if (!plan_.RowOfBeat(note.Beat, from, head) || !plan_.RowOfBeat(note.EndBeat, to, tail))
            return;
        const ScoreLane& l = plan_.Lanes[size_t(note.Lane)];
        for (int m = from; m <= to; ++m) {
            const auto at = plan_.PlaceOf(m);
            if (at.Page != page_) continue;
            const double low = m == from ? head : at.Bottom, high = m == to ? tail : at.Top;
            const int top = int(std::lround(high)), bottom = int(std::lround(low));
            paint_.Fill(at.LanesX + l.X + 2, top, l.Width - 4, bottom - top + 1, Darker(l.Colour));
        }
        Note(note.Beat, note.Lane, false);
        Note(note.EndBeat, note.Lane, false);
    }

    // A mark's line, and its text beside it where it finds room: on its row,
    // or stacked above the text below it by up to MaxStack rows of text.
    void Mark(double beat, uint32_t ink, const std::string& text) {
        int measure = 0;
        double at = 0;
        if (!Place(beat, measure, at)) return;
        const int x = plan_.PlaceOf(measure).LanesX, row = int(std::lround(at));
        paint_.Fill(x, row, plan_.LanesWidth, 1, ink);
        double& last = lastTextRow_[size_t(measure / plan_.Limits.MeasuresPerColumn)];
        const double textRow = std::min(at, last - MarkTextRows);
        if (at - textRow > MaxStack * MarkTextRows) return;
        paint_.Text(x + plan_.LanesWidth + 3, int(std::lround(textRow)) - MarkTextRows + 1, 8, text,
                    ink);
        last = textRow;
    }

    const ScoreImagePlan& plan_;
    int page_;
    ScorePainter& paint_;
    std::vector<double> lastTextRow_; // per column: the row of its last text
};

// `out` with "-n" before its extension.
std::string NumberedName(const std::string& out, int n) {
    const std::filesystem::path path(out);
    const std::string ext = path.extension().string();
    const std::string stem = out.substr(0, out.size() - ext.size());
    return stem + "-" + std::to_string(n) + ext;
}

} // namespace

ChartImagePages::ChartImagePages(const ChartScore& score, const ChartImageLimits& limits,
                                 Lettering lettering)
    : plan_(std::make_unique<ScoreImagePlan>(score, limits, std::move(lettering))) {}
ChartImagePages::~ChartImagePages() = default;

int ChartImagePages::PageCount() const {
    return plan_->Pages;
}
PictureSize ChartImagePages::PageSize(int page) const {
    return {plan_->PageWidth(page), plan_->PageHeight.at(size_t(page))};
}
ChartImagePages::MeasurePlace ChartImagePages::PlaceOfMeasure(int m) const {
    return plan_->PlaceOf(std::clamp(m, 0, plan_->Measures - 1));
}
int ChartImagePages::LaneX(int lane) const {
    return plan_->Lanes.at(size_t(lane)).X;
}
int ChartImagePages::LaneWidth(int lane) const {
    return plan_->Lanes.at(size_t(lane)).Width;
}

IndexedImage ChartImagePages::DrawPage(int page) const {
    const ScoreImagePlan& plan = *plan_;
    IndexedImage picture;
    picture.Width = plan.PageWidth(page);
    picture.Height = plan.PageHeight[size_t(page)];
    picture.Index.assign(size_t(picture.Width) * size_t(picture.Height), 0);
    picture.Palette = {Paper};
    ScorePainter paint(picture, plan.Letters);
    PageDrawer draw(plan, page, paint);
    draw.Header(picture.Width);
    draw.Measures();
    draw.Marks();
    draw.Notes();
    return picture;
}

std::vector<std::string> WriteChartImages(const ChartScore& score, const std::string& out,
                                          const ChartImageLimits& limits,
                                          const Lettering& lettering) {
    const ChartImagePages pages(score, limits, lettering);
    std::vector<std::string> written;
    try {
        for (int p = 0; p < pages.PageCount(); ++p) {
            const std::string name = pages.PageCount() == 1 ? out : NumberedName(out, p + 1);
            WriteFileAtomic(name, EncodeIndexedPng(pages.DrawPage(p)));
            written.push_back(name);
        }
    } catch (...) {
        std::error_code ignored;
        for (const std::string& name : written)
            std::filesystem::remove(name, ignored);
        throw;
    }
    return written;
}

} // namespace tappo
