// The select screen following a scan of the song folders that runs while it
// is up: the charts it reads and drops join and leave the list as its
// batches land, the cursor staying on its chart, and its progress is shown.
#include "select/SelectScreen.h"

#include "base/Translate.h"

#include <algorithm>
#include <unordered_set>

namespace tappo {

namespace {

// The news is taken at most this often: each look may arrange the list again.
constexpr uint32_t NewsIntervalMs = 250;

} // namespace

std::string CountText(int64_t count) {
    std::string digits = std::to_string(count < 0 ? 0 : count), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

void SelectScreen::FollowScan() {
    if (!library_.TakeNews || songs_.ChartList.empty()) return;
    // Back on the select screen: a scan held for play goes on.
    if (library_.PauseScan) library_.PauseScan(false);
    if (newsTaken_ && Now() - newsAt_ < NewsIntervalMs) return;
    newsTaken_ = true;
    newsAt_ = Now();
    LibraryNews news = library_.TakeNews();
    scanning_ = news.Scanning;
    scanDone_ = news.Done;
    // The charts listed are what a scan of these folders looks at; the
    // database's count stands in where it holds more.
    TakeFoundList();
    const auto listed = std::count_if(found_.begin(), found_.end(), [](const std::string& path) {
        return !TableFolders::IsEntry(path); // a table's entry is no chart file
    });
    scanTotal_ = std::max({news.Total, news.Done, int64_t(listed)});
    if (!news.Written.empty() || !news.Removed.empty()) {
        scanChanged_ = true;
        ApplyNews(news);
    }
    if (!scanning_ && scanChanged_) FollowTables();
}

void SelectScreen::FollowTables() {
    // Once, when the scan is over: the tables are read again as a whole.
    scanChanged_ = false;
    if (!tables_.Refresh()) return;
    graphRead_ = false;
    // An entry shown gains (or loses) its chart's header and banner.
    if (TableFolders::IsEntry(songs_.Selected())) ShowMovedTo(songs_.ChartIndex, true, false, true);
}

void SelectScreen::ApplyNews(LibraryNews& news) {
    graphRead_ = false; // the chart under the cursor may have a row now
    TakeFoundList();
    if (listedFor_ != arrangedAs_) {
        listed_.clear();
        for (const std::string& path : found_)
            listed_.emplace(PathKey(path), path);
        listedFor_ = arrangedAs_;
    }
    bool membership = false;
    std::unordered_set<std::string> gone; // as listed
    for (const std::string& key : news.Removed) {
        if (const auto it = listed_.find(key); it != listed_.end()) {
            gone.insert(it->second);
            foundFacts_.erase(it->second);
            listed_.erase(it);
        }
        if (charts_) charts_->erase(key);
    }
    if (!gone.empty()) {
        std::erase_if(found_, [&](const std::string& path) { return gone.contains(path); });
        membership = true;
    }
    std::vector<std::string> joining;
    for (auto& [key, facts] : news.Written) {
        auto [at, added] = listed_.emplace(key, key);
        // A new chart joins the list; its folder's charts stay together in
        // every order, as the list is arranged by folder.
        if (added) joining.push_back(key);
        if (charts_) {
            auto [known, fresh] = charts_->emplace(key, facts);
            if (!fresh) {
                // The dates are the database's; a batch does not carry them.
                if (facts.AddedAt == 0) facts.AddedAt = known->second.AddedAt;
                facts.LastPlayed = known->second.LastPlayed;
                known->second = facts;
            }
        }
        if (foundFactsRead_) foundFacts_[at->second] = facts;
    }
    if (!joining.empty()) {
        // With the song folders' charts, before the difficulty tables' entries.
        std::sort(joining.begin(), joining.end());
        found_.insert(std::find_if(found_.begin(), found_.end(), TableFolders::IsEntry),
                      joining.begin(), joining.end());
        membership = true;
    }
    tableStale_ = true;
    if (membership || (charts_ && !choice_.IsPlain())) Arrange();
}

void SelectScreen::DrawScanProgress(SurfaceCanvas& canvas, int& y) {
    if (!scanning_) return;
    canvas.Font.Color = 0xFFFFFF;
    canvas.WriteText(10, y,
                     FormatText(Tr("Scanning the song folders: %s / %s"), CountText(scanDone_),
                                CountText(scanTotal_)));
    y += canvas.Font.Size + 2;
}

} // namespace tappo
