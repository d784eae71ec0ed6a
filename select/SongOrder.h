// The order and the choice of the charts the select screen walks: a sort by
// what the song database knows of each chart, a filter by key layout and a
// search in the charts' texts. Song folders keep their charts together.
// Pure: the database is read by whoever hands the screen its LibraryView.
#pragma once

#include "select/TableFolders.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tappo {

// What the song database holds of one chart, texts in UTF-8.
struct ChartFacts {
    std::string Title, Subtitle, Artist, Subartist, Genre;
    std::string KeyLayout; // "4", "5K", "7K", "9B", "10K", "14K"; empty when unknown
    int32_t Level = 0;
    double Bpm = 0; // the tempo that holds longest
    int64_t LengthMs = 0, Notes = 0;
    int64_t AddedAt = 0, LastPlayed = 0; // Unix seconds; 0: not known, never played
};
// Charts by path: the database's by PathKey, a list's as the chart search names them.
using ChartFactsByPath = std::unordered_map<std::string, ChartFacts>;
// A chart's path made absolute, without "." and "..", so that a chart found
// below "songs/./x" and below "/home/me/songs/x" is the same chart.
std::string PathKey(const std::string& path);
// The charts of `list` that `known` (by PathKey) holds, by their paths in `list`.
ChartFactsByPath FactsOfList(const std::vector<std::string>& list, const ChartFactsByPath& known);

// What the song database holds for a chart's density graph.
struct ChartGraph {
    std::vector<uint8_t> Density; // notes per second times four, in equal spans of the song
    double BpmMin = 0, BpmMax = 0;
    int64_t LengthMs = 0;
};

// What a scan of the song folders on a helper thread has changed since it
// was last asked, and how far it is.
struct LibraryNews {
    bool Scanning = false;
    int64_t Done = 0, Total = 0;      // charts looked at, of about Total
    ChartFactsByPath Written;         // charts read, by PathKey
    std::vector<std::string> Removed; // charts gone, by PathKey
};

// How the select screen reaches the song database: read once, when a sort,
// filter or search is first asked for, keyed by PathKey. Without it every
// chart is unknown.
struct LibraryView {
    std::function<ChartFactsByPath()> ReadCharts;
    std::function<std::vector<TableFolder>()> ReadTables = {}; // the difficulty tables' folders
    // A chart has started to play: its play is counted; returns the time
    // stored as its last play (Unix seconds), 0 when none was stored.
    std::function<int64_t(const std::string& chartPath)> ChartPlayed;
    // The chart's density graph; none when the database has no row for it.
    std::function<std::optional<ChartGraph>(const std::string& chartPath)> GraphOf;
    // The news of a scan running while the screen is up; none without it.
    std::function<LibraryNews()> TakeNews;
    // Holds the scan (true) while a chart loads and plays, and lets it go on.
    std::function<void(bool)> PauseScan;
};

// The sorts in the order Tab steps through them (Shift+Tab back); Found is
// the order the chart search found them in. The dates sort newest first.
enum class SongSort : uint8_t {
    Found,
    Title,
    Artist,
    Level,
    Bpm,
    Length,
    Notes,
    DateAdded,
    LastPlayed
};
inline constexpr int SongSortCount = 9;
// The key layouts F9 steps through; All shows every chart.
enum class LayoutFilter : uint8_t { All, Arrows, K5, K7, B9, K10, K14 };
inline constexpr int LayoutFilterCount = 7;

const char* SortName(SongSort sort); // "title", ... (translated by the caller)
// The sort a name of SortName stands for, ASCII case folded; none for another name.
std::optional<SongSort> SortNamed(std::string_view name);
const char* LayoutName(LayoutFilter shown); // "all", "4 arrows", "5K", ...

struct ListChoice {
    SongSort Sort = SongSort::Found;
    LayoutFilter Layout = LayoutFilter::All;
    std::string Search; // as typed; empty: no search
    // The levels shown, both ends included; 0: no bound at that end.
    int32_t LevelMin = 0, LevelMax = 0;
    bool LevelFiltered() const { return LevelMin > 0 || LevelMax > 0; }
    bool IsPlain() const {
        return Sort == SongSort::Found && Layout == LayoutFilter::All && Search.empty() &&
               !LevelFiltered();
    }
};

// ASCII letters lowered, every other byte as it is.
std::string FoldForSearch(std::string_view text);

// The charts of `found` (the chart search's order) that the choice keeps, in
// its order. Folders are ordered by their lowest value among their charts,
// ties and charts the database does not know (last) in found order; within a
// folder the found order stays, except by level (lowest first). A chart the
// database does not know is kept only while no filter or search is on.
std::vector<std::string> ArrangeCharts(const std::vector<std::string>& found,
                                       const ChartFactsByPath& facts, const ListChoice& choice);

} // namespace tappo
