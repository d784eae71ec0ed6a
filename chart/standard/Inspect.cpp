#include "chart/EventLists.h"
#include "chart/Listing.h"
#include "chart/ShiftJis.h"
#include "chart/standard/Compiler.h"
#include "chart/standard/KeyLayout.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace tappo::standard {
namespace {

const char* KindName(ObjectKind kind) {
    switch (kind) {
    case ObjectKind::Background:
        return "Background";
    case ObjectKind::Note:
        return "Note";
    case ObjectKind::LongStart:
        return "LongStart";
    case ObjectKind::LongEnd:
        return "LongEnd";
    case ObjectKind::Invisible:
        return "Invisible";
    case ObjectKind::Mine:
        return "Mine";
    case ObjectKind::BgaBase:
        return "BgaBase";
    case ObjectKind::BgaPoor:
        return "BgaPoor";
    case ObjectKind::BgaLayer:
        return "BgaLayer";
    }
    return "?";
}

// One object's line, written straight into the listing: a listing may hold
// millions of them.
void AppendObject(const Object& o, std::string& out) {
    char buffer[1024];
    char* const end = buffer + sizeof buffer;
    char* p = buffer;
    auto text = [&](std::string_view s) { p = std::copy(s.begin(), s.end(), p); };
    text("Object ");
    if (o.Time >= 0 && o.Time < 10'000'000) {
        char digits[8];
        const char* d = std::to_chars(digits, digits + 8, o.Time).ptr;
        p = std::fill_n(p, 7 - (d - digits), '0');
        p = std::copy(static_cast<const char*>(digits), d, p);
    } else {
        text(FormatTime(o.Time));
    }
    *p++ = ' ';
    p = std::to_chars(p, end, o.TimeMs, std::chars_format::fixed, 3).ptr;
    *p++ = ' ';
    p = std::to_chars(p, end, o.Beat, std::chars_format::general, 15).ptr;
    *p++ = ' ';
    p = std::to_chars(p, end, o.Measure).ptr;
    *p++ = ' ';
    *p++ = o.Channel[0];
    *p++ = o.Channel[1];
    *p++ = ' ';
    text(SlotText(o.Slot));
    *p++ = ' ';
    text(KindName(o.Kind));
    // A bmson sound's slice: its start and length in mix frames.
    if (o.SliceStart != 0 || o.SliceFrames != WholeSound) {
        text(" slice ");
        p = std::to_chars(p, end, o.SliceStart).ptr;
        *p++ = ' ';
        if (o.SliceFrames == WholeSound)
            text("end");
        else
            p = std::to_chars(p, end, o.SliceFrames).ptr;
    }
    *p++ = '\n';
    out.append(buffer, p);
}

// Measures up to the last one holding an object: start time, start beat, beats.
void ListMeasures(const Chart& chart, std::string& out) {
    double beat = 0;
    for (int m = 0; m <= chart.LastObjectMeasure; ++m) {
        const double beats = 4.0 * chart.MeasureScale[size_t(m)];
        out += "Measure " + std::to_string(m) + ' ' +
               ListingMillis(chart.Timeline.TimeOfBeat(beat)) + ' ' + ListingNumber(beat) + ' ' +
               ListingNumber(beats) + '\n';
        beat += beats;
    }
}

void ListTimeline(const Chart& chart, std::string& out) {
    const std::vector<TimingPoint>& points = chart.Timeline.Points();
    for (size_t i = 0; i < points.size(); ++i) {
        const TimingPoint& p = points[i];
        if (i == 0 || p.Bpm != points[i - 1].Bpm)
            out += "Tempo " + ListingNumber(p.Beat) + ' ' + ListingMillis(p.TimeMs) + ' ' +
                   ListingNumber(p.Bpm) + '\n';
        if (p.StopMs > 0)
            out += "Stop " + ListingNumber(p.Beat) + ' ' + ListingMillis(p.TimeMs) + ' ' +
                   ListingMillis(p.StopMs) + '\n';
    }
}

} // namespace

std::string InspectListing(const Chart& chart, std::string_view path,
                           const std::vector<std::string>& missing) {
    std::string out;
    out.reserve(1024 + chart.Objects.size() * 64);
    const HeaderValues& h = chart.Header;
    auto line = [&](const char* name, const std::string& value) {
        AppendListingLine(out, name, value);
    };
    AppendListingHeader(
        {h.Title, h.Artist, h.Genre, h.PlayLevel, h.Bpm, h.PlayerMode, h.MidiFileName}, out);
    if (!h.Subtitle.empty()) line("Subtitle", ChartTextToUtf8(h.Subtitle));
    for (const std::string& name : h.Subartists)
        line("Subartist", ChartTextToUtf8(name));
    if (!h.ChartName.empty())
        line("Difficulty", ChartTextToUtf8(h.ChartName));
    else if (h.Difficulty)
        line("Difficulty", DifficultyName(h.Difficulty));
    line("Banner", ChartTextToUtf8(h.Banner));
    line("StageFile", ChartTextToUtf8(h.StageFile));
    if (h.VolWav != 100) line("VolWav", std::to_string(h.VolWav));
    out += "Mode standard\n";
    line("KeyLayout", std::string(KeyLayoutName(KeyLayoutOf(chart, path))));
    for (const Warning& w : chart.Warnings)
        line("Warning", std::to_string(w.Line) + ' ' + w.Text);
    for (const std::string& file : missing)
        line("Missing", file);
    ListMeasures(chart, out);
    ListTimeline(chart, out);
    // Object <time> <exact ms> <beat> <measure> <channel> <id> <kind>
    for (const Object& o : chart.Objects)
        AppendObject(o, out);
    line("LastSoundTime", std::to_string(chart.LastSoundTime));
    return out;
}

} // namespace tappo::standard
