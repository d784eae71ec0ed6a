#include "chart/exact/Compiler.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "chart/Convert.h"
#include "chart/FileLookup.h"
#include "chart/ShiftJis.h"
#include "chart/exact/HeaderScan.h"
#include "chart/exact/Lines.h"
#include "files/Files.h"
#include "formats/Picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tappo::exact {
namespace {

// Times far outside any song are held at a bound instead of overflowing.
int64_t TruncTime(long double t) {
    constexpr long double Limit = 4.0e18L;
    if (std::isnan(t)) return 0;
    if (t > Limit) return int64_t(Limit);
    if (t < -Limit) return -int64_t(Limit);
    return int64_t(t); // toward zero
}

int32_t ClampToInt32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool IsChannelLine(std::string_view line) {
    return line.size() >= 7 && line[0] == '#' && line[6] == ':';
}

// "$" followed by columns 5-6: a definition's slot, or the tempo pass's channel.
int SlotOf(std::string_view line) {
    std::string text = "$";
    text += Columns(line, 5, 2);
    int32_t v = 0;
    return TryStrToInt(text, v) && v >= 0 && v < SlotCount ? v : 0;
}

// Columns 2-4 as a measure number. A field that converts to a number outside
// 000-999 (such as "-01") would index outside the tables: the line is refused.
int MeasureOf(std::string_view line) {
    const std::string_view field = Columns(line, 2, 3);
    const int32_t m = StrToInt(field);
    if (m < 0 || m >= MeasureCount)
        throw Error(
            FormatText(Tr("小節番号 '%s' は 000 から 999 の範囲にありません"), Cp932ToUtf8(field)));
    return m;
}

void CheckDivisor(double divisor) {
    if (divisor == 0) throw Error(Tr(text::DivideByZero));
}

// The first pass, over every line in file order: file names, the base image,
// channel-02 measure lengths, and the tempo changes, which can only be applied
// once every measure length is known.
std::vector<std::string> DefinitionAndTempoPass(const std::vector<std::string_view>& lines,
                                                CompiledChart& t, char decimalSeparator) {
    ChartData& chart = t.Data;
    std::vector<std::string> BpmChangeList;
    ForEachLine(lines, [&](std::string_view line) {
        if (line.empty() || line[0] != '#') return;
        const int s = SlotOf(line);
        if (StartsWithKey(line, 4, "#WAV"))
            chart.WavFileNames[size_t(s)] = t.SongFolder + std::string(Columns(line, 8));
        if (StartsWithKey(line, 4, "#BMP")) {
            chart.BmpFileNames[size_t(s)] = t.SongFolder + std::string(Columns(line, 8));
            if (!chart.HasBga) {
                t.GameState.BgaBaseImage = s;
                chart.HasBga = true;
            }
        }
        if (!IsChannelLine(line)) return;
        const int m = MeasureOf(line);
        if (s == 2) {
            const long double x = StrToFloat(Columns(line, 8), decimalSeparator);
            chart.MeasureLength[size_t(m)] = double(x * 4 * 60000 / t.GameState.Bpm);
        } else if (s == 3) {
            char prefix[8];
            std::snprintf(prefix, sizeof prefix, "%3.3d:", m);
            BpmChangeList.push_back(prefix + std::string(Columns(line, 8, 2)));
        }
    });
    return BpmChangeList;
}

// Each change rescales its measure and all after it from a snapshot of the
// lengths, so the last change at or before a measure decides its tempo; the
// text sort puts them in measure order, and one measure's values in text order.
void ApplyTempoChanges(std::vector<std::string>& changes, CompiledChart& t) {
    std::stable_sort(
        changes.begin(), changes.end(),
        [](const std::string& a, const std::string& b) { return AsciiUpper(a) < AsciiUpper(b); });
    const std::array<double, MeasureCount> snapshot = t.Data.MeasureLength;
    for (const std::string& entry : changes) {
        const int32_t first = StrToInt(std::string_view(entry).substr(0, 3));
        if (first > 999) continue;
        std::string value = "$";
        value += std::string_view(entry).substr(std::min<size_t>(4, entry.size()), 2);
        const int32_t w = StrToInt(value);
        CheckDivisor(w);
        const long double factor = t.GameState.Bpm / (long double)w;
        for (int k = std::max(0, first); k < MeasureCount; ++k)
            t.Data.MeasureLength[size_t(k)] = double(factor * snapshot[size_t(k)]);
    }
}

bool IsLaneChannel(int c, int& player, int& lane) {
    static constexpr int Lanes[4] = {1, 3, 5, 6};
    for (int p = 1; p <= 2; ++p)
        for (int l = 0; l < 4; ++l)
            if (c == p * 10 + Lanes[l]) {
                player = p, lane = l;
                return true;
            }
    return false;
}

// The second pass: a record for every object, and the song's end two seconds
// after the measure of the last object in file order.
void EventPass(const std::vector<std::string_view>& lines, ChartData& chart) {
    EventLists& ev = chart.Events;
    ForEachLine(lines, [&](std::string_view line) {
        if (!IsChannelLine(line)) return;
        const int m = MeasureOf(line);
        const int n = int((line.size() - 7) / 2);
        bool haveChannel = false;
        int c = 0, player = 0, lane = 0;
        bool sound = false, lanes = false;
        for (int k = 0; k < n; ++k) {
            const char a = line[size_t(7 + 2 * k)], b = line[size_t(8 + 2 * k)];
            if (!IsHexDigit(a) || !IsHexDigit(b) || (a == '0' && b == '0')) continue;
            if (!haveChannel) {
                c = StrToInt(Columns(line, 5, 2));
                sound = c == 1 || (c >= 11 && c <= 46);
                lanes = IsLaneChannel(c, player, lane);
                haveChannel = true;
            }
            EventRecord record;
            record.Time = EventTime(k, n, m, chart);
            record.Id[0] = a, record.Id[1] = b;
            if (sound) ev.SoundEvents().push_back(record);
            if (c == 4) ev.BgaBaseEvents().push_back(record);
            if (c == 7) {
                ev.BgaLayerEvents().push_back(record);
                chart.HasBgaLayer = true;
            }
            if (lanes) {
                ev.LaneNotes(player, lane).push_back(EventRecord{record.Time, {0, 0}});
                ev.StepTickEvents().push_back(EventRecord{StepTime(k, n, m, chart), {0, 0}});
            }
            chart.LastSoundTime =
                ClampToInt32(TruncTime((long double)chart.MeasureStart[size_t(m)] +
                                       chart.MeasureLength[size_t(m)] + 2000));
            chart.LastObjectMeasure = std::max(chart.LastObjectMeasure, m);
        }
    });
}

} // namespace

int64_t EventTime(int k, int n, int m, const ChartData& chart) {
    return TruncTime((long double)k / (long double)n * chart.MeasureLength[size_t(m)] +
                     chart.MeasureStart[size_t(m)]);
}

int64_t StepTime(int k, int n, int m, const ChartData& chart) {
    const int64_t t = TruncTime((long double)k / (long double)n * chart.MeasureLength[size_t(m)] +
                                chart.MeasureStart[size_t(m)] - 20);
    return t < 0 ? 0 : t;
}

std::string FormatEventTime(int k, int n, int m, const ChartData& chart) {
    return FormatTime(EventTime(k, n, m, chart));
}

std::string FormatStepTime(int k, int n, int m, const ChartData& chart) {
    return FormatTime(StepTime(k, n, m, chart));
}

namespace {

// Measure timing: the header tempo for every measure, then the channel-02
// lengths and the tempo changes; each measure starts where the one before ends.
void BuildMeasureTables(const std::vector<std::string_view>& lines, CompiledChart& t, char sep) {
    ChartData& chart = t.Data;
    CheckDivisor(t.GameState.Bpm);
    chart.MeasureLength.fill(double(240000.0L / t.GameState.Bpm));
    std::vector<std::string> BpmChangeList = DefinitionAndTempoPass(lines, t, sep);
    ApplyTempoChanges(BpmChangeList, t);
    chart.MeasureStart[0] = 1000.0;
    for (int k = 0; k + 1 < MeasureCount; ++k)
        chart.MeasureStart[size_t(k + 1)] =
            chart.MeasureStart[size_t(k)] + chart.MeasureLength[size_t(k)];
}

// Builds `t` from the chart's lines; an error leaves it as far as it got.
void CompileLines(std::string_view text, const std::string& path, char sep, CompiledChart& t) {
    const std::vector<std::string_view> lines = SplitLines(text);
    ScanHeaderLines(lines, t.GameState, t.Header, sep);
    t.SongFolder = FolderOfChart(path);
    BuildMeasureTables(lines, t, sep);
    EventPass(lines, t.Data);
    t.Data.Events.SortEventLists();
    // The arrows scroll 128 pixels per four beats of the header tempo; tempo
    // changes move the notes' times, not the scroll speed.
    t.GameState.ScrollSpeed = 128.0 / (240000.0 / t.GameState.Bpm);
    LanePositions(t.Header.PlayerMode, t.GameState.Lane1X, t.GameState.Lane2X);
}

} // namespace

CompiledChart Compile(std::string_view text, const std::string& path, char decimalSeparator,
                      const ChartCarryOver& before) {
    // On the heap: an error hands the chart built so far to the caller.
    auto chart = std::make_shared<CompiledChart>(StartOfCompile(before));
    try {
        CompileLines(text, path, decimalSeparator, *chart);
    } catch (const LineError& e) {
        throw CompileError(e.what(), std::move(chart), int(e.Line));
    } catch (const std::exception& e) {
        throw CompileError(e.what(), std::move(chart));
    }
    return std::move(*chart);
}

CompiledChart CompileFile(const std::string& path, char decimalSeparator,
                          const ChartCarryOver& before) {
    const std::vector<uint8_t> bytes = ReadChartBytes(path, before);
    // The file is read once; the header scan and both passes share its lines.
    return Compile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   path, decimalSeparator, before);
}

} // namespace tappo::exact
