#include "chart/standard/Bmson.h"
#include "chart/standard/BmsonDocument.h"
#include "chart/standard/BmsonJson.h"
#include "chart/standard/Lines.h"
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
    // A top-level field; true when it was read (and its path entered).
    bool ReadTopField(sj::raw_json_string key, sj::value& value);
    void ReadInfo(sj::value& v);
    void ReadLines(sj::value& v);
    // The header's defaults and what follows from the fields read.
    void CompleteHeader();
    void ReadTimes(sj::value& v, bool stops, const char* list, const char* valueKey);
    // Everything the reader keeps counts against MaxObjects.
    void CountObject(size_t more = 1) {
        objects_ += more;
        if (objects_ > MaxObjects) [[unlikely]]
            Fail("more than " + std::to_string(MaxObjects) + " notes and events");
    }
    void ReadSoundChannels(sj::value& v);
    void ReadNote(sj::value& note, uint16_t channel);
    // A note's pulse field into `out`; false, with the fault counted as
    // `kind`, where it is no pulse.
    [[gnu::always_inline]] bool NotePulse(sj::value& v, bool nullIsZero, uint64_t& out, int kind) {
        uint64_t u = 0;
        const simdjson::error_code e = v.get_uint64().get(u);
        if (e == simdjson::SUCCESS && u <= MaxBmsonPulse) [[likely]] {
            out = u;
            return true;
        }
        return OtherNotePulse(v, nullIsZero, e == simdjson::SUCCESS ? u : 0, out, kind);
    }
    [[gnu::noinline]] bool OtherNotePulse(sj::value& v, bool nullIsZero, uint64_t u, uint64_t& out,
                                          int kind);

    // What in the sound channels does not read: each kind is counted, and
    // told once, at the first place it was met.
    enum FaultKind {
        NoteNotObject,
        NoteLane,
        NoteY,
        NoteLength,
        NoteRestart,
        ChannelNotObject,
        ChannelName,
        ChannelNotes,
        ChannelPastLimit,
        FaultKinds
    };
    struct FaultCount {
        std::string First; // path: why
        size_t Count = 0;
    };
    [[gnu::cold, gnu::noinline]] void Fault(int kind, const std::string& why) {
        FaultCount& f = faults_[size_t(kind)];
        if (f.Count++ == 0) f.First = Path() + ": " + why;
    }
    void WarnFaults();
    void ReadBga(sj::value& v);
    void ReadBgaEvents(sj::value& v, Placed::Type type, const char* list);

    bool headerOnly_;

    bool hasVersion_ = false, hasBpm_ = false;
    std::string backImage_;
    BmsonDocument doc_;
    size_t objects_ = 0;
    std::array<FaultCount, FaultKinds> faults_;
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
    ForEachElement(v, [&](sj::value& entry, size_t) {
        sj::object fields;
        // Channels are numbered in the order read, over every sound channel
        // array the file holds; one that is not an object keeps its number and
        // plays nothing, so the ones after it keep theirs.
        if (doc_.SoundNames.size() >= MaxBmsonSoundChannels) {
            Fault(ChannelPastLimit, "past the " + std::to_string(MaxBmsonSoundChannels) +
                                        " sound channels a chart may have");
            return;
        }
        doc_.SoundNames.emplace_back();
        const auto channel = uint16_t(doc_.SoundNames.size());
        if (!ObjectOf(entry, fields)) return Fault(ChannelNotObject, "not an object");
        for (auto field : fields) {
            Check(field.error(), "a field");
            sj::field& f = field.value_unsafe();
            const sj::raw_json_string key = f.key();
            sj::value& value = f.value();
            if (key == "name") {
                Enter("name");
                std::string_view name;
                if (!IsNull(value) && value.get_string().get(name) != simdjson::SUCCESS)
                    Fault(ChannelName, "not a string");
                doc_.SoundNames.back() = std::string(name);
                Leave();
            } else if (key == "notes") {
                Enter("notes");
                sj::array notes;
                if (IsNull(value)) {
                } else if (value.get_array().get(notes) != simdjson::SUCCESS) {
                    Fault(ChannelNotes, "not an array");
                } else {
                    ForEachElementOf(notes,
                                     [&](sj::value& note, size_t) { ReadNote(note, channel); });
                }
                Leave();
            }
        }
    });
}

// A note of sound channel `channel` - 1.
void BmsonReader::ReadNote(sj::value& note, uint16_t channel) {
    sj::object fields;
    if (!ObjectOf(note, fields)) [[unlikely]]
        return Fault(NoteNotObject, "not an object");
    Placed p;
    p.Slot = channel;
    uint64_t length = 0;
    bool readable = true;
    for (auto field : fields) {
        Check(field.error(), "a field");
        sj::field& f = field.value_unsafe();
        const sj::raw_json_string k = f.key();
        sj::value& n = f.value();
        if (k == "x") {
            Enter("x");
            uint64_t x = 0;
            readable = NotePulse(n, true, x, NoteLane) && readable;
            // Lanes past the key layout sound as background notes.
            p.X = uint8_t(x <= 16 ? x : 0);
        } else if (k == "y") {
            Enter("y");
            uint64_t y = 0;
            readable = NotePulse(n, false, y, NoteY) && readable;
            p.Y = y;
        } else if (k == "l") {
            Enter("l");
            if (!NotePulse(n, true, length, NoteLength)) length = 0;
        } else if (k == "c") {
            Enter("c");
            bool c = false;
            if (n.get_bool().get(c) != simdjson::SUCCESS && !IsNull(n))
                Fault(NoteRestart, "not true or false");
            p.Continue = c;
        } else {
            continue;
        }
        Leave();
    }
    if (!readable) return;
    if (length > 0 && p.X > 0 && p.Y + length > MaxBmsonPulse) [[unlikely]] {
        Enter("l");
        Fault(NoteLength, "a long note past pulse " + std::to_string(MaxBmsonPulse));
        Leave();
        length = 0;
    }
    const bool isLong = length > 0 && p.X > 0;
    CountObject(isLong ? 2 : 1);
    if (isLong) p.What = Placed::LongStart;
    doc_.Notes.push_back(p);
    if (isLong) {
        Placed end = p;
        end.Y = p.Y + length;
        end.What = Placed::LongEnd;
        doc_.Notes.push_back(end);
    }
}

bool BmsonReader::OtherNotePulse(sj::value& v, bool nullIsZero, uint64_t u, uint64_t& out,
                                 int kind) {
    const std::string why = PulseFault(v, nullIsZero, u, kind == NoteLane ? "lane" : "pulse");
    if (!why.empty()) {
        Fault(kind, why);
        return false;
    }
    out = u;
    return true;
}

// One warning a kind: "sound_channels[3].notes[17].l: a negative pulse;
// played as a plain note (5 notes with an l that does not read)".
void BmsonReader::WarnFaults() {
    struct Told {
        const char *done, *one, *many, *kind;
    };
    static constexpr std::array<Told, FaultKinds> Tell = {{
        {"left out", "note", "notes", "that is not an object"},
        {"left out", "note", "notes", "with an x that does not read"},
        {"left out", "note", "notes", "with a y that does not read"},
        {"played as a plain note", "note", "notes", "with an l that does not read"},
        {"restarts its sound", "note", "notes", "with a c that is not true or false"},
        {"left out", "sound channel", "sound channels", "that is not an object"},
        {"its notes play without a sound", "sound channel", "sound channels",
         "with a name that is not a string"},
        {"left without notes", "sound channel", "sound channels",
         "with notes that are not an array"},
        {"left out", "sound channel", "sound channels", "past the limit"},
    }};
    for (size_t k = 0; k < faults_.size(); ++k) {
        const FaultCount& f = faults_[k];
        if (f.Count == 0) continue;
        doc_.Warnings.push_back(f.First + "; " + Tell[k].done + " (" + std::to_string(f.Count) +
                                ' ' + (f.Count == 1 ? Tell[k].one : Tell[k].many) + ' ' +
                                Tell[k].kind + ")");
    }
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
            // Both spellings fill one list of pictures: the bound is the list's.
            ForEachElement(value, [&](sj::value& e, size_t) {
                if (doc_.PictureIds.size() + 1 >= size_t(SlotCount))
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

void BmsonReader::ReadLines(sj::value& v) {
    ForEachElement(v, [&](sj::value& e, size_t) {
        ForEachField(e, [&](sj::raw_json_string k, sj::value& n) {
            if (k != "y") return;
            Enter("y");
            CountObject();
            doc_.Lines.push_back(Pulse(n));
            Leave();
        });
    });
}

bool BmsonReader::ReadTopField(sj::raw_json_string key, sj::value& value) {
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
        return false;
    } else if (is("lines")) {
        ReadLines(value);
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
        return false;
    }
    return true;
}

void BmsonReader::CompleteHeader() {
    if (!hasBpm_) Fail("info has no init_bpm (the tempo at the start)");
    // The older layout counts 240 pulses a beat and has no resolution.
    if (!hasVersion_ || doc_.Resolution == 0) doc_.Resolution = 240;
    // Without an eyecatch picture, the picture behind the play is shown
    // while the chart loads.
    if (doc_.Header.StageFile.empty()) doc_.Header.StageFile = backImage_;
    doc_.Popn = doc_.ModeHint.rfind("popn-", 0) == 0;
    doc_.Header.NineButtons = doc_.Popn;
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
        if (ReadTopField(key, f.value())) Leave();
    }
    ClearPath();
    CompleteHeader();
    WarnFaults();
    if (!headerOnly_) doc_.ReaderMemory = TakeMemory();
    return std::move(doc_);
}

// A chart saved as UTF-16 as its UTF-8 text in `converted`; any other as it
// is. Without a byte-order mark UTF-16 shows in its first character, which in
// JSON is ASCII: one of its two bytes is 0.
std::string_view Utf8Json(std::string_view bytes, std::string& converted) {
    if (bytes.size() < 2) return bytes;
    const bool little = bytes[0] != 0 && bytes[1] == 0, big = bytes[0] == 0 && bytes[1] != 0;
    if (!little && !big) return ChartText(bytes, converted);
    std::string marked = little ? "\xFF\xFE" : "\xFE\xFF";
    marked += bytes;
    ChartText(marked, converted);
    return converted;
}

} // namespace

BmsonDocument ReadBmsonDocument(std::string_view bytes, bool headerOnly, size_t capacity) {
    static_assert(FileReadSlack >= simdjson::SIMDJSON_PADDING);
    std::string converted;
    const std::string_view text = Utf8Json(bytes, converted);
    BmsonReader reader(text, headerOnly, text.data() == bytes.data() ? capacity : 0);
    return reader.Read();
}

} // namespace tappo::standard
