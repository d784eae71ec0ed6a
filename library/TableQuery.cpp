#include "library/TableQuery.h"

#include <algorithm>
#include <map>
#include <simdjson.h>

namespace tappo {
namespace {

// The levels a table's stored level order names (a JSON array of strings).
std::vector<std::string> LevelOrderOf(const std::string& json) {
    std::vector<std::string> levels;
    simdjson::dom::parser parser;
    simdjson::dom::array list;
    if (parser.parse(json).get_array().get(list) != simdjson::SUCCESS) return levels;
    for (const simdjson::dom::element level : list) {
        std::string_view text;
        if (level.get_string().get(text) == simdjson::SUCCESS) levels.emplace_back(text);
    }
    return levels;
}

// The levels of one table in their order: those the level order names
// first, then the others as they first appear among the entries.
void OrderLevels(std::vector<TableLevelRows>& levels, const std::vector<std::string>& order) {
    std::stable_sort(levels.begin(), levels.end(),
                     [&](const TableLevelRows& a, const TableLevelRows& b) {
                         const auto at = [&](const std::string& level) {
                             return std::find(order.begin(), order.end(), level) - order.begin();
                         };
                         return at(a.Level) < at(b.Level);
                     });
}

// One table's levels, its entries in position order.
std::vector<TableLevelRows> LevelsOf(LibraryDatabase& db, int64_t table, bool standard,
                                     const std::string& name, const std::string& symbol) {
    Statement rows(db, "SELECT e.level, e.title, e.artist, e.url, f.path, c.file_name"
                       " FROM table_entry e LEFT JOIN chart c ON c.id = coalesce("
                       "  (SELECT id FROM chart WHERE sha256 = e.sha256 AND reading = ?2"
                       "   AND error IS NULL LIMIT 1),"
                       "  (SELECT id FROM chart WHERE md5 = e.md5 AND reading = ?2"
                       "   AND error IS NULL LIMIT 1))"
                       " LEFT JOIN folder f ON f.id = c.folder_id"
                       " WHERE e.table_id = ?1 ORDER BY e.position");
    rows.Bind(1, table).Bind(2, int64_t(standard ? 1 : 0));
    std::vector<TableLevelRows> levels;
    std::map<std::string, size_t> levelAt;
    while (rows.Step()) {
        const std::string level = rows.Bytes(0);
        const auto [at, added] = levelAt.emplace(level, levels.size());
        if (added) levels.push_back(TableLevelRows{name, symbol, level, {}});
        levels[at->second].Entries.push_back(TableEntryRow{
            rows.Bytes(4) + rows.Bytes(5), rows.Bytes(1), rows.Bytes(2), rows.Bytes(3)});
    }
    return levels;
}

} // namespace

std::vector<TableLevelRows> ReadTableLevels(LibraryDatabase& db, bool standard) {
    Statement tables(db, "SELECT id, name, symbol, level_order FROM difficulty_table ORDER BY id");
    std::vector<TableLevelRows> all;
    while (tables.Step()) {
        std::vector<TableLevelRows> levels =
            LevelsOf(db, tables.Int(0), standard, tables.Bytes(1), tables.Bytes(2));
        OrderLevels(levels, LevelOrderOf(tables.Bytes(3)));
        std::move(levels.begin(), levels.end(), std::back_inserter(all));
    }
    return all;
}

} // namespace tappo
