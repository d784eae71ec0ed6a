#include "select/TableFolders.h"

#include "chart/ShiftJis.h"

namespace tappo {
namespace {

// No chart search names a file so: the byte 1 never begins a path it makes.
constexpr char EntryMark[] = "\x01table/";

// The longest label kept, in bytes, as for a chart's path: the screen fits
// it to its width a character at a time.
constexpr size_t MaxLabelBytes = 255;

std::vector<TableFolder> ReadFolders(const std::function<std::vector<TableFolder>()>& read) {
    std::vector<TableFolder> folders = read ? read() : std::vector<TableFolder>();
    for (TableFolder& folder : folders)
        folder.Label = std::string(CutAtCharacter(folder.Label, MaxLabelBytes));
    return folders;
}

} // namespace

void TableFolders::AppendTo(std::vector<std::string>& list) {
    if (!folders_) {
        folders_ = ReadFolders(read_);
        for (size_t f = 0; f < folders_->size(); ++f) {
            const std::vector<TableItem>& items = (*folders_)[f].Items;
            for (size_t i = 0; i < items.size(); ++i)
                items_.emplace(EntryMark + std::to_string(f) + "/" + std::to_string(i),
                               Entry{f, i});
        }
    }
    for (size_t f = 0; f < folders_->size(); ++f)
        for (size_t i = 0; i < (*folders_)[f].Items.size(); ++i)
            list.push_back(EntryMark + std::to_string(f) + "/" + std::to_string(i));
}

bool TableFolders::IsEntry(const std::string& listed) {
    return listed.starts_with(EntryMark);
}

const TableItem* TableFolders::ItemOf(const std::string& listed) const {
    if (!IsEntry(listed)) return nullptr;
    const auto found = items_.find(listed);
    if (found == items_.end()) return nullptr;
    return &(*folders_)[found->second.Folder].Items[found->second.Item];
}

bool TableFolders::Refresh() {
    if (!folders_ || !read_) return false;
    std::vector<TableFolder> fresh = ReadFolders(read_);
    if (fresh.size() != folders_->size()) return false;
    bool changed = false;
    for (size_t f = 0; f < fresh.size(); ++f) {
        const TableFolder &now = fresh[f], &before = (*folders_)[f];
        if (now.Label != before.Label || now.Items.size() != before.Items.size()) return false;
        for (size_t i = 0; i < now.Items.size(); ++i)
            changed = changed || now.Items[i].Chart != before.Items[i].Chart;
    }
    folders_ = std::move(fresh);
    return changed;
}

std::string TableFolders::ChartOf(const std::string& listed) const {
    if (!IsEntry(listed)) return listed;
    const TableItem* item = ItemOf(listed);
    return item ? item->Chart : std::string();
}

const std::string* TableFolders::LabelOf(const std::string& listed) const {
    if (!IsEntry(listed) || !folders_) return nullptr;
    const auto found = items_.find(listed);
    return found == items_.end() ? nullptr : &(*folders_)[found->second.Folder].Label;
}

} // namespace tappo
