// The difficulty table reader: the bytes of a table's HTML page, its header
// JSON and its data JSON, as the BMS community publishes them. Pure: no file
// or network is touched here (TableFetch brings the bytes). A document that
// does not parse, or lacks what a table needs, is refused with TableError; an
// entry of the wrong kind is left out and counted, so one bad line of a table
// of thousands does not lose the rest.
#pragma once

#include "base/Errors.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tappo {

// The largest document read (page, header or data), and the most entries a
// table holds (all its data documents together).
inline constexpr size_t MaxTableDocumentBytes = size_t(32) << 20;
inline constexpr size_t MaxTableEntries = 200000;
// The most data documents a header may name (tables name one or two).
inline constexpr size_t MaxTableDataUrls = 16;

class TableError : public Error {
  public:
    using Error::Error;
};

struct TableHeader {
    std::string Name, Symbol;
    std::vector<std::string> DataUrls;   // resolved against the header's own URL
    std::vector<std::string> LevelOrder; // empty: levels in the order they first appear
};

// One chart of a table. Hashes are lower-case hex (32 and 64 digits), empty
// where the entry gives none; at least one of them is there.
struct TableEntry {
    std::string Level;
    std::string Md5, Sha256;
    std::string Title, Artist, Url, UrlDiff;
};

struct TableData {
    std::vector<TableEntry> Entries;
    size_t Skipped = 0;                // entries left out for a value of the wrong kind
    std::vector<std::string> Warnings; // the first few of them, naming the entry
};

// Whether the document is JSON itself (its first non-blank byte, after a
// byte-order mark, opens an object) rather than an HTML page.
bool LooksLikeJson(std::string_view bytes);

// The content of the page's `<meta name="bmstable" content="...">` (the
// attributes in any order and letter case, quoted either way or not at all,
// character references decoded); none when the page has no such tag.
std::optional<std::string> FindTableMeta(std::string_view html);

// `reference` read against `base` (a URL, or a file path when it has no
// scheme): an absolute URL as it is, "//host/x", "/x", "x", "../x", "?q".
std::string ResolveTableUrl(const std::string& base, const std::string& reference);

// The header JSON, found at `url` (which its data URLs are resolved against).
// Throws TableError when it does not parse or lacks a name or data URL.
TableHeader ReadTableHeader(std::string_view json, const std::string& url);

// The data JSON's entries, appended to `data`; entries past MaxTableEntries
// are left out and counted. Throws TableError when it does not parse or is
// not an array.
void ReadTableData(std::string_view json, TableData& data);

} // namespace tappo
