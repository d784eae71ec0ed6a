#include "select/FindingTable.h"

#include "chart/FileLookup.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace tappo {
namespace {

constexpr uint32_t NoRank = std::numeric_limits<uint32_t>::max();

// The value a sort orders a chart by: a text or a number, as SongOrder's sorts.
struct SortKey {
    std::string text;
    double number = 0;
    bool operator<(const SortKey& o) const {
        return text != o.text ? text < o.text : number < o.number;
    }
};

SortKey KeyOf(const ChartFacts& chart, SongSort sort) {
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
    case SongSort::DateAdded:
        return {{}, -double(chart.AddedAt)};
    case SongSort::LastPlayed:
        return {{}, -double(chart.LastPlayed)};
    default:
        return {};
    }
}

// The filter a chart's key layout answers to; All for none of them.
LayoutFilter LayoutOf(const std::string& keyLayout) {
    if (keyLayout == "4") return LayoutFilter::Arrows;
    for (int i = 1; i < LayoutFilterCount; ++i)
        if (keyLayout == LayoutName(LayoutFilter(i))) return LayoutFilter(i);
    return LayoutFilter::All;
}

} // namespace

void FindingTable::Build(const std::vector<std::string>& found, const ChartFactsByPath& facts) {
    facts_.assign(found.size(), nullptr);
    layout_.assign(found.size(), LayoutFilter::All);
    folder_.assign(found.size(), 0);
    text_.clear();
    textStart_.assign(1, 0);
    ranks_.assign(SongSortCount, {});
    searches_.clear();
    std::unordered_map<std::string, uint32_t> folders;
    for (size_t i = 0; i < found.size(); ++i) {
        const std::string& path = found[i];
        folder_[i] = folders.emplace(FolderOfChart(path), uint32_t(folders.size())).first->second;
        if (const auto it = facts.find(path); it != facts.end()) {
            const ChartFacts& f = it->second;
            facts_[i] = &f;
            layout_[i] = LayoutOf(f.KeyLayout);
            for (const std::string* field :
                 {&f.Title, &f.Subtitle, &f.Artist, &f.Subartist, &f.Genre})
                text_.append(FoldForSearch(*field)).push_back('\x1F');
        }
        textStart_.push_back(uint32_t(text_.size()));
    }
    folderCount_ = uint32_t(folders.size());
}

const std::vector<uint32_t>& FindingTable::Ranks(SongSort sort) {
    std::vector<uint32_t>& ranks = ranks_[size_t(sort)];
    if (!ranks.empty() || facts_.empty()) return ranks;
    std::vector<std::pair<SortKey, uint32_t>> keyed;
    for (uint32_t i = 0; i < facts_.size(); ++i)
        if (facts_[i]) keyed.emplace_back(KeyOf(*facts_[i], sort), i);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    ranks.assign(facts_.size(), NoRank);
    // Equal values share a rank, so that ties fall to found order.
    uint32_t rank = 0;
    for (size_t k = 0; k < keyed.size(); ++k) {
        if (k > 0 && keyed[k - 1].first < keyed[k].first) ++rank;
        ranks[keyed[k].second] = rank;
    }
    return ranks;
}

const std::vector<uint32_t>& FindingTable::SearchHits(const std::string& folded) {
    // Back to the longest search made that the new text still begins with.
    while (!searches_.empty() && !folded.starts_with(searches_.back().first))
        searches_.pop_back();
    if (!searches_.empty() && searches_.back().first == folded) return searches_.back().second;
    std::vector<uint32_t> hits;
    const auto look = [&](uint32_t i) {
        const char* begin = text_.data() + textStart_[i];
        const size_t size = textStart_[i + 1] - textStart_[i];
        if (size && memmem(begin, size, folded.data(), folded.size())) hits.push_back(i);
    };
    // A longer text matches only where the shorter one did.
    if (searches_.empty())
        for (uint32_t i = 0; i < facts_.size(); ++i)
            look(i);
    else
        for (const uint32_t i : searches_.back().second)
            look(i);
    searches_.emplace_back(folded, std::move(hits));
    return searches_.back().second;
}

bool FindingTable::Kept(uint32_t chart, const ListChoice& choice) const {
    const ChartFacts* f = facts_[chart];
    if (!f) return false;
    if (choice.Layout != LayoutFilter::All && layout_[chart] != choice.Layout) return false;
    return !(choice.LevelMin > 0 && f->Level < choice.LevelMin) &&
           !(choice.LevelMax > 0 && f->Level > choice.LevelMax);
}

std::vector<uint32_t> FindingTable::Arrange(const ListChoice& choice) {
    const std::string folded = FoldForSearch(choice.Search);
    std::vector<uint32_t> kept;
    if (!folded.empty()) {
        for (const uint32_t i : SearchHits(folded))
            if (Kept(i, choice)) kept.push_back(i);
    } else if (choice.Layout == LayoutFilter::All && !choice.LevelFiltered()) {
        kept.resize(facts_.size());
        std::iota(kept.begin(), kept.end(), 0u);
    } else {
        for (uint32_t i = 0; i < facts_.size(); ++i)
            if (Kept(i, choice)) kept.push_back(i);
    }
    // Folders in the order their first kept chart was found, each with its
    // lowest rank (NoRank: none of its charts is known).
    const std::vector<uint32_t>* ranks =
        choice.Sort == SongSort::Found ? nullptr : &Ranks(choice.Sort);
    std::vector<uint32_t> place(folderCount_, NoRank), lowest, count;
    for (const uint32_t i : kept) {
        uint32_t& at = place[folder_[i]];
        if (at == NoRank)
            at = uint32_t(lowest.size()), lowest.push_back(NoRank), count.push_back(0);
        ++count[at];
        if (ranks) lowest[at] = std::min(lowest[at], (*ranks)[i]);
    }
    std::vector<uint32_t> order(lowest.size());
    std::iota(order.begin(), order.end(), 0u);
    if (ranks)
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return lowest[a] < lowest[b]; });
    // Each folder's charts in found order, placed where its folder stands.
    std::vector<uint32_t> offset(lowest.size());
    for (size_t k = 0, at = 0; k < order.size(); ++k)
        offset[order[k]] = uint32_t(at), at += count[order[k]];
    std::vector<uint32_t> list(kept.size());
    for (const uint32_t i : kept)
        list[offset[place[folder_[i]]]++] = i;
    if (choice.Sort == SongSort::Level) {
        // By level a folder's charts go lowest first too.
        for (size_t k = 0, at = 0; k < order.size(); at += count[order[k]], ++k)
            std::stable_sort(list.begin() + long(at), list.begin() + long(at + count[order[k]]),
                             [&](uint32_t a, uint32_t b) {
                                 if (!facts_[a] || !facts_[b]) return facts_[a] && !facts_[b];
                                 return facts_[a]->Level < facts_[b]->Level;
                             });
    }
    return list;
}

} // namespace tappo
