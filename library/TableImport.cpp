#include "library/TableImport.h"

#include "base/Translate.h"
#include "library/TableReader.h"

#include <ctime>

namespace tappo {
namespace {

// The header and data behind `source`, every fault naming the URL it met.
struct FetchedTable {
    TableHeader Header;
    TableData Data;
};

TableHeader ReadHeaderAt(const FetchedDocument& document) {
    try {
        return ReadTableHeader(document.Bytes, document.Url);
    } catch (const TableError& e) {
        throw TableError(document.Url + ": " + e.what());
    }
}

FetchedTable FetchTable(const std::string& source, const TableFetcher& fetchAny) {
    // A table from the web names no files on this computer: its header and
    // data are fetched over HTTP(S) too.
    const auto fetch = [&](const std::string& url) {
        if (IsWebUrl(source) && !IsWebUrl(url))
            throw TableError(url + ": " +
                             Tr("a table from the web may name only http and "
                                "https addresses"));
        return fetchAny(url);
    };
    FetchedDocument page = fetchAny(source);
    FetchedTable table;
    if (LooksLikeJson(page.Bytes)) {
        table.Header = ReadHeaderAt(page);
    } else {
        const std::optional<std::string> header = FindTableMeta(page.Bytes);
        if (!header || header->empty())
            throw TableError(page.Url + ": " +
                             Tr("neither a table's header JSON nor a page with a "
                                "<meta name=\"bmstable\"> tag"));
        // Relative to where the page was found, after any redirect.
        const std::string headerUrl = ResolveTableUrl(page.Url, *header);
        page = {}; // the page's bytes are done with
        table.Header = ReadHeaderAt(fetch(headerUrl));
    }
    for (const std::string& url : table.Header.DataUrls) {
        const FetchedDocument data = fetch(url);
        try {
            ReadTableData(data.Bytes, table.Data);
        } catch (const TableError& e) {
            throw TableError(data.Url + ": " + e.what());
        }
    }
    return table;
}

// The level order as a JSON array of strings, for the sqlite3 tool's json_each.
std::string LevelOrderJson(const std::vector<std::string>& levels) {
    std::string json = "[";
    for (const std::string& level : levels) {
        json += json.size() > 1 ? ",\"" : "\"";
        for (const char c : level) {
            if (c == '"' || c == '\\') json += '\\';
            json += c;
        }
        json += '"';
    }
    return json + "]";
}

// Lower-case hex digits as bytes ("" stays empty: NULL in the row).
std::string HexBytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

int64_t StoreHeader(LibraryDatabase& db, const std::string& source, const TableHeader& header) {
    Statement upsert(db, "INSERT INTO difficulty_table(url, name, symbol, level_order, fetched_at)"
                         " VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(url) DO UPDATE SET"
                         " name = ?2, symbol = ?3, level_order = ?4, fetched_at = ?5");
    upsert.BindText(1, source).BindText(2, header.Name).BindText(3, header.Symbol);
    upsert.BindText(4, LevelOrderJson(header.LevelOrder)).Bind(5, int64_t(std::time(nullptr)));
    upsert.Run();
    Statement id(db, "SELECT id FROM difficulty_table WHERE url = ?1");
    id.BindText(1, source);
    if (!id.Step()) throw LibraryError("the table's row is missing", false);
    return id.Int(0);
}

void StoreEntries(LibraryDatabase& db, int64_t table, const std::vector<TableEntry>& entries) {
    Statement clear(db, "DELETE FROM table_entry WHERE table_id = ?1");
    clear.Bind(1, table).Run();
    Statement insert(
        db, "INSERT INTO table_entry(table_id, position, level, md5, sha256, title,"
            " artist, url, url_diff) VALUES(?1, ?2, coalesce(?3, ''), ?4, ?5, ?6, ?7, ?8, ?9)");
    int64_t position = 0;
    for (const TableEntry& e : entries) {
        const std::string md5 = HexBytes(e.Md5), sha256 = HexBytes(e.Sha256);
        insert.Bind(1, table).Bind(2, position++);
        insert.BindText(3, e.Level);
        insert.BindBlob(4, md5.data(), md5.size()).BindBlob(5, sha256.data(), sha256.size());
        insert.BindText(6, e.Title).BindText(7, e.Artist).BindText(8, e.Url);
        insert.BindText(9, e.UrlDiff).Run();
    }
}

size_t CountInLibrary(LibraryDatabase& db, int64_t table) {
    Statement count(db, "SELECT count(*) FROM table_entry e WHERE e.table_id = ?1 AND"
                        " (EXISTS(SELECT 1 FROM chart c WHERE c.sha256 = e.sha256) OR"
                        " EXISTS(SELECT 1 FROM chart c WHERE c.md5 = e.md5))");
    count.Bind(1, table);
    return count.Step() ? size_t(count.Int(0)) : 0;
}

} // namespace

ImportedTable ImportTable(LibraryDatabase& db, const std::string& source,
                          const TableFetcher& fetch) {
    const FetchedTable table = FetchTable(source, fetch);
    ImportedTable imported{table.Header.Name, table.Data.Entries.size(), 0, table.Data.Skipped,
                           table.Data.Warnings};
    Transaction transaction(db);
    const int64_t id = StoreHeader(db, source, table.Header);
    StoreEntries(db, id, table.Data.Entries);
    transaction.Commit();
    imported.InLibrary = CountInLibrary(db, id);
    return imported;
}

std::vector<std::string> StoredTableSources(LibraryDatabase& db) {
    Statement rows(db, "SELECT url FROM difficulty_table ORDER BY id");
    std::vector<std::string> sources;
    while (rows.Step())
        sources.push_back(rows.Bytes(0));
    return sources;
}

} // namespace tappo
