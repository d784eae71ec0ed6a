// The chart search of the select screen: every chart of the reading below the
// songs folders, folder by folder in the order they are named, each once.
#pragma once

#include "chart/Reading.h"
#include "files/FileSearch.h"
#include "select/SongList.h"

#include <string>
#include <vector>

namespace tappo {

class ChartFinder {
  public:
    explicit ChartFinder(std::vector<std::string> songsFolders)
        : folders_(std::move(songsFolders)) {}

    // Makes `songs`' chart list anew, so it never holds a chart twice; its
    // cursor stays on the list, and its generation changes when the list
    // differs from the one before.
    void Search(const ChartReading& reading, SongList& songs);
    // The songs folders, in the order they are searched.
    const std::vector<std::string>& Folders() const { return folders_; }
    // The first songs folder that was not there at the last search; empty when none.
    const std::string& MissingFolder() const { return missing_; }

  private:
    std::vector<std::string> folders_;
    std::string missing_;
    FileSearch search_;
};

} // namespace tappo
