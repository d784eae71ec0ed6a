#include "chart/standard/Lines.h"
#include "base/Translate.h"

#include "chart/Convert.h"
#include "chart/ShiftJis.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace tappo::standard {

void AddWarning(Chart& chart, int line, std::string text) {
    if (chart.Warnings.size() < MaxWarnings)
        chart.Warnings.push_back(Warning{line, std::move(text)});
    else if (chart.Warnings.size() == MaxWarnings)
        chart.Warnings.push_back(Warning{0, Tr("further warnings left out")});
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}
bool IsBase36(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A value as a warning quotes it: at most 40 bytes, as UTF-8.
std::string Quote(std::string_view value) {
    std::string q = "'" + Cp932ToUtf8(value.substr(0, 40));
    if (value.size() > 40) q += "...";
    return q + "'";
}

// The #RANDOM/#IF blocks around the current line. Each open block records
// whether its lines are read; blocks nested deeper than MaxNesting are
// only counted, and their lines skipped.
class Flow {
  public:
    Flow(const Options& o) : options_(o), state_(o.Seed) {}

    bool Active() const { return overflow_ == 0 && (frames_.empty() || frames_.back().Active); }

    // Returns false when `key` is not a control-flow command.
    bool Handle(std::string_view key, std::string_view value, int line, Chart& chart);
    // A #RANDOM block may run to the end of the chart; an #IF should not.
    void Finish(Chart& chart) {
        const bool openIf =
            std::any_of(frames_.begin(), frames_.end(), [](const Frame& f) { return !f.IsRandom; });
        if (openIf || overflow_ > 0) AddWarning(chart, 0, Tr("#IF block left open at the end"));
    }

  private:
    struct Frame {
        bool IsRandom = false;
        bool Active = true;
        bool Taken = false; // an #IF: one of its branches was read
        bool OuterActive = true;
        int64_t Value = 0; // the random value its #IFs compare with
    };
    int64_t Draw(int64_t range);
    int64_t CurrentValue() const { return frames_.empty() ? 0 : frames_.back().Value; }
    bool Push(Frame f, int line, Chart& chart);
    void Pop(bool random, int line, Chart& chart);

    const Options& options_;
    uint64_t state_;
    std::vector<Frame> frames_;
    int overflow_ = 0;
};

int64_t Flow::Draw(int64_t range) {
    if (!options_.UseSeed) return std::clamp<int64_t>(options_.FixedRandom, 1, range);
    // splitmix64: the same seed gives the same draws on every machine.
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return 1 + int64_t(z % uint64_t(range));
}

bool Flow::Push(Frame f, int line, Chart& chart) {
    if (overflow_ > 0 || frames_.size() >= size_t(MaxNesting)) {
        if (overflow_++ == 0)
            AddWarning(chart, line, Tr("blocks nested too deep; their lines are skipped"));
        return false;
    }
    frames_.push_back(f);
    return true;
}

void Flow::Pop(bool random, int line, Chart& chart) {
    if (overflow_ > 0) {
        --overflow_;
        return;
    }
    // #ENDRANDOM closes the innermost random block and any #IF left open in it;
    // #ENDIF the innermost #IF and any #RANDOM left open in it.
    auto it = std::find_if(frames_.rbegin(), frames_.rend(),
                           [&](const Frame& f) { return f.IsRandom == random; });
    if (it == frames_.rend())
        return AddWarning(chart, line,
                          random ? "#ENDRANDOM without #RANDOM" : "#ENDIF without #IF");
    frames_.erase(std::next(it).base(), frames_.end());
}

bool Flow::Handle(std::string_view key, std::string_view value, int line, Chart& chart) {
    const bool outer = Active();
    int32_t n = 0;
    const bool number = TryStrToInt(value, n);
    if (key == "RANDOM" || key == "SETRANDOM") {
        if (!number)
            AddWarning(chart, line,
                       "#" + std::string(key) + " value " + Quote(value) +
                           " is not a whole number");
        Frame f{true, outer, false, outer, 0};
        if (outer && number) f.Value = key == "RANDOM" ? (n >= 1 ? Draw(n) : 0) : n;
        // A #RANDOM right after another one's #IFs, with no #ENDRANDOM between,
        // starts the next block rather than one inside it.
        if (overflow_ == 0 && !frames_.empty() && frames_.back().IsRandom)
            frames_.back() = f;
        else
            Push(f, line, chart);
    } else if (key == "IF") {
        if (!number)
            AddWarning(chart, line, "#IF value " + Quote(value) + " is not a whole number");
        const bool hit = outer && number && n == CurrentValue();
        Push(Frame{false, hit, hit, outer, CurrentValue()}, line, chart);
    } else if (key == "ELSEIF" || key == "ELSE") {
        if (overflow_ > 0) return true;
        // A #RANDOM left open inside the branch ends with it.
        auto it = std::find_if(frames_.rbegin(), frames_.rend(),
                               [](const Frame& f) { return !f.IsRandom; });
        if (it == frames_.rend()) {
            AddWarning(chart, line, "#" + std::string(key) + " without #IF");
            return true;
        }
        frames_.erase(it.base(), frames_.end());
        Frame& f = frames_.back();
        const bool hit = f.OuterActive && !f.Taken && (key == "ELSE" || (number && n == f.Value));
        f.Active = hit;
        f.Taken = f.Taken || hit;
    } else if (key == "ENDIF") {
        Pop(false, line, chart);
    } else if (key == "ENDRANDOM") {
        Pop(true, line, chart);
    } else {
        return false;
    }
    return true;
}

struct Reader {
    const standard::Options& Options;
    standard::Chart& Chart;
    std::vector<RawObject> Objects;
    std::vector<bool> UnknownChannelSeen = std::vector<bool>(36 * 36, false);
    bool ObjectsCut = false;

    bool ReadReal(std::string_view value, double& out) const {
        return TryStrToFloat(value, Options.DecimalSeparator, out) ||
               (Options.DecimalSeparator != '.' && TryStrToFloat(value, '.', out));
    }
    void Warn(int line, std::string text) { AddWarning(Chart, line, std::move(text)); }
    void Header(std::string_view key, std::string_view value, int line);
    bool SlotHeader(std::string_view key, std::string_view value, int line);
    void ChannelLine(std::string_view text, int line);
    void ChannelObjects(std::string_view data, uint16_t measure, uint16_t channel, bool hex,
                        int line);
};

bool Reader::SlotHeader(std::string_view key, std::string_view value, int line) {
    size_t prefix = 0;
    for (std::string_view p : {"WAV", "BMP", "BPM", "EXBPM", "STOP"})
        if (key.size() == p.size() + 2 && key.substr(0, p.size()) == p) prefix = p.size();
    if (prefix == 0) return false;
    const int slot = SlotOf(key[prefix], key[prefix + 1]);
    if (slot <= 0) {
        Warn(line,
             "#" + std::string(key) + ": slot " + Quote(key.substr(prefix)) + " is not 01 to ZZ");
        return true;
    }
    const std::string_view name = key.substr(0, prefix);
    if (name == "WAV")
        Chart.WavFileNames[size_t(slot)] = std::string(value);
    else if (name == "BMP")
        Chart.BmpFileNames[size_t(slot)] = std::string(value);
    else {
        const bool tempo = name != "STOP";
        double v = 0;
        if (!ReadReal(value, v) || (tempo ? !(v > 0) : v < 0))
            Warn(line, "#" + std::string(key) + " value " + Quote(value) +
                           (tempo ? " is not a tempo above 0" : " is not a length of 0 or more"));
        else
            (tempo ? Chart.BpmValues : Chart.StopValues)[size_t(slot)] = v;
    }
    return true;
}

void Reader::Header(std::string_view key, std::string_view value, int line) {
    HeaderValues& h = Chart.Header;
    auto integer = [&](int32_t& field) {
        if (!TryStrToInt(value, field))
            Warn(line,
                 "#" + std::string(key) + " value " + Quote(value) + " is not a whole number");
    };
    if (key == "TITLE")
        h.Title = value;
    else if (key == "SUBTITLE")
        h.Subtitle = value;
    else if (key == "ARTIST")
        h.Artist = value;
    else if (key == "GENRE")
        h.Genre = value;
    else if (key == "MIDIFILE")
        h.MidiFileName = value;
    else if (key == "BANNER")
        h.Banner = value;
    else if (key == "STAGEFILE")
        h.StageFile = value;
    else if (key == "PLAYLEVEL")
        integer(h.PlayLevel);
    else if (key == "PLAYER")
        integer(h.PlayerMode);
    else if (key == "DIFFICULTY") {
        int32_t v = 0;
        if (!TryStrToInt(value, v) || v < 1 || v > 5)
            Warn(line, "#DIFFICULTY value " + Quote(value) + " is not 1 to 5");
        else
            h.Difficulty = v;
    } else if (key == "VOLWAV") {
        int32_t v = 0;
        if (!TryStrToInt(value, v) || v < 0 || v > MaxVolWav)
            Warn(line, "#VOLWAV value " + Quote(value) + " is not a percentage from 0 to " +
                           std::to_string(MaxVolWav));
        else
            h.VolWav = v;
    } else if (key == "LNTYPE") {
        integer(h.LnType);
        if (h.LnType != 1) Warn(line, "#LNTYPE " + Quote(value) + " is read as #LNTYPE 1");
    } else if (key == "LNOBJ") {
        const int slot = value.size() == 2 ? SlotOf(value[0], value[1]) : -1;
        if (slot <= 0)
            Warn(line, "#LNOBJ value " + Quote(value) + " is not 01 to ZZ");
        else
            h.LnObj = slot;
    } else if (key == "BPM") {
        double v = 0;
        if (!ReadReal(value, v) || !(v > 0))
            Warn(line, "#BPM value " + Quote(value) + " is not a tempo above 0");
        else
            h.Bpm = v;
    } else {
        SlotHeader(key, value, line); // other keys are not read
    }
}

// "#mmmcc:" then pairs: measure mmm (decimal), channel cc (two base-36 digits).
bool IsChannelLine(std::string_view s) {
    return s.size() >= 7 && s[6] == ':' && IsDigit(s[1]) && IsDigit(s[2]) && IsDigit(s[3]) &&
           IsBase36(s[4]) && IsBase36(s[5]);
}

bool IsKnownChannel(char a, char b) {
    if (a == '0') return b == '1' || (b >= '2' && b <= '4') || (b >= '6' && b <= '9');
    if (a >= '1' && a <= '6') return b >= '1' && b <= '9';
    return (a == 'D' || a == 'E') && b >= '1' && b <= '9';
}

void Reader::ChannelLine(std::string_view text, int line) {
    const uint16_t measure =
        uint16_t((text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0'));
    const char a = Upper(text[4]), b = Upper(text[5]);
    const std::string_view data = Trim(text.substr(7));
    if (a == '0' && b == '2') {
        double v = 0;
        if (!ReadReal(data, v) || !(v > 0) || v > 1000)
            Warn(line, "measure length " + Quote(data) + " is not above 0 and at most 1000");
        else
            Chart.MeasureScale[measure] = v;
        return;
    }
    if (!IsKnownChannel(a, b)) {
        if (!UnknownChannelSeen[ChannelCode(a, b)])
            Warn(line, "channel " + std::string{a, b} + " is not read");
        UnknownChannelSeen[ChannelCode(a, b)] = true;
        return;
    }
    ChannelObjects(data, measure, ChannelCode(a, b), a == '0' && b == '3', line);
}

void Reader::ChannelObjects(std::string_view data, uint16_t measure, uint16_t channel, bool hex,
                            int line) {
    if (data.size() % 2 != 0) {
        Warn(line, Tr("odd number of characters; the last one is left out"));
        data.remove_suffix(1);
    }
    const uint32_t n = uint32_t(data.size() / 2);
    bool badPair = false;
    for (uint32_t k = 0; k < n; ++k) {
        const char x = data[2 * k], y = data[2 * k + 1];
        if (x == '0' && y == '0') continue;
        int slot = SlotOf(x, y);
        if (hex) slot = IsHexDigit(x) && IsHexDigit(y) ? HexValue(x) * 16 + HexValue(y) : -1;
        if (slot < 0) {
            if (!badPair)
                Warn(line, "object " + Quote(data.substr(2 * k, 2)) + " is not an id; left out");
            badPair = true;
            continue;
        }
        if (Objects.size() >= MaxObjects) {
            if (!ObjectsCut) Warn(line, Tr("more than 2,000,000 objects; the rest are left out"));
            ObjectsCut = true;
            return;
        }
        Objects.push_back(RawObject{k, n, uint32_t(line), measure, channel, uint16_t(slot)});
    }
}

// A header line's key, upper case; empty when it is too long to be one we read.
std::string_view KeyOf(std::string_view s, char (&buffer)[16], std::string_view& value) {
    size_t end = 1;
    while (end < s.size() && !IsBlank(s[end]))
        ++end;
    value = Trim(s.substr(end));
    if (end - 1 > sizeof buffer) return {};
    for (size_t i = 1; i < end; ++i)
        buffer[i - 1] = Upper(s[i]);
    return std::string_view(buffer, end - 1);
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string_view ChartText(std::string_view bytes, std::string& converted) {
    if (bytes.size() < 2) return bytes;
    const auto b0 = uint8_t(bytes[0]), b1 = uint8_t(bytes[1]);
    const bool little = b0 == 0xFF && b1 == 0xFE, big = b0 == 0xFE && b1 == 0xFF;
    if (!little && !big) return bytes;
    const size_t units = (bytes.size() - 2) / 2;
    auto unit = [&](size_t i) {
        const auto lo = uint8_t(bytes[2 + 2 * i + (big ? 1 : 0)]);
        const auto hi = uint8_t(bytes[2 + 2 * i + (big ? 0 : 1)]);
        return uint32_t(hi << 8 | lo);
    };
    converted.clear();
    converted.reserve(units * 3 / 2 + 1);
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(converted, c);
    }
    return converted;
}

std::vector<RawObject> ReadLines(std::string_view bytes, const Options& options, Chart& chart,
                                 bool headerOnly) {
    Reader reader{options, chart, {}};
    Flow flow(options);
    // Editors on Windows may save a chart as UTF-16: read as its UTF-8 text.
    std::string converted;
    bytes = ChartText(bytes, converted);
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3); // a UTF-8 byte order mark
    const size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) {
        AddWarning(chart, 0, Tr("the chart text ends at a NUL byte"));
        bytes = bytes.substr(0, nul);
    }
    int lineNumber = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const std::string_view s = Trim(bytes.substr(start, end - start));
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
            bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
        if (lineNumber < INT32_MAX) ++lineNumber; // files past 2 GB of line ends
        if (s.size() < 2 || s[0] != '#') continue;
        if (IsChannelLine(s)) {
            if (flow.Active() && !headerOnly) reader.ChannelLine(s, lineNumber);
            continue;
        }
        if (s.size() >= 4 && IsDigit(s[1]) && IsDigit(s[2]) && IsDigit(s[3])) {
            if (flow.Active() && !headerOnly)
                reader.Warn(lineNumber, Tr("malformed channel line; skipped"));
            continue;
        }
        char buffer[16];
        std::string_view value;
        const std::string_view key = KeyOf(s, buffer, value);
        if (flow.Handle(key, value, lineNumber, chart) || !flow.Active()) continue;
        reader.Header(key, value, lineNumber);
    }
    flow.Finish(chart);
    return std::move(reader.Objects);
}

} // namespace tappo::standard
