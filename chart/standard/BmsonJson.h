// The bmson reader's walk through the JSON (simdjson, on demand, in one
// pass): typed reads that refuse a value of the wrong kind, and the JSON path
// of the value being read, so that every fault names the value and the byte
// where the reader stopped.
#pragma once

#include "base/PageWarmer.h"
#include "chart/standard/Bmson.h"
#include "chart/standard/BmsonDocument.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <simdjson.h>
#include <string>
#include <string_view>

namespace tappo::standard {

namespace sj = simdjson::ondemand;

// The part of `parser` that holds the document's index (where each token
// starts), which simdjson keeps private (see BmsonReader.cpp).
using ParserImplementation = std::unique_ptr<simdjson::internal::dom_parser_implementation>;
ParserImplementation& IndexOwner(sj::parser& parser);

// One step of the JSON path: a key or an array index.
struct PathStep {
    const char* Key = nullptr;
    size_t Index = 0;
};

class BmsonJson {
  public:
    BmsonJson(std::string_view bytes, size_t capacity) {
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
    }

    size_t Size() const { return json_.size(); }
    // The parser's memory (the document's index, twice the document's size)
    // and the copy of the bytes, to be freed where it costs the reader no
    // time; the walk is over.
    std::shared_ptr<void> TakeMemory() {
        struct Memory {
            sj::parser Parser;
            simdjson::padded_string Copy;
        };
        started_ = false; // Fail() no longer looks into the document
        return std::make_shared<Memory>(Memory{std::move(parser_), std::move(copy_)});
    }
    // The document's top object.
    sj::object Top() {
        PageWarmer warmer;
        WarmIndex(warmer);
        Check(parser_.iterate(json_).get(doc_), "JSON");
        warmer.Stop();
        started_ = true;
        sj::object top;
        Check(doc_.get_object().get(top), "an object");
        return top;
    }

    [[noreturn, gnu::cold, gnu::noinline]] void Fail(const std::string& what) {
        const char* at = nullptr;
        size_t offset = 0;
        if (started_ && !doc_.current_location().get(at) && at >= json_.data())
            offset = size_t(at - json_.data());
        else
            offset = json_.size();
        FailAt(what, offset);
    }
    [[noreturn, gnu::cold, gnu::noinline]] void FailAt(const std::string& what, size_t offset) {
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
        // A file cut short is found before the walk starts: its fault is its end.
        if (e == simdjson::INCOMPLETE_ARRAY_OR_OBJECT)
            FailAt("the JSON ends before every object and array is closed", json_.size());
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
    void ClearPath() { depth_ = 0; }
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
    // Whether `v` is an object (then in `o`): false where it is another
    // kind of value.
    bool ObjectOf(sj::value& v, sj::object& o) {
        const simdjson::error_code e = v.get_object().get(o);
        if (e != simdjson::SUCCESS && e != simdjson::INCORRECT_TYPE) [[unlikely]]
            Failed(e, "an object");
        return e == simdjson::SUCCESS;
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
    // Text to be shown (a title, a name): control characters, line breaks
    // among them, become spaces, so that a listing line stays one line.
    std::string ShownText(sj::value& v) {
        std::string s = Text(v);
        std::replace_if(
            s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x20; }, ' ');
        return s;
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
        const std::string fault = PulseFault(v, nullIsZero, u);
        if (!fault.empty()) Fail(fault);
        return u;
    }
    // Why `v` (whose uint64 reading gave `u`, or left it 0) is no pulse (or
    // other count, named by `noun`); "" where it is one after all, then put in
    // `u`. Only the JSON not parsing throws.
    [[gnu::noinline]] std::string PulseFault(sj::value& v, bool nullIsZero, uint64_t& u,
                                             const std::string& noun = "pulse") {
        std::string past = "a " + noun + " past " + std::to_string(MaxBmsonPulse);
        if (u > MaxBmsonPulse) return past;
        if (nullIsZero && IsNull(v)) return u = 0, std::string();
        double d = 0;
        if (const simdjson::error_code e = v.get_double().get(d); e != simdjson::SUCCESS) {
            if (!IsValueFault(e)) Failed(e, "a number");
            return "not a number";
        }
        if (!(d >= 0)) return "a negative " + noun;
        if (!(d <= double(MaxBmsonPulse))) return past;
        if (d != std::floor(d)) return "a " + noun + " that is not a whole number";
        u = uint64_t(d);
        return {};
    }
    // Whether reading a value failed for the value alone (its type, a
    // number out of range), so that the walk may go on past it.
    static bool IsValueFault(simdjson::error_code e) {
        return e == simdjson::INCORRECT_TYPE || e == simdjson::NUMBER_ERROR ||
               e == simdjson::NUMBER_OUT_OF_RANGE;
    }

    template <typename Each> void ForEachElement(sj::value& v, Each each) {
        if (IsNull(v)) return;
        sj::array a = AsArray(v);
        ForEachElementOf(a, each);
    }
    template <typename Each> void ForEachElementOf(sj::array& a, Each each) {
        size_t i = 0;
        for (auto element : a) {
            EnterIndex(i);
            // Used in place: a copy of the value costs more than reading a note.
            Check(element.error(), "a value");
            each(element.value_unsafe(), i);
            Leave();
            ++i;
        }
    }
    template <typename Each> void ForEachField(sj::value& v, Each each) {
        sj::object o = AsObject(v);
        for (auto field : o) {
            Check(field.error(), "a field");
            sj::field& f = field.value_unsafe();
            each(f.key(), f.value());
        }
    }

    // Reads fields `a` (or its other spelling `aAlias`, where not null) and
    // `b` of object `v` with `readA` and `readB`, each with its key on the
    // path; other fields are skipped.
    template <typename ReadA, typename ReadB>
    void ForTwoFields(sj::value& v, const char* a, const char* aAlias, ReadA readA, const char* b,
                      ReadB readB) {
        ForEachField(v, [&](sj::raw_json_string key, sj::value& value) {
            if (key == a || (aAlias && key == aAlias)) {
                Enter(a);
                readA(value);
            } else if (key == b) {
                Enter(b);
                readB(value);
            } else {
                return;
            }
            Leave();
        });
    }

  private:
    // simdjson indexes the whole document before the walk starts, four bytes
    // for each token: about twice the document's size for a bmson chart, in
    // fresh memory written front to back. For a large document a helper
    // thread makes the back of that ready while the index is being written.
    void WarmIndex(PageWarmer& warmer) {
        if (json_.size() < WarmBmsonFrom) return;
        if (parser_.allocate(json_.size()) != simdjson::SUCCESS) return; // iterate() says why
        const ParserImplementation& index = IndexOwner(parser_);
        if (!index || !index->structural_indexes) return;
        // A bmson chart is mostly notes, about one token for every two bytes
        // ({"x":1,"y":240,"l":0,"c":false} is 18 tokens in 33 bytes), so
        // its index takes about twice its size; simdjson allocates four
        // bytes for every byte of the document, so this stays inside. The
        // indexing thread takes the front third's faults itself: by the time
        // it gets past it, the helper, which only makes pages ready, has
        // done the rest.
        const size_t expected = json_.size() * 2;
        warmer.Start({{reinterpret_cast<char*>(index->structural_indexes.get()) + expected / 3,
                       expected - expected / 3}});
    }

    simdjson::padded_string copy_; // the bytes with room past their end, where they had none
    simdjson::padded_string_view json_;
    sj::parser parser_;
    sj::document doc_;
    bool started_ = false;
    std::array<PathStep, 8> path_;
    size_t depth_ = 0;
};

} // namespace tappo::standard
