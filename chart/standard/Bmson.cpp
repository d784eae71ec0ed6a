#include "chart/standard/Bmson.h"

#include "chart/EventLists.h"
#include "chart/standard/Lines.h"
#include "files/Files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <simdjson.h>
#include <unordered_map>
#include <utility>

namespace tappo::standard {

namespace sj = simdjson::ondemand;

bool IsBmsonPath(std::string_view path) {
    if (path.size() < 6) return false;
    std::string last(path.substr(path.size() - 6));
    for (char& c : last)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return last == ".bmson";
}

namespace {

// What the reading gathers before anything is placed in time.
// Sixteen bytes, as a chart may hold two million of them.
struct Placed {
    enum Type : uint8_t { Sound, LongEnd, BgaBase, BgaLayer, BgaPoor };
    uint64_t Y = 0;
    uint32_t Seq = 0; // order of reading: objects on one pulse keep it
    uint16_t Slot = 0;
    uint8_t X = 0;
    Type What : 3 = Sound;
    bool Continue : 1 = false;
    bool Long : 1 = false;
};
static_assert(sizeof(Placed) == 16);

struct PulseValue {
    uint64_t Y = 0;
    double Value = 0;
    std::string Where; // JSON path, for warnings
};

// One step of the JSON path: a key or an array index.
struct PathStep {
    const char* Key = nullptr;
    size_t Index = 0;
};

class BmsonReader {
  public:
    BmsonReader(std::string_view bytes, bool headerOnly, size_t capacity)
        : headerOnly_(headerOnly) {
        if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            bytes.remove_prefix(3);
            capacity -= std::min<size_t>(capacity, 3);
        }
        if (capacity >= bytes.size() + simdjson::SIMDJSON_PADDING) {
            json_ = simdjson::padded_string_view(bytes.data(), bytes.size(), capacity);
        } else {
            copy_ = simdjson::padded_string(bytes.data(), bytes.size());
            json_ = copy_;
        }
        // Notes mostly take 16 bytes of JSON or more ({"x":1,"y":240}): room
        // for that many at once, in memory only touched as they come.
        if (!headerOnly) placed_.reserve(std::min(bytes.size() / 16, MaxObjects));
    }

    Chart Read();

  private:
    [[noreturn, gnu::cold, gnu::noinline]] void Fail(const std::string& what) {
        const char* at = nullptr;
        size_t offset = 0;
        if (started_ && !doc_.current_location().get(at) && at >= json_.data())
            offset = size_t(at - json_.data());
        else
            offset = json_.size();
        const std::string path = Path();
        throw BmsonError("bmson" + (path.empty() ? std::string() : " " + path) + ": " + what +
                         " (byte " + std::to_string(offset) + ")");
    }
    void Check(simdjson::error_code e, const char* expected) {
        if (e != simdjson::SUCCESS) [[unlikely]]
            Failed(e, expected);
    }
    [[noreturn, gnu::cold, gnu::noinline]] void Failed(simdjson::error_code e,
                                                       const char* expected) {
        if (e == simdjson::INCORRECT_TYPE) Fail(std::string("not ") + expected);
        Fail(std::string("the JSON does not parse: ") + simdjson::error_message(e));
    }
    std::string Path() const {
        std::string out;
        for (size_t i = 0; i < depth_; ++i) {
            const PathStep& s = path_[i];
            if (s.Key) {
                if (!out.empty()) out += '.';
                out += s.Key;
            } else {
                out += '[' + std::to_string(s.Index) + ']';
            }
        }
        return out;
    }
    // The reader goes no deeper than a note's field (sound_channels[i].notes[j].x).
    void Enter(const char* key) { path_[depth_++] = PathStep{key, 0}; }
    void EnterIndex(size_t i) { path_[depth_++] = PathStep{nullptr, i}; }
    void Leave() { --depth_; }

    bool IsNull(sj::value& v) {
        bool null = false;
        Check(v.is_null().get(null), "a value");
        return null;
    }
    sj::object AsObject(sj::value& v) {
        sj::object o;
        Check(v.get_object().get(o), "an object");
        return o;
    }
    sj::array AsArray(sj::value& v) {
        sj::array a;
        Check(v.get_array().get(a), "an array");
        return a;
    }
    std::string Text(sj::value& v) {
        if (IsNull(v)) return {};
        std::string_view s;
        Check(v.get_string().get(s), "a string");
        return std::string(s);
    }
    double Number(sj::value& v) {
        double d = 0;
        Check(v.get_double().get(d), "a number");
        return d;
    }
    // A pulse count: a whole number from 0 to MaxBmsonPulse (null as 0 where
    // `nullIsZero`).
    [[gnu::always_inline]] uint64_t Pulse(sj::value& v, bool nullIsZero = false) {
        uint64_t u = 0;
        if (v.get_uint64().get(u) == simdjson::SUCCESS && u <= MaxBmsonPulse) [[likely]]
            return u;
        return OtherPulse(v, nullIsZero, u);
    }
    // A pulse that is not a whole number in range, as a pulse where it can be.
    [[gnu::noinline]] uint64_t OtherPulse(sj::value& v, bool nullIsZero, uint64_t u) {
        if (u > MaxBmsonPulse) Fail("a pulse past " + std::to_string(MaxBmsonPulse));
        if (nullIsZero && IsNull(v)) return 0;
        const double d = Number(v);
        if (!(d >= 0)) Fail("a negative pulse");
        if (!(d <= double(MaxBmsonPulse))) Fail("a pulse past " + std::to_string(MaxBmsonPulse));
        if (d != std::floor(d)) Fail("a pulse that is not a whole number");
        return uint64_t(d);
    }

    template <typename Each> void ForEachElement(sj::value& v, Each each) {
        if (IsNull(v)) return;
        sj::array a = AsArray(v);
        size_t i = 0;
        for (auto element : a) {
            EnterIndex(i);
            sj::value e;
            Check(std::move(element).get(e), "a value");
            each(e, i);
            Leave();
            ++i;
        }
    }
    template <typename Each> void ForEachField(sj::value& v, Each each) {
        sj::object o = AsObject(v);
        for (auto field : o) {
            sj::field f;
            Check(std::move(field).get(f), "a field");
            sj::value& value = f.value();
            each(f.key(), value);
        }
    }

    void ReadInfo(sj::value& v);
    void ReadTimes(sj::value& v, bool stops, const char* valueKey);
    void ReadSoundChannels(sj::value& v);
    void ReadBga(sj::value& v);
    void ReadBgaEvents(sj::value& v, Placed::Type type);

    void Place(Chart& chart);
    void BuildTimeline(Chart& chart);
    void Slice(Chart& chart, const std::vector<uint8_t>& cont);

    bool headerOnly_;
    simdjson::padded_string copy_; // the bytes with room past their end, where they had none
    simdjson::padded_string_view json_;
    sj::parser parser_;
    sj::document doc_;
    bool started_ = false;
    std::array<PathStep, 8> path_;
    size_t depth_ = 0;

    bool hasVersion_ = false;
    std::string title_, subtitle_, modeHint_;
    uint64_t resolution_ = 240;
    bool hasBpm_ = false;
    HeaderValues header_;
    std::vector<uint64_t> lines_;
    std::vector<PulseValue> tempos_, stops_;
    std::vector<std::string> soundNames_;
    std::vector<Placed> placed_;
    std::vector<std::pair<uint64_t, std::string>> bgaHeader_;
    std::vector<std::pair<Placed, std::string>> bgaEvents_; // id in Slot's place: resolved later
    std::vector<std::pair<uint64_t, std::string>> bgaIds_;
    std::string firstWideLane_; // path of the first note past lane 9 (popn modes stop there)
    uint32_t seq_ = 0;
};

void BmsonReader::ReadInfo(sj::value& v) {
    ForEachField(v, [&](sj::raw_json_string key, sj::value& value) {
        auto is = [&](const char* name) {
            if (key != name) return false;
            Enter(name);
            return true;
        };
        if (is("title"))
            title_ = Text(value);
        else if (is("subtitle"))
            subtitle_ = Text(value);
        else if (is("artist"))
            header_.Artist = Text(value);
        else if (is("genre"))
            header_.Genre = Text(value);
        else if (is("mode_hint"))
            modeHint_ = Text(value);
        else if (is("level")) {
            const double level = IsNull(value) ? 0 : Number(value);
            header_.PlayLevel = int32_t(std::clamp(level, -1e9, 1e9));
        } else if (is("init_bpm") || is("initBPM")) {
            const double bpm = Number(value);
            if (!(bpm > 0) || !std::isfinite(bpm)) Fail("the tempo must be above 0");
            header_.Bpm = bpm;
            hasBpm_ = true;
        } else if (is("resolution")) {
            resolution_ = IsNull(value) ? 240 : Pulse(value);
            if (resolution_ == 0 || resolution_ > MaxBmsonResolution)
                Fail("the resolution must be 1 to " + std::to_string(MaxBmsonResolution) +
                     " pulses a beat");
        } else if (is("banner_image"))
            header_.Banner = Text(value);
        else if (is("eyecatch_image"))
            header_.StageFile = Text(value);
        else
            return;
        Leave();
    });
}

void BmsonReader::ReadTimes(sj::value& v, bool stops, const char* valueKey) {
    ForEachElement(v, [&](sj::value& e, size_t) {
        PulseValue p;
        bool hasY = false, hasValue = false;
        ForEachField(e, [&](sj::raw_json_string key, sj::value& value) {
            if (key == "y") {
                Enter("y");
                p.Y = Pulse(value);
                hasY = true;
            } else if (key == valueKey) {
                Enter(valueKey);
                p.Value = stops ? double(Pulse(value)) : Number(value);
                hasValue = true;
            } else {
                return;
            }
            Leave();
        });
        if (!hasValue) Fail(std::string("no \"") + valueKey + "\"");
        (void)hasY;
        p.Where = Path();
        (stops ? stops_ : tempos_).push_back(std::move(p));
    });
}

void BmsonReader::ReadSoundChannels(sj::value& v) {
    ForEachElement(v, [&](sj::value& channel, size_t index) {
        if (index + 1 >= size_t(SlotCount))
            Fail("more than " + std::to_string(SlotCount - 1) + " sound channels");
        const uint16_t slot = uint16_t(index + 1);
        soundNames_.emplace_back();
        ForEachField(channel, [&](sj::raw_json_string key, sj::value& value) {
            if (key == "name") {
                Enter("name");
                soundNames_.back() = Text(value);
                Leave();
            } else if (key == "notes") {
                Enter("notes");
                ForEachElement(value, [&](sj::value& note, size_t) {
                    Placed p;
                    p.Slot = slot;
                    uint64_t length = 0;
                    ForEachField(note, [&](sj::raw_json_string k, sj::value& n) {
                        if (k == "x") {
                            Enter("x");
                            const uint64_t x = Pulse(n, true);
                            if (x > 16) Fail("lane " + std::to_string(x) + " is not 0 to 16");
                            p.X = uint8_t(x);
                            if (x > 9 && firstWideLane_.empty()) firstWideLane_ = Path();
                        } else if (k == "y") {
                            Enter("y");
                            p.Y = Pulse(n);
                        } else if (k == "l") {
                            Enter("l");
                            length = Pulse(n, true);
                        } else if (k == "c") {
                            Enter("c");
                            bool c = false;
                            if (n.get_bool().get(c) != simdjson::SUCCESS && !IsNull(n))
                                Check(n.get_bool().get(c), "true or false");
                            p.Continue = c;
                        } else {
                            return;
                        }
                        Leave();
                    });
                    if (placed_.size() + 2 > MaxObjects)
                        Fail("more than " + std::to_string(MaxObjects) + " notes");
                    p.Long = length > 0 && p.X > 0;
                    p.Seq = seq_++;
                    placed_.push_back(p);
                    if (p.Long) {
                        if (p.Y + length > MaxBmsonPulse)
                            Fail("a long note past pulse " + std::to_string(MaxBmsonPulse));
                        Placed end = p;
                        end.Y = p.Y + length;
                        end.What = Placed::LongEnd;
                        end.Seq = seq_++;
                        placed_.push_back(end);
                    }
                });
                Leave();
            }
        });
    });
}

void BmsonReader::ReadBgaEvents(sj::value& v, Placed::Type type) {
    ForEachElement(v, [&](sj::value& e, size_t) {
        Placed p;
        p.What = type;
        uint64_t id = 0;
        ForEachField(e, [&](sj::raw_json_string key, sj::value& value) {
            if (key == "y") {
                Enter("y");
                p.Y = Pulse(value);
            } else if (key == "id") {
                Enter("id");
                id = Pulse(value);
            } else {
                return;
            }
            Leave();
        });
        if (placed_.size() + 1 > MaxObjects)
            Fail("more than " + std::to_string(MaxObjects) + " objects");
        p.Seq = seq_++;
        bgaEvents_.emplace_back(p, Path());
        bgaIds_.emplace_back(id, std::string());
    });
}

void BmsonReader::ReadBga(sj::value& v) {
    if (IsNull(v)) return;
    ForEachField(v, [&](sj::raw_json_string key, sj::value& value) {
        if (key == "bga_header" || key == "bgaHeader") {
            Enter(key == "bga_header" ? "bga_header" : "bgaHeader");
            ForEachElement(value, [&](sj::value& e, size_t index) {
                if (index + 1 >= size_t(SlotCount))
                    Fail("more than " + std::to_string(SlotCount - 1) + " pictures");
                std::pair<uint64_t, std::string> entry;
                ForEachField(e, [&](sj::raw_json_string k, sj::value& n) {
                    if (k == "id" || k == "ID") {
                        Enter("id");
                        entry.first = Pulse(n);
                    } else if (k == "name") {
                        Enter("name");
                        entry.second = Text(n);
                    } else {
                        return;
                    }
                    Leave();
                });
                bgaHeader_.push_back(std::move(entry));
            });
            Leave();
            return;
        }
        struct Kind {
            const char *name, *legacy;
            Placed::Type type;
        };
        for (const Kind& k : {Kind{"bga_events", "bgaNotes", Placed::BgaBase},
                              Kind{"layer_events", "layerNotes", Placed::BgaLayer},
                              Kind{"poor_events", "poorNotes", Placed::BgaPoor}}) {
            if (key != k.name && key != k.legacy) continue;
            Enter(key == k.name ? k.name : k.legacy);
            ReadBgaEvents(value, k.type);
            Leave();
        }
    });
}

Chart BmsonReader::Read() {
    Check(parser_.iterate(json_).get(doc_), "JSON");
    started_ = true;
    sj::object top;
    Check(doc_.get_object().get(top), "an object");
    for (auto field : top) {
        sj::field f;
        Check(std::move(field).get(f), "a field");
        const sj::raw_json_string key = f.key();
        sj::value& value = f.value();
        auto is = [&](const char* name) {
            if (key != name) return false;
            Enter(name);
            return true;
        };
        if (is("version")) {
            Text(value);
            hasVersion_ = true;
        } else if (is("info")) {
            ReadInfo(value);
        } else if (headerOnly_) {
            continue;
        } else if (is("lines")) {
            ForEachElement(value, [&](sj::value& e, size_t) {
                ForEachField(e, [&](sj::raw_json_string k, sj::value& n) {
                    if (k != "y") return;
                    Enter("y");
                    lines_.push_back(Pulse(n));
                    Leave();
                });
            });
        } else if (is("bpm_events") || is("bpmNotes")) {
            ReadTimes(value, false, key == "bpm_events" ? "bpm" : "v");
        } else if (is("stop_events") || is("stopNotes")) {
            ReadTimes(value, true, key == "stop_events" ? "duration" : "v");
        } else if (is("sound_channels") || is("soundChannel")) {
            ReadSoundChannels(value);
        } else if (is("bga")) {
            ReadBga(value);
        } else {
            continue;
        }
        Leave();
    }
    depth_ = 0;
    if (!hasBpm_) Fail("info has no init_bpm (the tempo at the start)");
    // The older layout counts 240 pulses a beat and has no resolution.
    if (!hasVersion_) resolution_ = 240;

    Chart chart = EmptyChart();
    header_.Title = title_;
    header_.Subtitle = subtitle_;
    header_.NineButtons = modeHint_.rfind("popn-", 0) == 0;
    chart.Header = header_;
    if (headerOnly_) return chart;
    const bool popn = modeHint_.rfind("popn-", 0) == 0;
    if (popn && !firstWideLane_.empty())
        throw BmsonError("bmson " + firstWideLane_ + ": lane past 9 in a " + modeHint_ + " chart");
    for (size_t i = 0; i < soundNames_.size(); ++i)
        chart.WavFileNames[i + 1] = soundNames_[i];
    Place(chart);
    return chart;
}

// The timeline: tempo changes before stops on one pulse; of several tempos
// on one pulse the last counts.
void BmsonReader::BuildTimeline(Chart& chart) {
    const double res = double(resolution_);
    auto byPulse = [](const PulseValue& a, const PulseValue& b) { return a.Y < b.Y; };
    std::stable_sort(tempos_.begin(), tempos_.end(), byPulse);
    std::stable_sort(stops_.begin(), stops_.end(), byPulse);
    chart.Timeline.Start(chart.Header.Bpm);
    size_t t = 0, s = 0;
    while (t < tempos_.size() || s < stops_.size()) {
        const uint64_t y = std::min(t < tempos_.size() ? tempos_[t].Y : UINT64_MAX,
                                    s < stops_.size() ? stops_[s].Y : UINT64_MAX);
        for (; t < tempos_.size() && tempos_[t].Y == y; ++t) {
            if (tempos_[t].Value > 0 && std::isfinite(tempos_[t].Value))
                chart.Timeline.AddTempo(double(y) / res, tempos_[t].Value);
            else
                AddWarning(chart, 0, tempos_[t].Where + ": a tempo of 0 or below; left out");
        }
        for (; s < stops_.size() && stops_[s].Y == y; ++s)
            chart.Timeline.AddStop(double(y) / res, stops_[s].Value / res * 48.0);
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

// A stable sort by pulse: least significant digit first, eleven bits a pass,
// only over the digits in which the pulses differ. A million notes sort in
// two passes, where a comparison sort takes twenty.
void SortByPulse(std::vector<Placed>& placed) {
    constexpr int Bits = 11;
    constexpr size_t Digits = size_t(1) << Bits;
    uint64_t any = 0, all = UINT64_MAX;
    for (const Placed& p : placed)
        any |= p.Y, all &= p.Y;
    const uint64_t differ = any ^ all;
    std::vector<Placed> sorted(placed.size());
    std::vector<size_t> start(Digits);
    for (int shift = 0; shift < 64 && (differ >> shift) != 0; shift += Bits) {
        if (((differ >> shift) & (Digits - 1)) == 0) continue;
        std::fill(start.begin(), start.end(), 0);
        for (const Placed& p : placed)
            ++start[(p.Y >> shift) & (Digits - 1)];
        size_t at = 0;
        for (size_t& s : start)
            at += std::exchange(s, at);
        for (const Placed& p : placed)
            sorted[start[(p.Y >> shift) & (Digits - 1)]++] = p;
        placed.swap(sorted);
    }
}

uint64_t MixFrames(int64_t time) {
    return uint64_t(std::max<int64_t>(time, 0)) * 441 / 10;
}

void BmsonReader::Place(Chart& chart) {
    const double res = double(resolution_);
    const bool popn = modeHint_.rfind("popn-", 0) == 0;
    // Pictures: header ids become slots in the header's order.
    const size_t notes = placed_.size();
    std::unordered_map<uint64_t, uint16_t> pictureSlot;
    for (size_t i = 0; i < bgaHeader_.size(); ++i) {
        chart.BmpFileNames[i + 1] = bgaHeader_[i].second;
        pictureSlot.emplace(bgaHeader_[i].first, uint16_t(i + 1));
    }
    for (size_t i = 0; i < bgaEvents_.size(); ++i) {
        const auto it = pictureSlot.find(bgaIds_[i].first);
        if (it == pictureSlot.end()) {
            AddWarning(chart, 0,
                       bgaEvents_[i].second + ": picture id " + std::to_string(bgaIds_[i].first) +
                           " is not in bga_header; left out");
            continue;
        }
        bgaEvents_[i].first.Slot = it->second;
        placed_.push_back(bgaEvents_[i].first);
    }
    BuildTimeline(chart);

    // Into reading order, then by pulse (stable: reading order on one pulse).
    auto bySeq = [](const Placed& a, const Placed& b) { return a.Seq < b.Seq; };
    std::inplace_merge(placed_.begin(), placed_.begin() + ptrdiff_t(notes), placed_.end(), bySeq);
    auto byPulse = [](const Placed& a, const Placed& b) { return a.Y < b.Y; };
    if (!std::is_sorted(placed_.begin(), placed_.end(), byPulse)) SortByPulse(placed_);

    // Measures: from the measure lines, then 4/4 measures past the last.
    uint64_t lastPulse = placed_.empty() ? 0 : placed_.back().Y;
    if (!tempos_.empty()) lastPulse = std::max(lastPulse, tempos_.back().Y);
    if (!stops_.empty()) lastPulse = std::max(lastPulse, stops_.back().Y);
    std::sort(lines_.begin(), lines_.end());
    std::vector<uint64_t> bounds{0};
    for (uint64_t y : lines_)
        if (y > bounds.back() && bounds.size() < size_t(MeasureCount)) bounds.push_back(y);
    const uint64_t bar = 4 * resolution_;
    while (bounds.size() < size_t(MeasureCount) && bounds.back() <= lastPulse)
        bounds.push_back(bounds.back() + bar);
    for (size_t m = 0; m + 1 < bounds.size(); ++m)
        chart.MeasureScale[m] = double(bounds[m + 1] - bounds[m]) / double(bar);

    chart.Objects.reserve(placed_.size());
    std::vector<uint8_t> cont;
    cont.reserve(placed_.size());
    BeatTimeline::Cursor cursor(chart.Timeline);
    size_t measure = 0;
    bool player2 = false;
    for (const Placed& p : placed_) {
        while (measure + 1 < bounds.size() && p.Y >= bounds[measure + 1])
            ++measure;
        Object o;
        o.Beat = double(p.Y) / res;
        o.TimeMs = cursor.TimeOfBeat(o.Beat);
        o.Time = PlayerTime(o.TimeMs);
        o.Measure = uint16_t(measure);
        o.Slot = p.Slot;
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
        case Placed::LongEnd:
            if (p.X == 0) {
                o.Kind = ObjectKind::Background, o.Channel[1] = '1';
                break;
            }
            LaneKey(p.X, popn, o.Player, o.Key);
            player2 = player2 || o.Player == 2;
            o.Kind = p.What == Placed::LongEnd ? ObjectKind::LongEnd
                     : p.Long                  ? ObjectKind::LongStart
                                               : ObjectKind::Note;
            o.Channel[0] = char((p.Long ? '4' : '0') + o.Player);
            o.Channel[1] = char('0' + o.Key);
            break;
        }
        chart.Objects.push_back(o);
        cont.push_back(p.Continue);
    }
    chart.Header.PlayerMode = player2 ? 3 : 1;
    if (!chart.Objects.empty() || lastPulse > 0) {
        chart.LastObjectMeasure = int(measure);
        const uint64_t end = measure + 1 < bounds.size()
                                 ? bounds[measure + 1]
                                 : bounds.back() + ((lastPulse - bounds.back()) / bar + 1) * bar;
        const double endMs = chart.Timeline.TimeOfBeat(double(end) / res);
        if (endMs >= MaxTimeMs)
            AddWarning(chart, 0, "the song runs past 10^12 ms; what lies later is held there");
        chart.LastSoundTime = int32_t(std::min<int64_t>(PlayerTime(endMs) + 2000, INT32_MAX));
    }
    Slice(chart, cont);
}

// Each sound channel plays one slice at a time. A slice starts where the
// channel's sound would be had it played on since its last restart, and lasts
// until the channel's next note on a later pulse; notes on one pulse share a
// slice. Both are counted in mix frames of the notes' player times, so slices
// of one sound join sample for sample.
void BmsonReader::Slice(Chart& chart, const std::vector<uint8_t>& cont) {
    std::vector<Object>& objects = chart.Objects;
    const size_t channels = soundNames_.size() + 1;
    std::vector<uint64_t> restart(channels, 0);
    std::vector<uint8_t> started(channels, 0);
    for (size_t i = 0; i < objects.size(); ++i) {
        Object& o = objects[i];
        if (!o.Sounded()) continue;
        const uint64_t frame = MixFrames(o.Time);
        if (!started[o.Slot] || !cont[i]) restart[o.Slot] = frame, started[o.Slot] = 1;
        o.SliceStart = uint32_t(std::min<uint64_t>(frame - restart[o.Slot], WholeSound));
    }
    // Backwards: the frame of each channel's next later pulse.
    std::vector<double> groupBeat(channels, -1);
    std::vector<uint64_t> groupFrame(channels, 0), endFrame(channels, UINT64_MAX);
    for (size_t i = objects.size(); i-- > 0;) {
        Object& o = objects[i];
        if (!o.Sounded()) continue;
        const uint64_t frame = MixFrames(o.Time);
        if (o.Beat != groupBeat[o.Slot]) {
            endFrame[o.Slot] = groupBeat[o.Slot] < 0 ? UINT64_MAX : groupFrame[o.Slot];
            groupBeat[o.Slot] = o.Beat;
            groupFrame[o.Slot] = frame;
        }
        if (endFrame[o.Slot] != UINT64_MAX)
            o.SliceFrames = uint32_t(std::min<uint64_t>(endFrame[o.Slot] - frame, WholeSound));
    }
}

} // namespace

Chart CompileBmson(std::string_view bytes, bool headerOnly, size_t capacity) {
    static_assert(FileReadSlack >= simdjson::SIMDJSON_PADDING);
    BmsonReader reader(bytes, headerOnly, capacity);
    return reader.Read();
}

} // namespace tappo::standard
