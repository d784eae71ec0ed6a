#include "library/ChartSummary.h"

#include "base/AsciiCase.h"
#include "chart/ShiftJis.h"
#include "chart/standard/Timing.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace tappo {
namespace {

// Song time of the song's start: measure 0 begins 1000 ms in.
constexpr int64_t SongStartMs = 1000;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

int32_t DifficultyNumber(const std::string& name) {
    static constexpr const char* Names[] = {"BEGINNER", "NORMAL", "HYPER", "ANOTHER", "INSANE"};
    const std::string upper = AsciiUpper(name);
    for (int32_t i = 0; i < 5; ++i)
        if (upper == Names[i]) return i + 1;
    return 0;
}

// The last time among the sounds and the notes, in song time.
int64_t LastEventTime(const EventLists& events) {
    int64_t last = SongStartMs;
    for (int i = 0; i < 12; ++i)
        if (i == SoundEventsIndex || i >= LaneNotesIndex)
            for (const EventRecord& r : events[i])
                last = std::max(last, r.Time);
    return last;
}

std::vector<uint8_t> DensityOf(const EventLists& events, int64_t lengthMs) {
    if (lengthMs <= 0) return {};
    std::vector<uint32_t> counts(DensitySpans, 0);
    for (int i = LaneNotesIndex; i < 12; ++i)
        for (const EventRecord& r : events[i]) {
            const int64_t at = std::clamp<int64_t>(r.Time - SongStartMs, 0, lengthMs);
            const int64_t span = std::min<int64_t>(at * DensitySpans / lengthMs, DensitySpans - 1);
            ++counts[size_t(span)];
        }
    const double spanSeconds = double(lengthMs) / DensitySpans / 1000.0;
    std::vector<uint8_t> density(DensitySpans);
    for (size_t i = 0; i < counts.size(); ++i)
        density[i] = uint8_t(std::min(255.0, std::round(counts[i] / spanSeconds * 4.0)));
    return density;
}

// The tempo range and the tempo held longest between the song's start and
// `endMs`; the exact reading keeps no tempo changes, so its header tempo.
void SummarizeTempo(const CompiledChart& chart, int64_t endMs, ChartSummary& out) {
    out.BpmMin = out.BpmMax = out.BpmMain = chart.GameState.Bpm;
    if (!chart.Data.BeatScroll) return;
    const auto& points = chart.Data.BeatScroll->Timeline.Points();
    std::map<double, double> held; // tempo -> ms
    bool first = true;
    for (size_t i = 0; i < points.size(); ++i) {
        const standard::TimingPoint& p = points[i];
        if (!first && p.TimeMs >= double(endMs)) break;
        const double next = i + 1 < points.size() ? points[i + 1].TimeMs : double(endMs);
        if (p.Bpm > 0 && std::isfinite(p.Bpm)) {
            out.BpmMin = first ? p.Bpm : std::min(out.BpmMin, p.Bpm);
            out.BpmMax = first ? p.Bpm : std::max(out.BpmMax, p.Bpm);
            held[p.Bpm] += std::max(0.0, std::min(next, double(endMs)) - p.TimeMs - p.StopMs);
            first = false;
        }
    }
    double longest = -1;
    for (const auto& [bpm, ms] : held)
        if (ms > longest) longest = ms, out.BpmMain = bpm;
}

void CountNotes(const CompiledChart& chart, ChartSummary& out) {
    const EventLists& events = chart.Data.Events;
    int64_t drawn = 0;
    for (int i = LaneNotesIndex; i < 12; ++i)
        drawn += int64_t(events[i].size());
    out.Notes = chart.Header.NoteCount >= 0 ? chart.Header.NoteCount : drawn;
    if (chart.Data.Keys)
        for (const KeyLane& lane : chart.Data.Keys->Lanes)
            out.LongNotes += int64_t(lane.LongNotes.size());
}

} // namespace

ChartNames ScanChartNames(std::string_view bytes) {
    ChartNames names;
    size_t at = 0;
    while (at < bytes.size()) {
        // (find_first_of would search the two-character set once a byte.)
        size_t end = at;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        const std::string_view line = Trimmed(bytes.substr(at, end - at));
        at = end + 1;
        if (line.size() < 2 || line[0] != '#') continue;
        const size_t space = line.find_first_of(" \t");
        if (space == std::string_view::npos) continue;
        const std::string key = AsciiUpper(std::string(line.substr(1, space - 1)));
        const std::string_view value = Trimmed(line.substr(space + 1));
        if (key == "SUBARTIST") names.Subartist = value;
        if (key == "BANNER") names.Banner = value;
        if (key == "STAGEFILE") names.StageFile = value;
        if (key == "PREVIEW") names.Preview = value;
    }
    return names;
}

ChartSummary SummarizeChart(const CompiledChart& chart, const ChartNames& names) {
    ChartSummary out;
    out.Title = ChartTextToUtf8(chart.Header.Title);
    out.Subtitle = ChartTextToUtf8(chart.Header.Subtitle);
    out.Artist = ChartTextToUtf8(chart.Header.Artist);
    out.Subartist = ChartTextToUtf8(names.Subartist);
    out.Genre = ChartTextToUtf8(chart.GameState.Genre);
    out.Level = chart.GameState.PlayLevel;
    out.Difficulty = DifficultyNumber(chart.Header.Difficulty);
    out.KeyLayout = chart.Header.KeyLayout.empty() ? "4" : chart.Header.KeyLayout;
    out.PlayerMode = chart.Header.PlayerMode;
    CountNotes(chart, out);
    const int64_t last = LastEventTime(chart.Data.Events);
    out.LengthMs = last - SongStartMs;
    SummarizeTempo(chart, last, out);
    out.Banner = names.Banner;
    out.StageFile = names.StageFile;
    out.Preview = names.Preview;
    out.Density = DensityOf(chart.Data.Events, out.LengthMs);
    return out;
}

} // namespace tappo
