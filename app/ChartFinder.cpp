#include "app/ChartFinder.h"

#include <algorithm>
#include <filesystem>

namespace tappo {

void ChartFinder::Search(const ChartReading& reading, SongList& songs) {
    const std::vector<std::string> before = std::move(songs.ChartList);
    songs.ChartList.clear();
    // A folder named like a chart cannot be played: only files go on the list.
    search_.Recursive = true;
    search_.OnFound = [&](const std::string& path, const FoundFile& file) {
        if (!file.IsDirectory && reading.IsChartFile(path)) songs.ChartList.push_back(path);
        return true;
    };
    // A songs folder that is not there is the user's mistake, not an empty
    // library: the first one missing is named.
    missing_.clear();
    std::vector<std::filesystem::path> searched;
    for (const std::string& folder : folders_) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            if (missing_.empty()) missing_ = folder;
            continue;
        }
        // A folder named twice is searched once.
        const std::filesystem::path same = std::filesystem::weakly_canonical(folder, ec);
        if (std::find(searched.begin(), searched.end(), same) != searched.end()) continue;
        searched.push_back(same);
        // The standard reading's charts have four extensions: every file is
        // looked at, in the same order.
        search_.Directory = folder;
        search_.SearchName = reading.SearchPattern();
        search_.Search();
    }
    search_.OnFound = nullptr;
    if (songs.ChartIndex >= int32_t(songs.ChartList.size())) songs.ChartIndex = 0;
    if (songs.ChartList != before) ++songs.Generation;
}

} // namespace tappo
