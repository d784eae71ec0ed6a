#include "library/TableQuery.h"

#include <algorithm>
#include <map>
#include <simdjson.h>
#include <string_view>
#include <unordered_map>

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
// first, then the others as they first appear among the entries. Each level's
// place is looked up once, so a table of many levels orders in n log n.
void OrderLevels(std::vector<TableLevelRows>& levels, const std::vector<std::string>& order) {
    std::unordered_map<std::string_view, size_t> named;
    for (size_t i = 0; i < order.size(); ++i)
        named.emplace(order[i], i);
    std::vector<std::pair<size_t, size_t>> places; // (place in the order, index in `levels`)
    for (size_t i = 0; i < levels.size(); ++i) {
        const auto it = named.find(levels[i].Level);
        places.emplace_back(it == named.end() ? order.size() : it->second, i);
    }
    std::stable_sort(places.begin(), places.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TableLevelRows> ordered;
    ordered.reserve(levels.size());
    for (const auto& place : places)
        ordered.push_back(std::move(levels[place.second]));
    levels = std::move(ordered);
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
