// The difficulty tables on the select screen: each level of each table is a
// folder after the song folders, labelled with the table's symbol, the level
// and the table's name ("★12  Insane"). Its entries stand in the chart list
// under names of their own, one folder part per level, so that Left/Right and
// Up/Down walk them as they walk song folders; an entry the library has reads
// and plays its chart, one it lacks is shown dimmed with the table's title,
// artist and download URL and cannot be started.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tappo {

struct TableItem {
    std::string Chart;              // the library's chart; empty when it lacks it
    std::string Title, Artist, Url; // what the table says, UTF-8
};

struct TableFolder {
    std::string Label; // "★12  Insane"; kept to its first 255 bytes
    std::vector<TableItem> Items;
};

class TableFolders {
  public:
    // Where the folders come from; read at the first AppendTo.
    void Use(std::function<std::vector<TableFolder>()> read) {
        read_ = std::move(read);
        folders_.reset();
        items_.clear();
    }
    // Appends every folder's entries to the chart list (after its songs).
    void AppendTo(std::vector<std::string>& list);

    // Whether `listed` is a table entry, not a song folder's chart.
    static bool IsEntry(const std::string& listed);
    // The chart to read, show and play for `listed`: the chart itself, an
    // entry's library chart, or "" for an entry the library lacks.
    std::string ChartOf(const std::string& listed) const;
    // An entry's table data; null for a song folder's chart.
    const TableItem* ItemOf(const std::string& listed) const;
    // Shown in place of an entry's path: its folder's label; null for a chart.
    const std::string* LabelOf(const std::string& listed) const;
    // Reads the folders again, the entries keeping their names in the list,
    // so that they follow a scan: an entry gains the chart the scan found and
    // loses one it dropped. Folders that are no longer the same (a table
    // fetched again meanwhile) are left as they were read. True when an
    // entry's chart changed.
    bool Refresh();
    bool Lacks(const std::string& listed) const {
        const TableItem* item = ItemOf(listed);
        return item && item->Chart.empty();
    }

  private:
    struct Entry {
        size_t Folder = 0, Item = 0;
    };
    std::function<std::vector<TableFolder>()> read_;
    std::optional<std::vector<TableFolder>> folders_;
    std::unordered_map<std::string, Entry> items_; // by the name in the list
};

} // namespace tappo
