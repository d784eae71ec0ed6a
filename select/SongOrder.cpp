#include "select/SongOrder.h"

#include "select/FindingTable.h"

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

std::vector<std::string> ArrangeCharts(const std::vector<std::string>& found,
                                       const ChartFactsByPath& facts, const ListChoice& choice) {
    FindingTable table;
    table.Build(found, facts);
    std::vector<std::string> list;
    for (const uint32_t i : table.Arrange(choice))
        list.push_back(found[i]);
    return list;
}

} // namespace tappo
