// The select screen's table for sorting, filtering and searching one chart
// list: made once per list (each chart's folder, its facts and its texts
// folded for search in one buffer), so that a key press costs one pass over
// plain numbers. A search that grows by a character looks only at the
// charts the shorter one kept; one that shrinks takes the hits it had.
#pragma once

#include "select/SongOrder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tappo {

class FindingTable {
  public:
    // `found` in the chart search's order; `facts` by the paths in `found`.
    void Build(const std::vector<std::string>& found, const ChartFactsByPath& facts);
    // The indexes into `found` that the choice keeps, in its order (see ArrangeCharts).
    std::vector<uint32_t> Arrange(const ListChoice& choice);
    size_t Size() const { return facts_.size(); }

  private:
    std::vector<const ChartFacts*> facts_; // null: the database does not know the chart
    std::vector<LayoutFilter> layout_;     // each chart's key layout
    std::vector<uint32_t> folder_;         // folders numbered in found order
    uint32_t folderCount_ = 0;
    std::string text_;                // each chart's five fields, folded, joined by 0x1F
    std::vector<uint32_t> textStart_; // chart i's text is [textStart_[i], textStart_[i + 1])
    std::vector<std::vector<uint32_t>> ranks_; // by sort: each chart's place in its order
    // Searches made, each narrowing the one before: the folded text and its hits.
    std::vector<std::pair<std::string, std::vector<uint32_t>>> searches_;

    const std::vector<uint32_t>& SearchHits(const std::string& folded);
    const std::vector<uint32_t>& Ranks(SongSort sort);
    bool Kept(uint32_t chart, const ListChoice& choice) const;
};

} // namespace tappo
