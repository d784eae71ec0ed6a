#include "select/SongOrder.h"

#include "chart/FileLookup.h"

#include <algorithm>
#include <filesystem>
#include <optional>

namespace tappo {

const char* SortName(SongSort sort) {
    constexpr const char* Names[SongSortCount] = {"folders", "title", "artist", "level", "BPM",
                                                  "length",  "notes", "added",  "played"};
    return Names[int(sort) % SongSortCount];
}

std::optional<SongSort> SortNamed(std::string_view name) {
    for (int i = 0; i < SongSortCount; ++i)
        if (FoldForSearch(name) == FoldForSearch(SortName(SongSort(i)))) return SongSort(i);
    return std::nullopt;
}

const char* LayoutName(LayoutFilter shown) {
    constexpr const char* Names[LayoutFilterCount] = {"all", "4 arrows", "5K", "7K",
                                                      "9B",  "10K",      "14K"};
    return Names[int(shown) % LayoutFilterCount];
}

std::string PathKey(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

ChartFactsByPath FactsOfList(const std::vector<std::string>& list, const ChartFactsByPath& known) {
    ChartFactsByPath facts;
    if (known.empty()) return facts;
    for (const std::string& path : list)
        if (const auto it = known.find(PathKey(path)); it != known.end()) facts[path] = it->second;
    return facts;
}

std::string FoldForSearch(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return folded;
}

bool MatchesSearch(const ChartFacts& chart, std::string_view folded) {
    // Compared byte by byte, folding as it goes: nothing is made per chart.
    const auto same = [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
    };
    for (const std::string* field :
         {&chart.Title, &chart.Subtitle, &chart.Artist, &chart.Subartist, &chart.Genre})
        if (std::search(field->begin(), field->end(), folded.begin(), folded.end(), same) !=
            field->end())
            return true;
    return folded.empty();
}

namespace {

// A chart's value for a sort: text or a number.
struct SortValue {
    std::string text;
    double number = 0;
    bool operator<(const SortValue& o) const {
        return text != o.text ? text < o.text : number < o.number;
    }
};

SortValue ValueOf(const ChartFacts& chart, SongSort sort) {
    switch (sort) {
    case SongSort::Title:
        return {FoldForSearch(chart.Title)};
    case SongSort::Artist:
        return {FoldForSearch(chart.Artist)};
    case SongSort::Level:
        return {{}, double(chart.Level)};
    case SongSort::Bpm:
        return {{}, chart.Bpm};
    case SongSort::Length:
        return {{}, double(chart.LengthMs)};
    case SongSort::Notes:
        return {{}, double(chart.Notes)};
    // Newest first; a chart never played after every one played.
    case SongSort::DateAdded:
        return {{}, -double(chart.AddedAt)};
    case SongSort::LastPlayed:
        return {{}, -double(chart.LastPlayed)};
    default:
        return {};
    }
}

bool Kept(const ChartFacts* chart, const ListChoice& choice, const std::string& folded) {
    if (choice.Layout == LayoutFilter::All && folded.empty() && !choice.LevelFiltered())
        return true;
    if (!chart) return false;
    if ((choice.LevelMin > 0 && chart->Level < choice.LevelMin) ||
        (choice.LevelMax > 0 && chart->Level > choice.LevelMax))
        return false;
    if (choice.Layout != LayoutFilter::All && chart->KeyLayout != LayoutName(choice.Layout) &&
        !(choice.Layout == LayoutFilter::Arrows && chart->KeyLayout == "4"))
        return false;
    return folded.empty() || MatchesSearch(*chart, folded);
}

struct Folder {
    std::vector<std::string> charts;
    std::optional<SortValue> lowest; // none: no chart of it is known
    size_t found = 0;                // its place in found order
};

} // namespace

std::vector<std::string> ArrangeCharts(const std::vector<std::string>& found,
                                       const ChartFactsByPath& facts, const ListChoice& choice) {
    const std::string folded = FoldForSearch(choice.Search);
    std::vector<Folder> folders;
    std::unordered_map<std::string, size_t> folderIndex;
    for (const std::string& path : found) {
        const auto it = facts.find(path);
        const ChartFacts* chart = it == facts.end() ? nullptr : &it->second;
        if (!Kept(chart, choice, folded)) continue;
        const auto [at, added] = folderIndex.emplace(FolderOfChart(path), folders.size());
        if (added) folders.push_back(Folder{{}, std::nullopt, folders.size()});
        Folder& folder = folders[at->second];
        folder.charts.push_back(path);
        if (chart && choice.Sort != SongSort::Found) {
            SortValue value = ValueOf(*chart, choice.Sort);
            if (!folder.lowest || value < *folder.lowest) folder.lowest = std::move(value);
        }
    }
    std::stable_sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
        if (a.lowest.has_value() != b.lowest.has_value()) return a.lowest.has_value();
        return a.lowest && *a.lowest < *b.lowest;
    });
    std::vector<std::string> list;
    list.reserve(found.size());
    for (Folder& folder : folders) {
        if (choice.Sort == SongSort::Level)
            std::stable_sort(folder.charts.begin(), folder.charts.end(),
                             [&](const std::string& a, const std::string& b) {
                                 const auto fa = facts.find(a), fb = facts.find(b);
                                 if ((fa == facts.end()) != (fb == facts.end()))
                                     return fb == facts.end();
                                 return fa != facts.end() && fa->second.Level < fb->second.Level;
                             });
        list.insert(list.end(), folder.charts.begin(), folder.charts.end());
    }
    return list;
}

} // namespace tappo
