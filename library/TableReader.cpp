#include "library/TableReader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <simdjson.h>

namespace tappo {
namespace {

namespace dom = simdjson::dom;

// Warnings kept word for word; the rest are only counted.
constexpr size_t MaxWarningsKept = 10;
// The longest text an entry keeps (a title, a URL); a longer one is cut.
constexpr size_t MaxFieldBytes = 4096;

char Lower(char c) {
    return char(std::tolower(static_cast<unsigned char>(c)));
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool StartsWithFolded(std::string_view text, size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (Lower(text[at + i]) != word[i]) return false;
    return true;
}

// The HTML character references a URL may hold: the named ones of
// markup (&amp; &quot; &apos; &lt; &gt;) and numeric ones below 128.
std::string DecodeReferences(std::string_view text) {
    static constexpr std::pair<std::string_view, char> Named[] = {
        {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        bool decoded = false;
        for (const auto& [name, c] : Named)
            if (StartsWithFolded(text, i, name)) {
                out += c, i += name.size() - 1, decoded = true;
                break;
            }
        if (!decoded && i + 2 < text.size() && text[i + 1] == '#') {
            const bool hex = Lower(text[i + 2]) == 'x';
            const size_t from = i + 2 + (hex ? 1 : 0), semi = text.find(';', from);
            unsigned code = 0;
            if (semi != std::string_view::npos && semi > from && semi - from <= 6) {
                const auto [end, ec] =
                    std::from_chars(text.data() + from, text.data() + semi, code, hex ? 16 : 10);
                if (ec == std::errc() && end == text.data() + semi && code > 0 && code < 128)
                    out += char(code), i = semi, decoded = true;
            }
        }
        if (!decoded) out += '&';
    }
    return out;
}

// The attributes of the tag whose name ends at `at`; returns where the tag ends.
size_t ReadAttributes(std::string_view html, size_t at,
                      std::vector<std::pair<std::string, std::string_view>>& attributes) {
    while (at < html.size()) {
        while (at < html.size() && (IsSpace(html[at]) || html[at] == '/'))
            ++at;
        if (at >= html.size() || html[at] == '>') break;
        const size_t nameStart = at;
        while (at < html.size() && !IsSpace(html[at]) && html[at] != '=' && html[at] != '>' &&
               html[at] != '/')
            ++at;
        std::string name(html.substr(nameStart, at - nameStart));
        std::transform(name.begin(), name.end(), name.begin(), Lower);
        while (at < html.size() && IsSpace(html[at]))
            ++at;
        std::string_view value;
        if (at < html.size() && html[at] == '=') {
            ++at;
            while (at < html.size() && IsSpace(html[at]))
                ++at;
            if (at < html.size() && (html[at] == '"' || html[at] == '\'')) {
                const size_t close = html.find(html[at], at + 1);
                const size_t end = close == std::string_view::npos ? html.size() : close;
                value = html.substr(at + 1, end - at - 1);
                at = end + 1;
            } else {
                const size_t valueStart = at;
                while (at < html.size() && !IsSpace(html[at]) && html[at] != '>')
                    ++at;
                value = html.substr(valueStart, at - valueStart);
            }
        }
        if (name.empty())
            ++at; // a stray byte such as a quote
        else
            attributes.emplace_back(std::move(name), value);
    }
    return at;
}

std::string Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// The scheme's end ("https:" -> 5), or npos when `url` has no scheme.
size_t SchemeEnd(const std::string& url) {
    if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return std::string::npos;
    for (size_t i = 1; i < url.size(); ++i) {
        const char c = url[i];
        if (c == ':') return i;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return std::string::npos;
    }
    return std::string::npos;
}

// "a/b/../c/./d" -> "a/c/d", for the path part of a resolved URL.
std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    const bool rooted = !path.empty() && path[0] == '/';
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        const bool last = end == path.size();
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            if (last) parts.emplace_back();
        } else if (part == ".") {
            if (last) parts.emplace_back();
        } else if (!(part.empty() && start == 0 && rooted)) {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = rooted ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
    return out;
}

[[noreturn]] void Refuse(const char* what, simdjson::error_code e) {
    throw TableError(std::string(what) + ": " + simdjson::error_message(e));
}

dom::element Parse(dom::parser& parser, std::string_view json, const char* what) {
    if (json.size() > MaxTableDocumentBytes)
        throw TableError(std::string(what) + ": larger than " +
                         std::to_string(MaxTableDocumentBytes >> 20) + " MB");
    if (json.starts_with("\xEF\xBB\xBF")) json.remove_prefix(3);
    dom::element top;
    if (const auto e = parser.parse(json.data(), json.size(), true).get(top); e) Refuse(what, e);
    return top;
}

// A value as text: a string as it is (control characters made spaces, cut
// at MaxFieldBytes), a number written shortest; none for another kind.
std::optional<std::string> TextOf(dom::element value) {
    std::string_view s;
    if (value.get_string().get(s) == simdjson::SUCCESS) {
        std::string text(s.substr(0, MaxFieldBytes));
        std::replace_if(
            text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x20; }, ' ');
        return text;
    }
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
    if (value.get_int64().get(i) == simdjson::SUCCESS) return std::to_string(i);
    if (value.get_uint64().get(u) == simdjson::SUCCESS) return std::to_string(u);
    if (value.get_double().get(d) == simdjson::SUCCESS) {
        char buffer[32];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
        return std::string(buffer, ec == std::errc() ? end : buffer);
    }
    return std::nullopt;
}

// A hash of `digits` hex digits, lowered; "" when absent; none when malformed.
std::optional<std::string> HashOf(dom::element value, size_t digits) {
    if (value.is_null()) return std::string();
    std::string_view s;
    if (value.get_string().get(s) != simdjson::SUCCESS) return std::nullopt;
    if (s.empty()) return std::string();
    if (s.size() != digits || !std::all_of(s.begin(), s.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return std::nullopt;
    std::string hash(s);
    std::transform(hash.begin(), hash.end(), hash.begin(), Lower);
    return hash;
}

// One entry of the data; an error text when it is left out.
std::string ReadEntry(dom::element value, TableEntry& entry) {
    dom::object fields;
    if (value.get_object().get(fields) != simdjson::SUCCESS) return "not an object";
    bool hasLevel = false;
    for (const auto field : fields) {
        const std::string_view key = field.key;
        std::string* text = key == "level"      ? &entry.Level
                            : key == "title"    ? &entry.Title
                            : key == "artist"   ? &entry.Artist
                            : key == "url"      ? &entry.Url
                            : key == "url_diff" ? &entry.UrlDiff
                                                : nullptr;
        if (text) {
            if (field.value.is_null()) continue;
            std::optional<std::string> read = TextOf(field.value);
            if (!read) return std::string(key) + " is not a string or number";
            *text = std::move(*read);
            hasLevel = hasLevel || key == "level";
        } else if (key == "md5" || key == "sha256") {
            const std::optional<std::string> hash = HashOf(field.value, key == "md5" ? 32 : 64);
            if (!hash) return std::string(key) + " is not a hex digest";
            (key == "md5" ? entry.Md5 : entry.Sha256) = *hash;
        }
    }
    if (!hasLevel) return "no level";
    if (entry.Md5.empty() && entry.Sha256.empty()) return "neither md5 nor sha256";
    return "";
}

void Warn(TableData& data, std::string text) {
    ++data.Skipped;
    if (data.Warnings.size() < MaxWarningsKept) data.Warnings.push_back(std::move(text));
}

} // namespace

bool LooksLikeJson(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    const auto first = std::find_if_not(bytes.begin(), bytes.end(), IsSpace);
    return first != bytes.end() && *first == '{';
}

std::optional<std::string> FindTableMeta(std::string_view html) {
    size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        ++at;
        if (!StartsWithFolded(html, at, "meta") || at + 4 >= html.size() ||
            !(IsSpace(html[at + 4]) || html[at + 4] == '/'))
            continue;
        std::vector<std::pair<std::string, std::string_view>> attributes;
        at = ReadAttributes(html, at + 4, attributes);
        std::optional<std::string_view> name, content;
        for (const auto& [key, value] : attributes) {
            if (key == "name" && !name) name = value;
            if (key == "content" && !content) content = value;
        }
        if (name && content && Trimmed(*name).size() == 8 &&
            StartsWithFolded(Trimmed(*name), 0, "bmstable"))
            return Trimmed(DecodeReferences(*content));
    }
    return std::nullopt;
}

std::string ResolveTableUrl(const std::string& base, const std::string& reference) {
    if (reference.empty()) return base;
    if (SchemeEnd(reference) != std::string::npos) return reference;
    const size_t scheme = SchemeEnd(base);
    if (scheme == std::string::npos) {
        // A file path: beside the base file, unless the reference is rooted.
        if (reference[0] == '/') return reference;
        const size_t slash = base.rfind('/');
        return slash == std::string::npos ? reference : base.substr(0, slash + 1) + reference;
    }
    if (reference.starts_with("//")) return base.substr(0, scheme + 1) + reference;
    // The authority: from "//" to the next "/", "?" or "#".
    size_t pathStart = scheme + 1;
    if (base.compare(pathStart, 2, "//") == 0)
        pathStart = std::min(base.find_first_of("/?#", pathStart + 2), base.size());
    const std::string origin = base.substr(0, pathStart);
    const size_t pathEnd = std::min(base.find_first_of("?#", pathStart), base.size());
    const std::string path = base.substr(pathStart, pathEnd - pathStart);
    if (reference[0] == '?') return origin + path + reference;
    if (reference[0] == '#') return base.substr(0, pathEnd) + reference;
    const size_t queryAt = std::min(reference.find_first_of("?#"), reference.size());
    const std::string refPath = reference.substr(0, queryAt), rest = reference.substr(queryAt);
    if (refPath[0] == '/') return origin + RemoveDotSegments(refPath) + rest;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "/" : path.substr(0, slash + 1);
    return origin + RemoveDotSegments(folder + refPath) + rest;
}

TableHeader ReadTableHeader(std::string_view json, const std::string& url) {
    dom::parser parser;
    const dom::element top = Parse(parser, json, "the header");
    dom::object fields;
    if (top.get_object().get(fields) != simdjson::SUCCESS)
        throw TableError("the header is not a JSON object");
    TableHeader header;
    for (const auto field : fields) {
        const std::string_view key = field.key;
        if (key == "name" || key == "symbol") {
            std::optional<std::string> text = TextOf(field.value);
            if (!text && !field.value.is_null())
                throw TableError("the header's " + std::string(key) + " is not a string");
            (key == "name" ? header.Name : header.Symbol) = text.value_or("");
        } else if (key == "data_url") {
            std::string_view one;
            dom::array list;
            if (field.value.get_string().get(one) == simdjson::SUCCESS) {
                header.DataUrls.push_back(ResolveTableUrl(url, Trimmed(one)));
            } else if (field.value.get_array().get(list) == simdjson::SUCCESS) {
                for (const dom::element item : list)
                    if (item.get_string().get(one) == simdjson::SUCCESS && !one.empty())
                        header.DataUrls.push_back(ResolveTableUrl(url, Trimmed(one)));
            } else {
                throw TableError("the header's data_url is not a string or a list of strings");
            }
        } else if (key == "level_order") {
            dom::array list;
            if (field.value.get_array().get(list) != simdjson::SUCCESS) continue;
            for (const dom::element item : list)
                if (std::optional<std::string> level = TextOf(item))
                    header.LevelOrder.push_back(std::move(*level));
        }
    }
    if (Trimmed(header.Name).empty()) throw TableError("the header has no name");
    if (header.DataUrls.empty()) throw TableError("the header has no data_url");
    if (header.DataUrls.size() > MaxTableDataUrls)
        throw TableError("the header names more than " + std::to_string(MaxTableDataUrls) +
                         " data URLs");
    return header;
}

void ReadTableData(std::string_view json, TableData& data) {
    dom::parser parser;
    const dom::element top = Parse(parser, json, "the table's data");
    dom::array entries;
    if (top.get_array().get(entries) != simdjson::SUCCESS)
        throw TableError("the table's data is not a JSON array");
    size_t index = 0;
    for (const dom::element value : entries) {
        if (data.Entries.size() >= MaxTableEntries) {
            Warn(data, "more than " + std::to_string(MaxTableEntries) + " entries");
            data.Skipped += entries.size() - index - 1;
            break;
        }
        TableEntry entry;
        const std::string fault = ReadEntry(value, entry);
        if (fault.empty())
            data.Entries.push_back(std::move(entry));
        else
            Warn(data, "entry " + std::to_string(index) + ": " + fault);
        ++index;
    }
}

} // namespace tappo
