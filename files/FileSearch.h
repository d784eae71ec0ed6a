// File search: every file matching a name pattern in a folder, or in the whole
// tree below it, folder by folder in breadth-first order. Within a folder,
// names are taken in case-insensitive order so lists are the same on every run.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tappo {

struct FoundFile {
    std::string FileName; // the entry's own name
    bool IsDirectory = false;
};

class FileSearch {
  public:
    std::string Directory;  // made absolute when the search runs
    std::string SearchName; // wildcards * and ?, case-insensitive; empty: every entry
    bool Recursive = false;
    // Called with the full absolute path (folder + "/" + name) of each file or
    // folder that matches (FIFOs, sockets and devices are never reported);
    // returns true to go on, false to stop the search.
    std::function<bool(const std::string& path, const FoundFile& file)> OnFound;

    // True when the search ran to its end; false when stopped, without a
    // handler, or when called from inside a handler.
    bool Search();

    // The folders a search visits, base first, then breadth-first.
    std::vector<std::string> FolderList() const;

  private:
    bool running_ = false;
};

// Wildcard match of a file name, without regard to ASCII letter case.
bool MatchesWildcard(const std::string& name, const std::string& pattern);
// Case-insensitive order of names, then byte order to break ties.
bool NameLess(const std::string& a, const std::string& b);

} // namespace tappo
