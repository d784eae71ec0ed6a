#include "chart/standard/Convert.h"
#include "files/Files.h"

#include "base/AsciiCase.h"
#include "chart/FileLookup.h"
#include "chart/ShiftJis.h"
#include "chart/standard/Bmson.h"
#include "chart/standard/BmsonDocument.h"
#include "chart/standard/KeyLayout.h"
#include "chart/standard/Lines.h"
#include "formats/Picture.h"

#include <filesystem>
#include <memory>
#include <random>

namespace tappo::standard {
namespace {

constexpr char Base36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

EventRecord SlotRecord(int64_t time, int slot) {
    EventRecord r;
    r.Time = time;
    r.Id[0] = Base36[slot / 36 % 36];
    r.Id[1] = Base36[slot % 36];
    r.WideSlot = uint16_t(slot);
    return r;
}

// Header values: the chart's own, defaults where it sets none (nothing is
// carried over from the chart before).
void ConvertHeader(const HeaderValues& h, CompiledChart& t) {
    t.Header.Title = h.Title;
    t.Header.Artist = h.Artist;
    t.Header.MidiFileName = h.MidiFileName;
    t.Header.PlayerMode = h.PlayerMode;
    t.GameState.Genre = h.Genre;
    t.GameState.PlayLevel = h.PlayLevel;
    t.GameState.Bpm = h.Bpm;
    t.GameState.BgaBaseImage = 0;
    t.GameState.BgaLayerImage = 0;
    // 128 pixels per four beats, as in the exact reading; in the standard
    // reading the arrows move by beats, so this holds at every tempo.
    t.GameState.ScrollSpeed = 128.0 / (240000.0 / h.Bpm);
    if (!LanePositions(h.PlayerMode, t.GameState.Lane1X, t.GameState.Lane2X))
        LanePositions(h.PlayerMode > 1 ? 2 : 1, t.GameState.Lane1X, t.GameState.Lane2X);
}

// What the select screen shows of a chart beside its title: the same after a
// header scan and after the chart was compiled for play.
void DescribeChart(const Chart& chart, const std::string& path, ChartHeader& header) {
    const HeaderValues& h = chart.Header;
    header.Subtitle = h.Subtitle;
    header.Difficulty =
        h.ChartName.empty() ? DifficultyName(h.Difficulty) : ChartTextToUtf8(h.ChartName);
    header.NoteCount = NoteCount(chart);
    header.KeyLayout = KeyLayoutName(KeyLayoutOf(chart, path));
}

// Measure starts and lengths in song time, for the tables the exact reading
// fills; the arrows and the measure phase use the beats.
void ConvertMeasures(const Chart& s, ChartData& d, BeatScroller& scroll) {
    scroll.MeasureBeat.assign(MeasureCount + 1, 0.0);
    double beat = 0;
    for (int m = 0; m < MeasureCount; ++m) {
        scroll.MeasureBeat[size_t(m)] = beat;
        beat += 4.0 * s.MeasureScale[size_t(m)];
    }
    scroll.MeasureBeat[MeasureCount] = beat;
    BeatTimeline::Cursor cursor(s.Timeline);
    double start = cursor.TimeOfBeat(0);
    for (int m = 0; m < tappo::MeasureCount; ++m) {
        const double next = cursor.TimeOfBeat(scroll.MeasureBeat[size_t(m) + 1]);
        d.MeasureStart[size_t(m)] = start;
        d.MeasureLength[size_t(m)] = next - start;
        start = next;
    }
}

// The objects come in time order (equal times in chart order) and their
// player times never go down, so every list is built in time order and needs
// no sort; at equal times the chart's order stands.
void ConvertObjects(const Chart& s, ChartData& d) {
    EventLists& ev = d.Events;
    size_t sounded = 0, drawn = 0;
    for (const Object& o : s.Objects) {
        sounded += o.Sounded();
        drawn += o.Kind == ObjectKind::Note || o.Kind == ObjectKind::LongStart;
    }
    ev.SoundEvents().reserve(sounded);
    ev.StepTickEvents().reserve(drawn);
    for (const Object& o : s.Objects) {
        if (o.Sounded()) {
            ev.SoundEvents().push_back(SlotRecord(o.Time, o.Slot));
            EventRecord& sound = ev.SoundEvents().back();
            sound.Background = o.Kind == ObjectKind::Background;
            sound.SliceStart = o.SliceStart;
            sound.SliceFrames = o.SliceFrames;
        }
        if (o.Kind == ObjectKind::BgaBase) {
            ev.BgaBaseEvents().push_back(SlotRecord(o.Time, o.Slot));
            d.HasBga = true;
        } else if (o.Kind == ObjectKind::BgaLayer) {
            ev.BgaLayerEvents().push_back(SlotRecord(o.Time, o.Slot));
            d.HasBga = d.HasBgaLayer = true;
        }
        int player = 0, lane = 0;
        if (LaneOf(o, player, lane)) {
            ev.LaneNotes(player, lane).push_back(EventRecord{o.Time, {0, 0}});
            ev.StepTickEvents().push_back(EventRecord{StepTime(o), {0, 0}});
        }
    }
}

} // namespace

CompiledChart ToCompiled(const Chart& source, const std::string& path, bool arrowLanes) {
    CompiledChart t;
    ConvertHeader(source.Header, t);
    DescribeChart(source, path, t.Header);
    t.SongFolder = FolderOfChart(path);
    ChartData& d = t.Data;
    d.SlotLimit = SlotCount;
    for (int i = 1; i < SlotCount; ++i) {
        if (!source.WavFileNames[size_t(i)].empty())
            d.WavFileNames[size_t(i)] = t.SongFolder + source.WavFileNames[size_t(i)];
        if (!source.BmpFileNames[size_t(i)].empty())
            d.BmpFileNames[size_t(i)] = t.SongFolder + source.BmpFileNames[size_t(i)];
    }
    auto scroll = std::make_shared<BeatScroller>();
    scroll->Timeline = source.Timeline;
    ConvertMeasures(source, d, *scroll);
    d.BeatScroll = std::move(scroll);
    ConvertObjects(source, d);
    if (!arrowLanes) d.Keys = BuildKeyLanes(source, KeyLayoutOf(source, path));
    d.LastSoundTime = source.LastSoundTime;
    d.LastObjectMeasure = source.LastObjectMeasure;
    d.KeysoundVolume = source.Header.VolWav;
    return t;
}

// Named as it is shown: a Shift-JIS file name in UTF-8.
ChartFileError::ChartFileError(const std::string& path, const std::string& reason)
    : Error(ChartTextToUtf8(path) + ": " + reason), reason_(reason) {}

Chart CompileFile(const std::string& path, const Options& options, const ChartCarryOver& before) {
    const std::vector<uint8_t> bytes = ReadChartBytes(path, before);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!IsBmsonPath(path)) return Compile(text, options);
    try {
        return CompileBmson(text, false, bytes.capacity());
    } catch (const BmsonError& e) {
        throw CompileError(ChartFileError(path, e.what()).what(),
                           std::make_shared<CompiledChart>(StartOfCompile(before)));
    }
}

void ScanHeader(const std::string& path, const ChartReading& reading, PlaySettings& state,
                ChartHeader& header) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // A bmson chart is read whole, so that one that cannot be played is
    // listed as unreadable with its fault.
    std::unique_ptr<Chart> chart;
    try {
        chart =
            std::make_unique<Chart>(IsBmsonPath(path) ? CompileBmson(text, false, bytes.capacity())
                                                      : Compile(text, reading.Options));
    } catch (const BmsonError& e) {
        throw ChartFileError(path, e.what());
    }
    const HeaderValues& h = chart->Header;
    header.Title = h.Title;
    header.Artist = h.Artist;
    header.MidiFileName = h.MidiFileName;
    header.PlayerMode = h.PlayerMode;
    DescribeChart(*chart, path, header);
    state.Genre = h.Genre;
    state.PlayLevel = h.PlayLevel;
    state.Bpm = h.Bpm;
}

std::string ScanTitle(const std::string& path, const ChartReading& reading) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (IsBmsonPath(path)) return CompileBmson(text, true, bytes.capacity()).Header.Title;
    Chart chart = EmptyChart();
    ReadLines(text, reading.Options, chart, true);
    return chart.Header.Title;
}

Pictures ScanPictures(std::string_view bytes) {
    Pictures out;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line[0] != '#') continue;
        const size_t space = line.find_first_of(" \t");
        if (space == std::string_view::npos) continue;
        const std::string key = AsciiUpper(std::string(line.substr(1, space - 1)));
        std::string_view value = line.substr(space + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (key == "BANNER") out.Banner = value;
        if (key == "STAGEFILE") out.StageFile = value;
        if (key == "PREVIEW") out.Preview = value;
    }
    return out;
}

namespace {

enum class NamedFile { Banner, StageFile, Preview };

std::string NamedChartFile(const std::string& chartPath, NamedFile which) {
    Pictures names;
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(chartPath);
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::string converted;
        if (IsBmsonPath(chartPath)) {
            BmsonDocument doc = ReadBmsonDocument(text, true, bytes.capacity());
            names = Pictures{std::move(doc.Header.Banner), std::move(doc.Header.StageFile),
                             std::move(doc.PreviewMusic)};
        } else {
            names = ScanPictures(ChartText(text, converted));
        }
    } catch (const std::exception&) {
        return {};
    }
    const std::string& name = which == NamedFile::Banner      ? names.Banner
                              : which == NamedFile::StageFile ? names.StageFile
                                                              : names.Preview;
    if (name.empty()) return {};
    // These files are looked for before the chart is played, where only its
    // own folder is known: they stay inside it.
    const std::string folder = FolderOfChart(chartPath);
    std::string path;
    try {
        FileResolver files(folder);
        path = which == NamedFile::Preview ? files.FindWithFallback(folder + name, SoundFallbacks)
                                           : files.Find(folder + name);
    } catch (const std::exception&) {
        return {};
    }
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec) ? path : std::string();
}

} // namespace

std::string BannerFile(const std::string& chartPath) {
    return NamedChartFile(chartPath, NamedFile::Banner);
}
std::string StageFile(const std::string& chartPath) {
    return NamedChartFile(chartPath, NamedFile::StageFile);
}
std::string PreviewFile(const std::string& chartPath) {
    return NamedChartFile(chartPath, NamedFile::Preview);
}

std::vector<std::string> MissingFiles(const Chart& chart, const std::string& chartPath) {
    const std::string folder = FolderOfChart(chartPath);
    FileResolver files(folder); // a chart named on the command line: its own folder
    std::vector<std::string> missing;
    const auto check = [&](const std::string& header, const std::string& name,
                           std::initializer_list<const char*> fallbacks) {
        if (name.empty()) return;
        std::string found;
        try {
            found = files.FindWithFallback(folder + name, fallbacks);
        } catch (const std::exception&) {
            // a folder that cannot be listed holds nothing the player can load
        }
        if (found.empty()) missing.push_back(header + ' ' + ChartTextToUtf8(name));
    };
    for (int i = 1; i < SlotCount; ++i)
        check("WAV" + SlotText(i), chart.WavFileNames[size_t(i)], SoundFallbacks);
    for (int i = 1; i < SlotCount; ++i)
        check("BMP" + SlotText(i), chart.BmpFileNames[size_t(i)], PictureFallbacks);
    check("MIDIFILE", chart.Header.MidiFileName, {});
    check("BANNER", chart.Header.Banner, {});
    check("STAGEFILE", chart.Header.StageFile, {});
    return missing;
}

} // namespace tappo::standard
