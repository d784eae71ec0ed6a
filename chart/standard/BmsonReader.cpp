#include "chart/standard/Bmson.h"
#include "chart/standard/BmsonDocument.h"
#include "chart/standard/BmsonJson.h"
#include "files/Files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <simdjson.h>
#include <utility>

namespace tappo::standard {

// simdjson keeps the document's index in its parser's implementation and does
// not hand it out. An explicit instantiation may name a private member: this
// one defines IndexOwner, which hands that member out (once in the program,
// so here and not in the header). Should a later simdjson rename the member,
// this stops compiling; should it allocate the index elsewhere or later, the
// reading only loses the pages made ready ahead, as making a page ready never
// changes what it holds.
template <ParserImplementation sj::parser::*Member> struct IndexOwnerAccess {
    friend ParserImplementation& IndexOwner(sj::parser& parser) { return parser.*Member; }
};
template struct IndexOwnerAccess<&sj::parser::implementation>;

namespace {

// Subartists beyond these are read but not kept.
constexpr size_t MaxSubartists = 64;

class BmsonReader : BmsonJson {
  public:
    BmsonReader(std::string_view bytes, bool headerOnly, size_t capacity)
        : BmsonJson(bytes, capacity), headerOnly_(headerOnly) {
        // Notes mostly take 16 bytes of JSON or more ({"x":1,"y":240}): room
        // for that many at once, in memory only touched as they come.
        if (!headerOnly) {
            const size_t room = std::min(bytes.size() / 16, MaxObjects);
            doc_.Notes.reserve(room);
            doc_.SortSpace.reserve(room);
        }
    }

    BmsonDocument Read();

  private:
    void ReadInfo(sj::value& v);
    void ReadTimes(sj::value& v, bool stops, const char* list, const char* valueKey);
    // Everything the reader keeps counts against MaxObjects.
    void CountObject(size_t more = 1) {
        objects_ += more;
        if (objects_ > MaxObjects) [[unlikely]]
            Fail("more than " + std::to_string(MaxObjects) + " notes and events");
    }
    void ReadSoundChannels(sj::value& v);
    void ReadBga(sj::value& v);
    void ReadBgaEvents(sj::value& v, Placed::Type type, const char* list);

    bool headerOnly_;

    bool hasVersion_ = false, hasBpm_ = false;
    std::string backImage_;
    BmsonDocument doc_;
    std::string firstWideLane_; // path of the first note past lane 9 (popn modes stop there)
    size_t objects_ = 0;
};

void BmsonReader::ReadInfo(sj::value& v) {
    ForEachField(v, [&](sj::raw_json_string key, sj::value& value) {
        auto is = [&](const char* name) {
            if (key != name) return false;
            Enter(name);
            return true;
        };
        HeaderValues& header = doc_.Header;
        if (is("title"))
            header.Title = ShownText(value);
        else if (is("subtitle"))
            header.Subtitle = ShownText(value);
        else if (is("artist"))
            header.Artist = ShownText(value);
        else if (is("subartists")) {
            ForEachElement(value, [&](sj::value& name, size_t) {
                if (header.Subartists.size() < MaxSubartists)
                    header.Subartists.push_back(ShownText(name));
                else
                    Text(name);
            });
        } else if (is("genre"))
            header.Genre = ShownText(value);
        else if (is("mode_hint"))
            doc_.ModeHint = Text(value);
        else if (is("chart_name"))
            header.ChartName = ShownText(value);
        else if (is("level")) {
            const double level = IsNull(value) ? 0 : Number(value);
            header.PlayLevel = int32_t(std::clamp(level, -1e9, 1e9));
        } else if (is("init_bpm") || is("initBPM")) {
            const double bpm = Number(value);
            if (!(bpm > 0) || !std::isfinite(bpm)) Fail("the tempo must be above 0");
            header.Bpm = bpm;
            hasBpm_ = true;
        } else if (is("resolution")) {
            doc_.Resolution = IsNull(value) ? 240 : Pulse(value);
            if (doc_.Resolution == 0 || doc_.Resolution > MaxBmsonResolution)
                Fail("the resolution must be 1 to " + std::to_string(MaxBmsonResolution) +
                     " pulses a beat");
        } else if (is("banner_image"))
            header.Banner = Text(value);
        else if (is("eyecatch_image"))
            header.StageFile = Text(value);
        else if (is("back_image"))
            backImage_ = Text(value);
        else if (is("preview_music"))
            doc_.PreviewMusic = Text(value);
        else
            return;
        Leave();
    });
}

void BmsonReader::ReadTimes(sj::value& v, bool stops, const char* list, const char* valueKey) {
    ForEachElement(v, [&](sj::value& e, size_t index) {
        PulseValue p;
        p.List = list;
        p.Index = index;
        bool hasValue = false;
        ForTwoFields(
            e, "y", nullptr, [&](sj::value& y) { p.Y = Pulse(y); }, valueKey,
            [&](sj::value& value) {
                p.Value = stops ? double(Pulse(value)) : Number(value);
                hasValue = true;
            });
        if (!hasValue) Fail(std::string("no \"") + valueKey + "\"");
        CountObject();
        (stops ? doc_.Stops : doc_.Tempos).push_back(p);
    });
}

void BmsonReader::ReadSoundChannels(sj::value& v) {
    ForEachElement(v, [&](sj::value& channel, size_t index) {
        if (index + 1 >= size_t(SlotCount))
            Fail("more than " + std::to_string(SlotCount - 1) + " sound channels");
        const uint16_t slot = uint16_t(index + 1);
        doc_.SoundNames.emplace_back();
        ForEachField(channel, [&](sj::raw_json_string key, sj::value& value) {
            if (key == "name") {
                Enter("name");
                doc_.SoundNames.back() = Text(value);
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
                    p.Long = length > 0 && p.X > 0;
                    CountObject(p.Long ? 2 : 1);
                    doc_.Notes.push_back(p);
                    if (p.Long) {
                        if (p.Y + length > MaxBmsonPulse)
                            Fail("a long note past pulse " + std::to_string(MaxBmsonPulse));
                        Placed end = p;
                        end.Y = p.Y + length;
                        end.What = Placed::LongEnd;
                        doc_.Notes.push_back(end);
                    }
                });
                Leave();
            }
        });
    });
}

void BmsonReader::ReadBgaEvents(sj::value& v, Placed::Type type, const char* list) {
    ForEachElement(v, [&](sj::value& e, size_t index) {
        PictureEvent event{Placed{}, doc_.Notes.size(), 0, list, index};
        Placed& p = event.At;
        p.What = type;
        ForTwoFields(
            e, "y", nullptr, [&](sj::value& y) { p.Y = Pulse(y); }, "id",
            [&](sj::value& id) { event.Id = Pulse(id); });
        CountObject();
        doc_.Pictures.push_back(event);
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
                uint64_t id = 0;
                std::string name;
                ForTwoFields(
                    e, "id", "ID", [&](sj::value& n) { id = Pulse(n); }, "name",
                    [&](sj::value& n) { name = Text(n); });
                doc_.PictureIds.push_back(id);
                doc_.PictureNames.push_back(std::move(name));
            });
            Leave();
            return;
        }
        struct Kind {
            const char *name, *legacy, *path, *legacyPath;
            Placed::Type type;
        };
        for (const Kind& k :
             {Kind{"bga_events", "bgaNotes", "bga.bga_events", "bga.bgaNotes", Placed::BgaBase},
              Kind{"layer_events", "layerNotes", "bga.layer_events", "bga.layerNotes",
                   Placed::BgaLayer},
              Kind{"poor_events", "poorNotes", "bga.poor_events", "bga.poorNotes",
                   Placed::BgaPoor}}) {
            if (key != k.name && key != k.legacy) continue;
            const bool legacy = key != k.name;
            Enter(legacy ? k.legacy : k.name);
            ReadBgaEvents(value, k.type, legacy ? k.legacyPath : k.path);
            Leave();
        }
    });
}

BmsonDocument BmsonReader::Read() {
    sj::object top = Top();
    // While the notes are read, their pages and the sort's are made ready:
    // as many as a chart whose notes take 32 bytes each would fill.
    PageWarmer warmer;
    doc_.Large = Size() >= WarmBmsonFrom;
    if (!headerOnly_ && doc_.Large) {
        const size_t expected = Size() / 32 * sizeof(Placed);
        warmer.Start(
            {{doc_.Notes.data(), std::min(expected, doc_.Notes.capacity() * sizeof(Placed))},
             {doc_.SortSpace.data(),
              std::min(expected, doc_.SortSpace.capacity() * sizeof(Placed))}});
    }
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
        } else if (headerOnly_) { // NOLINT(bugprone-branch-clone): the body is skipped like an
                                  // unknown key
            continue;
        } else if (is("lines")) {
            ForEachElement(value, [&](sj::value& e, size_t) {
                ForEachField(e, [&](sj::raw_json_string k, sj::value& n) {
                    if (k != "y") return;
                    Enter("y");
                    CountObject();
                    doc_.Lines.push_back(Pulse(n));
                    Leave();
                });
            });
        } else if (is("bpm_events") || is("bpmNotes")) {
            const bool legacy = key != "bpm_events";
            ReadTimes(value, false, legacy ? "bpmNotes" : "bpm_events", legacy ? "v" : "bpm");
        } else if (is("stop_events") || is("stopNotes")) {
            const bool legacy = key != "stop_events";
            ReadTimes(value, true, legacy ? "stopNotes" : "stop_events", legacy ? "v" : "duration");
        } else if (is("sound_channels") || is("soundChannel")) {
            ReadSoundChannels(value);
        } else if (is("bga")) {
            ReadBga(value);
        } else {
            continue;
        }
        Leave();
    }
    ClearPath();
    if (!hasBpm_) Fail("info has no init_bpm (the tempo at the start)");
    // The older layout counts 240 pulses a beat and has no resolution.
    if (!hasVersion_ || doc_.Resolution == 0) doc_.Resolution = 240;
    // Without an eyecatch picture, the picture behind the play is shown
    // while the chart loads.
    if (doc_.Header.StageFile.empty()) doc_.Header.StageFile = backImage_;
    doc_.Popn = doc_.ModeHint.rfind("popn-", 0) == 0;
    doc_.Header.NineButtons = doc_.Popn;
    if (!headerOnly_ && doc_.Popn && !firstWideLane_.empty())
        throw BmsonError("bmson " + firstWideLane_ + ": lane past 9 in a " + doc_.ModeHint +
                         " chart");
    if (!headerOnly_) doc_.ReaderMemory = TakeMemory();
    return std::move(doc_);
}

} // namespace

BmsonDocument ReadBmsonDocument(std::string_view bytes, bool headerOnly, size_t capacity) {
    static_assert(FileReadSlack >= simdjson::SIMDJSON_PADDING);
    BmsonReader reader(bytes, headerOnly, capacity);
    return reader.Read();
}

} // namespace tappo::standard
