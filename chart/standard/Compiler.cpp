#include "chart/standard/Compiler.h"
#include "base/Translate.h"

#include "chart/standard/Lines.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tappo::standard {

int64_t PlayerTime(double timeMs) {
    if (!(timeMs < MaxTimeMs)) return int64_t(MaxTimeMs);
    return int64_t(std::floor(timeMs + 1e-6));
}

int SlotOf(char a, char b) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
        if (c >= 'a' && c <= 'z') return c - 'a' + 10;
        return -1;
    };
    const int x = digit(a), y = digit(b);
    return x < 0 || y < 0 ? -1 : x * 36 + y;
}

std::string SlotText(int slot) {
    static constexpr char Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    slot = std::clamp(slot, 0, SlotCount - 1);
    return std::string{Digits[slot / 36], Digits[slot % 36]};
}

int LaneOfKey(int key) {
    static constexpr int Lanes[10] = {-1, 0, 0, 1, 1, 2, 3, 3, 2, 3};
    return key >= 1 && key <= 9 ? Lanes[key] : -1;
}

bool LaneOf(const Object& o, int& player, int& lane) {
    if (o.Kind != ObjectKind::Note && o.Kind != ObjectKind::LongStart) return false;
    if (o.Player < 1 || o.Player > 2 || LaneOfKey(o.Key) < 0) return false;
    player = o.Player;
    lane = LaneOfKey(o.Key);
    return true;
}

int64_t StepTime(const Object& o) {
    return std::max<int64_t>(0, o.Time - 20);
}

namespace {

constexpr uint16_t TempoHex = ChannelCode('0', '3');
constexpr uint16_t TempoSlot = ChannelCode('0', '8');
constexpr uint16_t StopSlot = ChannelCode('0', '9');

struct Order {
    double Beat;
    uint32_t Index;
};

// Objects by beat; objects on the same beat keep the order of the chart's lines.
// They are first placed by measure (a counting sort, which keeps line order),
// then each measure is sorted on its own: short sorts, mostly already in order.
std::vector<Order> OrderByBeat(const std::vector<RawObject>& raw,
                               const std::array<double, MeasureCount + 1>& measureBeat,
                               const Chart& chart) {
    std::array<uint32_t, MeasureCount + 1> first{};
    for (const RawObject& r : raw)
        ++first[size_t(r.Measure) + 1];
    for (size_t m = 1; m < first.size(); ++m)
        first[m] += first[m - 1];
    std::vector<Order> order(raw.size());
    std::array<uint32_t, MeasureCount + 1> next = first;
    for (size_t i = 0; i < raw.size(); ++i) {
        const RawObject& r = raw[i];
        const double beats = 4.0 * chart.MeasureScale[r.Measure];
        order[next[r.Measure]++] =
            Order{measureBeat[r.Measure] + beats * (double(r.K) / double(r.N)), uint32_t(i)};
    }
    auto before = [](const Order& a, const Order& b) {
        return a.Beat < b.Beat || (a.Beat == b.Beat && a.Index < b.Index);
    };
    for (size_t m = 0; m < MeasureCount; ++m) {
        const auto from = order.begin() + first[m], to = order.begin() + first[m + 1];
        if (!std::is_sorted(from, to, before)) std::sort(from, to, before);
    }
    return order;
}

// On one beat the tempo changes come first, so a stop there lasts at the new tempo.
void BuildTimeline(const std::vector<RawObject>& raw, const std::vector<Order>& order,
                   Chart& chart) {
    chart.Timeline.Start(chart.Header.Bpm);
    for (size_t first = 0; first < order.size();) {
        size_t end = first;
        while (end < order.size() && order[end].Beat == order[first].Beat)
            ++end;
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = first; i < end; ++i) {
                const RawObject& r = raw[order[i].Index];
                const bool tempo = r.Channel == TempoHex || r.Channel == TempoSlot;
                if (pass == 0 ? !tempo : r.Channel != StopSlot) continue;
                const double v = r.Channel == TempoHex    ? r.Slot
                                 : r.Channel == TempoSlot ? chart.BpmValues[r.Slot]
                                                          : chart.StopValues[r.Slot];
                if (v == 0)
                    AddWarning(chart, int(r.Line),
                               (tempo ? "#BPM" : "#STOP") + SlotText(r.Slot) +
                                   " is not defined; object left out");
                else if (tempo)
                    chart.Timeline.AddTempo(order[i].Beat, v);
                else
                    chart.Timeline.AddStop(order[i].Beat, v);
            }
        }
        first = end;
    }
}

// Kind, player and key of a channel's objects, before long notes are paired.
Object ClassifyChannel(uint16_t channel) {
    static constexpr char Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const int a = channel / 36, b = channel % 36;
    Object o;
    o.Channel[0] = Digits[a];
    o.Channel[1] = Digits[b];
    if (a == 0) {
        o.Kind = b == 1   ? ObjectKind::Background
                 : b == 4 ? ObjectKind::BgaBase
                 : b == 6 ? ObjectKind::BgaPoor
                          : ObjectKind::BgaLayer;
        return o;
    }
    o.Key = uint8_t(b);
    if (a == 13 || a == 14) { // D1-D9, E1-E9
        o.Player = uint8_t(a - 12);
        o.Kind = ObjectKind::Mine;
        return o;
    }
    o.Player = uint8_t(2 - a % 2);
    o.Kind = a <= 2 ? ObjectKind::Note : a <= 4 ? ObjectKind::Invisible : ObjectKind::LongStart;
    return o;
}

// Pairs long notes: on 51-69 every second object of a key ends the one before;
// on 11-29 the #LNOBJ id ends the key's last note.
class LongNotes {
  public:
    explicit LongNotes(Chart& chart) : chart_(chart) {
        open_.fill(-1);
        last_.fill(-1);
    }
    // False when the object is to be left out.
    bool Pair(Object& o, uint32_t line) {
        const size_t k = size_t(o.Player * 10 + o.Key);
        const int64_t index = int64_t(chart_.Objects.size());
        if (o.Kind == ObjectKind::LongStart) {
            if (open_[k] >= 0) {
                o.Kind = ObjectKind::LongEnd;
                open_[k] = -1;
            } else {
                open_[k] = index, openLine_[k] = line;
            }
        } else if (o.Kind == ObjectKind::Note) {
            if (o.Slot != chart_.Header.LnObj) {
                last_[k] = index;
                return true;
            }
            if (last_[k] < 0) {
                AddWarning(chart_, int(line),
                           Tr("#LNOBJ object without a note before it; left out"));
                return false;
            }
            chart_.Objects[size_t(last_[k])].Kind = ObjectKind::LongStart;
            o.Kind = ObjectKind::LongEnd;
            last_[k] = -1;
        }
        return true;
    }
    void Finish() {
        for (size_t k = 0; k < open_.size(); ++k) {
            if (open_[k] < 0) continue;
            chart_.Objects[size_t(open_[k])].Kind = ObjectKind::Note;
            AddWarning(chart_, int(openLine_[k]), Tr("long note without an end; played as a note"));
        }
    }

  private:
    Chart& chart_;
    std::array<int64_t, 30> open_{}, last_{};
    std::array<uint32_t, 30> openLine_{};
};

void BuildObjects(const std::vector<RawObject>& raw, const std::vector<Order>& order,
                  Chart& chart) {
    chart.Objects.reserve(raw.size());
    BeatTimeline::Cursor cursor(chart.Timeline);
    LongNotes longNotes(chart);
    std::vector<Object> templates(SlotCount);
    for (size_t c = 0; c < templates.size(); ++c)
        templates[c] = ClassifyChannel(uint16_t(c));
    for (const Order& o : order) {
        const RawObject& r = raw[o.Index];
        chart.LastObjectMeasure = std::max<int>(chart.LastObjectMeasure, r.Measure);
        if (r.Channel == TempoHex || r.Channel == TempoSlot || r.Channel == StopSlot) continue;
        Object object = templates[r.Channel];
        object.Beat = o.Beat;
        object.TimeMs = cursor.TimeOfBeat(o.Beat);
        object.Time = PlayerTime(object.TimeMs);
        object.Measure = r.Measure;
        object.Slot = r.Slot;
        if (longNotes.Pair(object, r.Line)) chart.Objects.push_back(object);
    }
    longNotes.Finish();
}

} // namespace

Chart EmptyChart() {
    Chart chart;
    chart.WavFileNames.assign(SlotCount, std::string());
    chart.BmpFileNames.assign(SlotCount, std::string());
    chart.BpmValues.assign(SlotCount, 0.0);
    chart.StopValues.assign(SlotCount, 0.0);
    chart.MeasureScale.fill(1.0);
    return chart;
}

Chart Compile(std::string_view bytes, const Options& options) {
    Chart chart = EmptyChart();
    const std::vector<RawObject> raw = ReadLines(bytes, options, chart);

    std::array<double, MeasureCount + 1> measureBeat{};
    for (int m = 0; m < MeasureCount; ++m)
        measureBeat[size_t(m + 1)] = measureBeat[size_t(m)] + 4.0 * chart.MeasureScale[size_t(m)];
    const std::vector<Order> order = OrderByBeat(raw, measureBeat, chart);
    BuildTimeline(raw, order, chart);
    BuildObjects(raw, order, chart);

    if (chart.LastObjectMeasure >= 0) {
        const double end =
            chart.Timeline.TimeOfBeat(measureBeat[size_t(chart.LastObjectMeasure + 1)]);
        if (end >= MaxTimeMs)
            AddWarning(chart, 0, Tr("the song runs past 10^12 ms; what lies later is held there"));
        chart.LastSoundTime = int32_t(std::min<int64_t>(PlayerTime(end) + 2000, INT32_MAX));
    }
    return chart;
}

const char* DifficultyName(int32_t difficulty) {
    static constexpr const char* Names[] = {"", "BEGINNER", "NORMAL", "HYPER", "ANOTHER", "INSANE"};
    return difficulty >= 1 && difficulty <= 5 ? Names[difficulty] : "";
}

int NoteCount(const Chart& chart) {
    int count = 0;
    for (const Object& o : chart.Objects)
        count += o.Kind == ObjectKind::Note || o.Kind == ObjectKind::LongStart;
    return count;
}

} // namespace tappo::standard
