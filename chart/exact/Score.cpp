#include "chart/exact/Score.h"

#include "chart/Convert.h"
#include "chart/ShiftJis.h"
#include "chart/exact/Compiler.h"
#include "chart/exact/Lines.h"

#include <algorithm>
#include <map>

namespace tappo::exact {
namespace {

// The tempo of every measure, as the compiler applies the channel-03
// changes: of the changes at or before a measure, those of the latest
// measure decide, and of one measure's the last in text order.
std::vector<double> MeasureTempos(std::string_view text, double headerBpm) {
    std::map<int, std::string> last; // measure -> its last change's value in text order
    ForEachLine(SplitLines(text), [&](std::string_view line) {
        if (line.size() < 7 || line[0] != '#' || line[6] != ':' || Columns(line, 5, 2) != "03")
            return;
        int32_t m = 0;
        if (!TryStrToInt(Columns(line, 2, 3), m) || m < 0 || m >= MeasureCount) return;
        std::string value(Columns(line, 8, 2));
        for (char& c : value)
            if (c >= 'a' && c <= 'z') c = char(c - 32);
        auto [at, added] = last.emplace(m, value);
        if (!added && at->second < value) at->second = value;
    });
    std::vector<double> tempos(MeasureCount, headerBpm);
    for (const auto& [measure, value] : last) {
        int32_t bpm = 0;
        if (!TryStrToInt("$" + value, bpm) || bpm == 0) continue;
        std::fill(tempos.begin() + measure, tempos.end(), double(bpm));
    }
    return tempos;
}

// The beat of a note at song time `time`: its place in the measure it
// falls in, at that measure's beats.
double BeatOfTime(int64_t time, const ChartData& data, const std::vector<double>& measureBeat,
                  const ChartScore& score) {
    const int last = int(score.MeasureBeats.size()) - 1;
    // Times are whole milliseconds rounded down: a note on a measure's start
    // may lie up to a millisecond before it, and is that measure's.
    const auto after = std::upper_bound(data.MeasureStart.begin(),
                                        data.MeasureStart.begin() + last + 1, double(time) + 0.999);
    const int m = std::max(0, int(after - data.MeasureStart.begin()) - 1);
    const double length = data.MeasureLength[size_t(m)];
    double place = length > 0 ? (double(time) - data.MeasureStart[size_t(m)]) / length : 0;
    place = std::clamp(place, 0.0, 1.0);
    return measureBeat[size_t(m)] + place * score.MeasureBeats[size_t(m)];
}

} // namespace

ChartScore ScoreOfFile(const std::string& path, char decimalSeparator) {
    const std::vector<uint8_t> bytes = ReadChartBytes(path, {});
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const CompiledChart chart = Compile(text, path, decimalSeparator);
    const ChartData& data = chart.Data;
    ChartScore score;
    score.Title = ChartTextToUtf8(chart.Header.Title);
    score.Artist = ChartTextToUtf8(chart.Header.Artist);
    score.Genre = ChartTextToUtf8(chart.GameState.Genre);
    score.Level = chart.GameState.PlayLevel;
    score.ArrowLanes = true;
    score.Players = chart.Header.PlayerMode >= 2 ? 2 : 1;
    const std::vector<double> tempos = MeasureTempos(text, chart.GameState.Bpm);
    std::vector<double> measureBeat{0};
    for (int m = 0; m <= std::max(0, data.LastObjectMeasure); ++m) {
        score.MeasureBeats.push_back(data.MeasureLength[size_t(m)] * tempos[size_t(m)] / 60000);
        measureBeat.push_back(measureBeat.back() + score.MeasureBeats.back());
        if (m == 0 || tempos[size_t(m)] != tempos[size_t(m - 1)])
            score.Tempos.push_back({measureBeat[size_t(m)], tempos[size_t(m)]});
    }
    score.MinBpm = score.MaxBpm = tempos[0];
    for (const ScoreMark& t : score.Tempos)
        score.MinBpm = std::min(score.MinBpm, t.Value),
        score.MaxBpm = std::max(score.MaxBpm, t.Value);
    for (int player = 1; player <= 2; ++player)
        for (int lane = 0; lane < 4; ++lane)
            for (const EventRecord& r : data.Events.LaneNotes(player, lane)) {
                score.Notes.push_back({BeatOfTime(r.Time, data, measureBeat, score), 0,
                                       (player - 1) * 4 + lane, ScoreNoteKind::Note});
                if (player == 2) score.Players = 2;
            }
    score.NoteCount = int(score.Notes.size());
    return score;
}

} // namespace tappo::exact
