// The song database: one SQLite file, its schema and the upgrades between
// versions, and the small statement wrapper the rest of library/ works through.
// A file that cannot be used (damaged, written by a newer player, failed to
// upgrade, cannot be made) is left as it is and the run goes on with a
// database in memory, saying why once.
#pragma once

#include "base/Errors.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tappo {

// The schema this player writes (`PRAGMA user_version`).
inline constexpr int LibrarySchemaVersion = 2;

// A database statement that failed; Damaged() when SQLite found the file corrupt.
class LibraryError : public Error {
  public:
    LibraryError(const std::string& text, bool damaged) : Error(text), damaged_(damaged) {}
    bool Damaged() const { return damaged_; }

  private:
    bool damaged_ = false;
};

// "$XDG_DATA_HOME/tappoplayer/library.db" (by default
// ~/.local/share/tappoplayer/library.db); empty when no data folder is known.
std::string DefaultLibraryPath();

class LibraryDatabase {
  public:
    // Opens (and makes, with its folder) the file at `path`, or a database in
    // memory for an empty path or ":memory:". Never throws: where the file
    // cannot be used, Notice() says why and the database is in memory.
    explicit LibraryDatabase(const std::string& path);
    ~LibraryDatabase();
    LibraryDatabase(const LibraryDatabase&) = delete;
    LibraryDatabase& operator=(const LibraryDatabase&) = delete;

    const std::string& Path() const { return path_; }
    bool InMemory() const { return inMemory_; }
    // Why the file named is not in use; empty when it is (or none was named).
    const std::string& Notice() const { return notice_; }

    // Runs statements without results. Throws LibraryError.
    void Execute(const char* sql);
    // The row id of the last insert, and the rows the last statement changed.
    int64_t LastInsertId() const;
    int64_t Changes() const;
    sqlite3* Handle() { return db_; }

  private:
    bool OpenFile(const std::string& path);
    void OpenInMemory(const std::string& why);
    std::string Upgrade();

    sqlite3* db_ = nullptr;
    std::string path_;
    bool inMemory_ = false;
    std::string notice_;
};

// A prepared statement: bind from 1, read columns from 0. Throws LibraryError.
class Statement {
  public:
    Statement(LibraryDatabase& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, double value);
    Statement& BindText(int index, std::string_view text);         // NULL when empty
    Statement& BindBlob(int index, const void* data, size_t size); // NULL when size is 0
    Statement& BindNull(int index);
    // True while a row is there to read.
    bool Step();
    // Steps once and resets, for statements without results.
    void Run();
    void Reset();

    bool IsNull(int column);
    int64_t Int(int column);
    double Real(int column);
    std::string Bytes(int column); // text or blob

  private:
    LibraryDatabase& db_;
    sqlite3_stmt* statement_ = nullptr;
};

// A transaction that rolls back unless committed.
class Transaction {
  public:
    explicit Transaction(LibraryDatabase& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

  private:
    LibraryDatabase& db_;
    bool open_ = true;
};

} // namespace tappo
