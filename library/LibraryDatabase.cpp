#include "library/LibraryDatabase.h"

#include "base/Translate.h"
#include "files/StateFolder.h"

#include <sqlite3.h>

#include <filesystem>
#include <vector>

namespace tappo {
namespace {

constexpr int BusyTimeoutMs = 2000;

bool IsDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

[[noreturn]] void Fail(sqlite3* db, int code) {
    throw LibraryError(db ? sqlite3_errmsg(db) : sqlite3_errstr(code), IsDamage(code));
}

void Exec(sqlite3* db, const char* sql) {
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) Fail(db, code);
}

int64_t IntOf(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (code != SQLITE_OK) Fail(db, code);
    code = sqlite3_step(statement);
    const int64_t value = code == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
    sqlite3_finalize(statement);
    if (code != SQLITE_ROW && code != SQLITE_DONE) Fail(db, code);
    return value;
}

// Each step takes the schema from the version before it to its own version,
// in one transaction. Steps are only ever added: a file of any older version
// is brought up step by step. When what a chart's row is made of changes,
// LibraryScan's reader version is raised with the step, so that rows of an
// older reader are read again on the next scan.
struct SchemaStep {
    int Version;
    std::vector<const char*> Statements;
};

const SchemaStep SchemaSteps[] = {
    {1,
     {
         "CREATE TABLE meta(key TEXT PRIMARY KEY, value)",
         "INSERT INTO meta(key, value) VALUES('scan_count', 0)",
         "CREATE TABLE root(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE)",
         "CREATE TABLE folder(id INTEGER PRIMARY KEY,"
         " root_id INTEGER NOT NULL REFERENCES root(id) ON DELETE CASCADE,"
         " path BLOB NOT NULL UNIQUE, walk_order INTEGER NOT NULL, banner BLOB,"
         " seen_scan INTEGER NOT NULL DEFAULT 0)",
         "CREATE INDEX folder_walk ON folder(root_id, walk_order)",
         "CREATE TABLE chart(id INTEGER PRIMARY KEY,"
         " folder_id INTEGER NOT NULL REFERENCES folder(id) ON DELETE CASCADE,"
         " file_name BLOB NOT NULL, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL,"
         " md5 BLOB, sha256 BLOB, reading INTEGER NOT NULL, reader_version INTEGER NOT NULL,"
         " error TEXT, title TEXT, subtitle TEXT, artist TEXT, subartist TEXT, genre TEXT,"
         " level INTEGER, difficulty INTEGER, key_layout TEXT, player_mode INTEGER,"
         " notes INTEGER, long_notes INTEGER, bpm_min REAL, bpm_max REAL, bpm_main REAL,"
         " length_ms INTEGER, banner BLOB, stage_file BLOB, preview BLOB, density BLOB,"
         " UNIQUE(folder_id, file_name))",
         "CREATE INDEX chart_md5 ON chart(md5)",
         "CREATE INDEX chart_sha256 ON chart(sha256)",
         "CREATE INDEX chart_layout_level ON chart(key_layout, level)",
         "CREATE TABLE chart_stats(sha256 BLOB PRIMARY KEY, md5 BLOB,"
         " added_at INTEGER NOT NULL, last_played INTEGER,"
         " times_played INTEGER NOT NULL DEFAULT 0)",
     }},
    {2,
     {
         // Difficulty tables: one row per table (`url` is where it was added
         // from), its entries in the table's own order.
         "CREATE TABLE difficulty_table(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE,"
         " name TEXT NOT NULL, symbol TEXT, level_order TEXT, fetched_at INTEGER NOT NULL)",
         "CREATE TABLE table_entry("
         " table_id INTEGER NOT NULL REFERENCES difficulty_table(id) ON DELETE CASCADE,"
         " position INTEGER NOT NULL, level TEXT NOT NULL, md5 BLOB, sha256 BLOB, title TEXT,"
         " artist TEXT, url TEXT, url_diff TEXT, PRIMARY KEY(table_id, position))",
         "CREATE INDEX table_entry_md5 ON table_entry(md5)",
         "CREATE INDEX table_entry_sha256 ON table_entry(sha256)",
     }},
};

} // namespace

std::string DefaultLibraryPath() {
    const std::string data = UserFolder("XDG_DATA_HOME", ".local/share");
    return data.empty() ? std::string() : data + "library.db";
}

LibraryDatabase::LibraryDatabase(const std::string& path) : path_(path) {
    if (path.empty() || path == ":memory:") {
        OpenInMemory("");
        return;
    }
    if (!OpenFile(path)) return;
    std::string failed = Upgrade();
    if (failed.empty()) {
        // Only a file of this player's schema is switched to write-ahead logging.
        try {
            Exec(db_, "PRAGMA journal_mode=WAL");
            Exec(db_, "PRAGMA synchronous=NORMAL");
            Exec(db_, "PRAGMA foreign_keys=ON");
            return;
        } catch (const LibraryError& e) {
            failed = e.what();
        }
    }
    OpenInMemory(FormatText(Tr("the song database %s could not be upgraded (%s)"), path, failed));
}

LibraryDatabase::~LibraryDatabase() {
    if (!db_) return;
    sqlite3_exec(db_, "PRAGMA optimize", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
}

// Looks at the file before anything is written to it: a file that is not a
// database, is damaged where the schema lies, or was written by a newer
// player is left exactly as it is. Returns false when the run went to memory.
bool LibraryDatabase::OpenFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    int code =
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        OpenInMemory(FormatText(Tr("the song database %s cannot be opened (%s)"), path, why));
        return false;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    try {
        const int64_t version = IntOf(db_, "PRAGMA user_version");
        IntOf(db_, "SELECT count(*) FROM sqlite_schema");
        if (version > LibrarySchemaVersion) {
            OpenInMemory(FormatText(
                Tr("the song database %s was written by a newer player; it is left as it is"),
                path));
            return false;
        }
    } catch (const LibraryError& e) {
        OpenInMemory(
            FormatText(e.Damaged() ? Tr("the song database %s is damaged (%s); it is left as it is")
                                   : Tr("the song database %s cannot be read (%s)"),
                       path, e.what()));
        return false;
    }
    return true;
}

// The fallback: a fresh database in memory with the current schema.
void LibraryDatabase::OpenInMemory(const std::string& why) {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    inMemory_ = true;
    if (!why.empty()) notice_ = why + Tr("; this run uses a song database in memory");
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw LibraryError("out of memory", false);
    sqlite3_extended_result_codes(db_, 1);
    Exec(db_, "PRAGMA foreign_keys=ON");
    const std::string failed = Upgrade();
    if (!failed.empty()) throw LibraryError(failed, false);
}

// Runs the steps above the file's version; returns the error of a step that
// failed (rolled back, the file as it was), empty when the schema is current.
std::string LibraryDatabase::Upgrade() {
    try {
        int64_t version = IntOf(db_, "PRAGMA user_version");
        for (const SchemaStep& step : SchemaSteps) {
            if (step.Version <= version) continue;
            Exec(db_, "BEGIN IMMEDIATE");
            try {
                // Another player may have upgraded the file meanwhile.
                if (IntOf(db_, "PRAGMA user_version") >= step.Version) {
                    Exec(db_, "COMMIT");
                    continue;
                }
                for (const char* sql : step.Statements)
                    Exec(db_, sql);
                Exec(db_, ("PRAGMA user_version=" + std::to_string(step.Version)).c_str());
                Exec(db_, "COMMIT");
            } catch (const LibraryError&) {
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
                throw;
            }
            version = step.Version;
        }
    } catch (const LibraryError& e) {
        return e.what();
    }
    return "";
}

void LibraryDatabase::Execute(const char* sql) {
    Exec(db_, sql);
}

int64_t LibraryDatabase::LastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

int64_t LibraryDatabase::Changes() const {
    return sqlite3_changes64(db_);
}

Statement::Statement(LibraryDatabase& db, const char* sql) : db_(db) {
    const int code =
        sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
    if (code != SQLITE_OK) Fail(db.Handle(), code);
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
}

Statement& Statement::Bind(int index, double value) {
    sqlite3_bind_double(statement_, index, value);
    return *this;
}

Statement& Statement::BindText(int index, std::string_view text) {
    if (text.empty()) return BindNull(index);
    sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t size) {
    if (size == 0) return BindNull(index);
    sqlite3_bind_blob64(statement_, index, data, size, SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindNull(int index) {
    sqlite3_bind_null(statement_, index);
    return *this;
}

bool Statement::Step() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    const LibraryError error(sqlite3_errmsg(db_.Handle()), IsDamage(code));
    sqlite3_reset(statement_);
    throw error;
}

void Statement::Run() {
    while (Step()) {
    }
    Reset();
}

void Statement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

bool Statement::IsNull(int column) {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int64_t Statement::Int(int column) {
    return sqlite3_column_int64(statement_, column);
}

double Statement::Real(int column) {
    return sqlite3_column_double(statement_, column);
}

std::string Statement::Bytes(int column) {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? std::string(static_cast<const char*>(data), size_t(size)) : std::string();
}

Transaction::Transaction(LibraryDatabase& db) : db_(db) {
    db_.Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
    db_.Execute("COMMIT");
    open_ = false;
}

} // namespace tappo
