#include "chart/standard/Bmson.h"

#include "base/PageWarmer.h"
#include "chart/EventLists.h"
#include "chart/standard/BmsonDocument.h"
#include "chart/standard/Lines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <unordered_map>
#include <utility>

namespace tappo::standard {

bool IsBmsonPath(std::string_view path) {
    if (path.size() < 6) return false;
    std::string last(path.substr(path.size() - 6));
    for (char& c : last)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return last == ".bmson";
}

namespace {

// The timeline: tempo changes before stops on one pulse; of several tempos
// on one pulse the last counts.
void BuildTimeline(BmsonDocument& doc, Chart& chart) {
    std::vector<PulseValue>& tempos = doc.Tempos;
    std::vector<PulseValue>& stops = doc.Stops;
    const double res = double(doc.Resolution);
    auto byPulse = [](const PulseValue& a, const PulseValue& b) { return a.Y < b.Y; };
    std::stable_sort(tempos.begin(), tempos.end(), byPulse);
    std::stable_sort(stops.begin(), stops.end(), byPulse);
    chart.Timeline.Start(chart.Header.Bpm);
    size_t t = 0, s = 0;
    while (t < tempos.size() || s < stops.size()) {
        const uint64_t y = std::min(t < tempos.size() ? tempos[t].Y : UINT64_MAX,
                                    s < stops.size() ? stops[s].Y : UINT64_MAX);
        for (; t < tempos.size() && tempos[t].Y == y; ++t) {
            if (tempos[t].Value > 0 && std::isfinite(tempos[t].Value))
                chart.Timeline.AddTempo(double(y) / res, tempos[t].Value);
            else
                AddWarning(chart, 0,
                           std::string(tempos[t].List) + '[' + std::to_string(tempos[t].Index) +
                               "]: a tempo of 0 or below; left out");
        }
        for (; s < stops.size() && stops[s].Y == y; ++s)
            chart.Timeline.AddStop(double(y) / res, stops[s].Value / res * 48.0);
    }
}

// Player, key and channel of lane x: beat modes put keys 1-7 and the
// scratch (8) of player 1 on lanes 1-8 and player 2's on 9-16; pop'n modes
// put nine buttons on lanes 1-9, as ".pms" charts place them.
void LaneKey(uint8_t x, bool popn, uint8_t& player, uint8_t& key) {
    static constexpr uint8_t BeatKeys[9] = {0, 1, 2, 3, 4, 5, 8, 9, 6};
    if (popn) {
        player = x <= 5 ? 1 : 2;
        key = x <= 5 ? x : uint8_t(x - 4);
        return;
    }
    player = x <= 8 ? 1 : 2;
    key = BeatKeys[x <= 8 ? x : x - 8];
}

// Sorts `from` to `to` (stable) by the pulse bits from `low` up to `high`,
// least significant digit first, eleven bits a pass, through `scratch`.
void SortByPulseBits(Placed* from, Placed* to, int low, int high, std::vector<Placed>& scratch) {
    const size_t n = size_t(to - from);
    if (n < 2 || low >= high) return;
    if (n <= 32) { // a few objects: insertion (stable, as it moves only past larger pulses)
        for (Placed* i = from + 1; i < to; ++i) {
            const Placed p = *i;
            Placed* j = i;
            for (; j > from && (j - 1)->Y > p.Y; --j)
                *j = *(j - 1);
            *j = p;
        }
        return;
    }
    constexpr int Bits = 11;
    std::array<uint32_t, size_t(1) << Bits> start;
    scratch.resize(std::max(scratch.size(), n));
    Placed *in = from, *out = scratch.data();
    for (int shift = low; shift < high; shift += Bits) {
        const uint64_t mask = (uint64_t(1) << std::min(Bits, high - shift)) - 1;
        std::fill(start.begin(), start.begin() + ptrdiff_t(mask + 1), 0);
        for (const Placed* p = in; p < in + n; ++p)
            ++start[(p->Y >> shift) & mask];
        uint32_t at = 0;
        for (size_t d = 0; d <= mask; ++d)
            at += std::exchange(start[d], at);
        for (const Placed* p = in; p < in + n; ++p)
            out[start[(p->Y >> shift) & mask]++] = *p;
        std::swap(in, out);
    }
    if (in != from) std::copy(in, in + n, from);
}

// A stable sort by pulse, over the bits in which the pulses differ only: one
// pass through memory places each object among 2048 runs by its pulse's top
// eleven bits, then each run, small enough to stay in cache, is sorted by the
// rest. A million notes take one pass through memory, where a comparison sort
// takes twenty.
void SortByPulse(std::vector<Placed>& placed, std::vector<Placed>& sorted) {
    uint64_t any = 0, all = UINT64_MAX;
    for (const Placed& p : placed)
        any |= p.Y, all &= p.Y;
    const uint64_t differ = any ^ all;
    if (differ == 0) return;
    const int low = std::countr_zero(differ), high = int(std::bit_width(differ));
    constexpr int Bits = 11;
    const int shift = std::max(low, high - Bits);
    const uint64_t mask = (uint64_t(1) << (high - shift)) - 1;
    std::vector<uint32_t> start(size_t(mask) + 2);
    for (const Placed& p : placed)
        ++start[((p.Y >> shift) & mask) + 1];
    for (size_t d = 1; d < start.size(); ++d)
        start[d] += start[d - 1];
    sorted.resize(placed.size());
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (const Placed& p : placed)
        sorted[next[(p.Y >> shift) & mask]++] = p;
    std::vector<Placed> scratch;
    for (size_t d = 0; d + 1 < start.size(); ++d)
        SortByPulseBits(sorted.data() + start[d], sorted.data() + start[d + 1], low, shift,
                        scratch);
    placed.swap(sorted);
}

uint64_t MixFrames(int64_t time) {
    return uint64_t(std::max<int64_t>(time, 0)) * 441 / 10;
}

// Each sound channel plays one slice at a time. A slice starts where the
// channel's sound would be had it played on since its last restart, and lasts
// until the channel's next note on a later pulse; notes on one pulse share a
// slice. Both are counted in mix frames of the notes' player times, so slices
// of one sound join sample for sample. Fed the sounded objects in time order,
// it ends a pulse's slices when the channel's next pulse comes.
class Slicer {
  public:
    explicit Slicer(size_t channels) : channels_(channels) {}

    void Add(std::vector<Object>& objects, size_t i, size_t channel, uint64_t y, bool continued) {
        Object& o = objects[i];
        Channel& c = channels_[channel];
        const uint64_t frame = MixFrames(o.Time);
        if (!c.Started || !continued) c.Restart = frame, c.Started = true;
        o.SliceStart = uint32_t(std::min<uint64_t>(frame - c.Restart, WholeSound));
        if (y != c.PulseY || c.Last == None) {
            End(objects, c, frame);
            c.PulseY = y;
            c.PulseFrame = frame;
        }
        // Until the pulse's slices end, each links to the one before it.
        o.SliceFrames = c.Last;
        c.Last = uint32_t(i);
    }
    // The slices still open play to the end of their sound.
    void Finish(std::vector<Object>& objects) {
        for (Channel& c : channels_)
            End(objects, c, UINT64_MAX);
    }

  private:
    static constexpr uint32_t None = UINT32_MAX;
    struct Channel {
        uint64_t Restart = 0, PulseY = 0, PulseFrame = 0;
        uint32_t Last = None; // the latest object on the channel's current pulse
        bool Started = false;
    };
    static void End(std::vector<Object>& objects, Channel& c, uint64_t endFrame) {
        const uint32_t frames =
            endFrame == UINT64_MAX
                ? WholeSound
                : uint32_t(std::min<uint64_t>(endFrame - c.PulseFrame, WholeSound));
        for (uint32_t j = c.Last; j != None;) {
            Object& o = objects[j];
            j = o.SliceFrames;
            o.SliceFrames = frames;
        }
        c.Last = None;
    }
    std::vector<Channel> channels_;
};

// The slot of each sound channel (by channel + 1; 0 for none). A chart with
// as many channels as there are slots gives each its own; a chart with more
// gives each file one slot, shared by the channels naming it, and leaves the
// files past the last slot without a sound, with a warning.
std::vector<uint16_t> SoundSlots(BmsonDocument& doc, Chart& chart) {
    std::vector<std::string>& names = doc.SoundNames;
    std::vector<uint16_t> slots(names.size() + 1, 0);
    if (names.size() < size_t(SlotCount)) {
        for (size_t i = 0; i < names.size(); ++i) {
            slots[i + 1] = uint16_t(i + 1);
            chart.WavFileNames[i + 1] = std::move(names[i]);
        }
        return slots;
    }
    std::unordered_map<std::string, uint16_t> slotOfName;
    size_t silent = 0, firstSilent = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) continue;
        const auto [it, added] = slotOfName.emplace(names[i], uint16_t(slotOfName.size() + 1));
        if (it->second < SlotCount) {
            slots[i + 1] = it->second;
            if (added) chart.WavFileNames[it->second] = names[i];
        } else if (silent++ == 0) {
            firstSilent = i;
        }
    }
    if (silent > 0)
        AddWarning(chart, 0,
                   "sound_channels[" + std::to_string(firstSilent) + "]: past the " +
                       std::to_string(SlotCount - 1) +
                       " different sound files a chart may play; played without a sound (" +
                       std::to_string(silent) + " sound channels)");
    return slots;
}

// Pictures join the notes: header ids become slots in the header's order, and
// each picture goes into reading order among the notes.
void MergePictures(BmsonDocument& doc, Chart& chart) {
    std::vector<Placed>& placed = doc.Notes;
    std::unordered_map<uint64_t, uint16_t> pictureSlot;
    for (size_t i = 0; i < doc.PictureIds.size(); ++i) {
        chart.BmpFileNames[i + 1] = doc.PictureNames[i];
        pictureSlot.emplace(doc.PictureIds[i], uint16_t(i + 1));
    }
    std::vector<Placed> merged;
    size_t note = 0;
    for (PictureEvent& e : doc.Pictures) {
        const auto it = pictureSlot.find(e.Id);
        if (it == pictureSlot.end()) {
            AddWarning(chart, 0,
                       std::string(e.List) + '[' + std::to_string(e.Index) + "]: picture id " +
                           std::to_string(e.Id) + " is not in bga_header; left out");
            continue;
        }
        if (merged.empty()) merged.reserve(placed.size() + doc.Pictures.size());
        merged.insert(merged.end(), placed.begin() + ptrdiff_t(note),
                      placed.begin() + ptrdiff_t(e.NotesBefore));
        note = e.NotesBefore;
        e.At.Slot = it->second;
        merged.push_back(e.At);
    }
    if (!merged.empty()) {
        merged.insert(merged.end(), placed.begin() + ptrdiff_t(note), placed.end());
        placed.swap(merged);
    }
}

// The measures' starts: from the measure lines, then 4/4 measures past the
// last, up to `lastPulse`; sets each measure's scale.
std::vector<uint64_t> MeasureBounds(BmsonDocument& doc, Chart& chart, uint64_t lastPulse) {
    std::sort(doc.Lines.begin(), doc.Lines.end());
    std::vector<uint64_t> bounds{0};
    for (uint64_t y : doc.Lines)
        if (y > bounds.back() && bounds.size() < size_t(MeasureCount)) bounds.push_back(y);
    const uint64_t bar = 4 * doc.Resolution;
    while (bounds.size() < size_t(MeasureCount) && bounds.back() <= lastPulse)
        bounds.push_back(bounds.back() + bar);
    for (size_t m = 0; m + 1 < bounds.size(); ++m)
        chart.MeasureScale[m] = double(bounds[m + 1] - bounds[m]) / double(bar);
    return bounds;
}

// The kind, channel, player and key of object `o` placed as `p`. Notes past
// the key layout (pop'n modes have nine buttons) sound as background notes,
// and their long note ends are left out: false for those.
inline bool SetKind(const Placed& p, bool popn, Object& o) {
    const uint64_t lastLane = popn ? 9 : 16;
    o.Channel[0] = '0';
    switch (p.What) {
    case Placed::BgaBase:
        o.Kind = ObjectKind::BgaBase, o.Channel[1] = '4';
        break;
    case Placed::BgaLayer:
        o.Kind = ObjectKind::BgaLayer, o.Channel[1] = '7';
        break;
    case Placed::BgaPoor:
        o.Kind = ObjectKind::BgaPoor, o.Channel[1] = '6';
        break;
    case Placed::Sound:
    case Placed::LongStart:
    case Placed::LongEnd:
        if (p.X == 0 || p.X > lastLane) {
            if (p.What == Placed::LongEnd) return false;
            o.Kind = ObjectKind::Background, o.Channel[1] = '1';
            break;
        }
        LaneKey(uint8_t(p.X), popn, o.Player, o.Key);
        const bool isLong = p.What != Placed::Sound;
        o.Kind = p.What == Placed::LongEnd ? ObjectKind::LongEnd
                 : isLong                  ? ObjectKind::LongStart
                                           : ObjectKind::Note;
        o.Channel[0] = char((isLong ? '4' : '0') + o.Player);
        o.Channel[1] = char('0' + o.Key);
        break;
    }
    return true;
}

// The song's end: the end of the measure of the last object (or of the 4/4
// measure past the lines holding `lastPulse`), and two seconds more.
void SetSongEnd(const BmsonDocument& doc, Chart& chart, const std::vector<uint64_t>& bounds,
                size_t measure, uint64_t lastPulse) {
    const uint64_t bar = 4 * doc.Resolution;
    chart.LastObjectMeasure = int(measure);
    const uint64_t end = measure + 1 < bounds.size()
                             ? bounds[measure + 1]
                             : bounds.back() + ((lastPulse - bounds.back()) / bar + 1) * bar;
    const double endMs = chart.Timeline.TimeOfBeat(double(end) / double(doc.Resolution));
    if (endMs >= MaxTimeMs)
        AddWarning(chart, 0, "the song runs past 10^12 ms; what lies later is held there");
    chart.LastSoundTime = int32_t(std::min<int64_t>(PlayerTime(endMs) + 2000, INT32_MAX));
}

// The objects in time, their measures, and the song's end.
void Place(BmsonDocument& doc, Chart& chart, const std::vector<uint16_t>& soundSlots) {
    std::vector<Placed>& placed = doc.Notes;
    const double res = double(doc.Resolution);
    const bool popn = doc.Popn;
    // Into reading order, then by pulse (stable: reading order on one pulse).
    MergePictures(doc, chart);
    BuildTimeline(doc, chart);
    auto byPulse = [](const Placed& a, const Placed& b) { return a.Y < b.Y; };
    if (!std::is_sorted(placed.begin(), placed.end(), byPulse)) {
        SortByPulse(placed, doc.SortSpace);
        std::vector<Placed>().swap(doc.SortSpace); // the notes in reading order
    }
    uint64_t lastPulse = placed.empty() ? 0 : placed.back().Y;
    if (!doc.Tempos.empty()) lastPulse = std::max(lastPulse, doc.Tempos.back().Y);
    if (!doc.Stops.empty()) lastPulse = std::max(lastPulse, doc.Stops.back().Y);
    const std::vector<uint64_t> bounds = MeasureBounds(doc, chart, lastPulse);

    Slicer slicer(doc.SoundNames.size() + 1);
    BeatTimeline::Cursor cursor(chart.Timeline);
    size_t measure = 0;
    bool player2 = false;
    // Objects on one pulse (a chord, its keysounds) share their times. No
    // pulse is UINT64_MAX (they have 41 bits).
    uint64_t timedY = UINT64_MAX;
    double beat = 0, timeMs = 0;
    int64_t time = 0;
    for (const Placed& p : placed) {
        if (p.Y != timedY) {
            while (measure + 1 < bounds.size() && p.Y >= bounds[measure + 1])
                ++measure;
            timedY = p.Y;
            beat = double(p.Y) / res;
            timeMs = cursor.TimeOfBeat(beat);
            time = PlayerTime(timeMs);
        }
        Object o;
        o.Beat = beat;
        o.TimeMs = timeMs;
        o.Time = time;
        o.Measure = uint16_t(measure);
        o.Slot = uint16_t(p.What <= Placed::LongEnd ? soundSlots[p.Slot] : p.Slot);
        if (!SetKind(p, popn, o)) continue;
        player2 = player2 || o.Player == 2;
        chart.Objects.push_back(o);
        if (o.Sounded())
            slicer.Add(chart.Objects, chart.Objects.size() - 1, p.Slot, p.Y, p.Continue);
    }
    slicer.Finish(chart.Objects);
    chart.Header.PlayerMode = player2 ? 3 : 1;
    if (!chart.Objects.empty() || lastPulse > 0) SetSongEnd(doc, chart, bounds, measure, lastPulse);
}

} // namespace

Chart CompileBmson(std::string_view bytes, bool headerOnly, size_t capacity) {
    BmsonDocument doc = ReadBmsonDocument(bytes, headerOnly, capacity);
    Chart chart = EmptyChart();
    chart.Header = std::move(doc.Header);
    if (headerOnly) return chart;
    for (std::string& warning : doc.Warnings)
        AddWarning(chart, 0, std::move(warning));
    const std::vector<uint16_t> soundSlots = SoundSlots(doc, chart);
    // While the notes are sorted and timed, the JSON reader's memory is
    // freed and then the objects' pages are made ready.
    chart.Objects.reserve(doc.Notes.size() + doc.Pictures.size()); // room for every object
    PageWarmer warmer;
    if (doc.Large)
        warmer.Start({{chart.Objects.data(), chart.Objects.capacity() * sizeof(Object)}},
                     [memory = std::move(doc.ReaderMemory)]() mutable { memory.reset(); });
    else
        doc.ReaderMemory.reset();
    Place(doc, chart, soundSlots);
    return chart;
}

} // namespace tappo::standard
