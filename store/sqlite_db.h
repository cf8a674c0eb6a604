// Thin wrappers over one SQLite connection, one compiled statement and one
// BEGIN ... END pair. SQLite's result codes pass through unchanged; 21
// (SQLITE_MISUSE) stands for "no connection" or "nothing compiled".
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

constexpr int kSqliteOk = 0;
constexpr int kSqliteMisuse = 21;
constexpr int kSqliteRow = 100;
constexpr int kSqliteDone = 101;

// Open flags as the store uses them (SQLITE_OPEN_READWRITE, _CREATE, _FULLMUTEX).
constexpr int kSqliteOpenReadWrite = 0x00002;
constexpr int kSqliteOpenCreate = 0x00004;
constexpr int kSqliteOpenFullMutex = 0x10000;

class SQLiteStatement;

class SQLiteDB {
public:
    SQLiteDB() = default;
    virtual ~SQLiteDB();
    SQLiteDB(const SQLiteDB&) = delete;
    SQLiteDB& operator=(const SQLiteDB&) = delete;

    // Closes any open connection first. False when SQLite cannot open the
    // file; the key is applied only when it is not empty.
    bool Open(const std::string& pathUtf8, int flags, const std::string& key);
    // False (the handle is kept) when SQLite refuses to close.
    bool Close();
    bool IsOpen() const { return db_ != nullptr; }

    int Prepare(SQLiteStatement& statement, const char* text);
    int Execute(const char* text);
    // -1 when no connection is open.
    std::int64_t LastInsertId() const;
    // SQLite's text for the last failure on this connection (empty when closed).
    std::string LastErrorText() const;

private:
    sqlite3* db_ = nullptr;
};

class SQLiteStatement {
public:
    SQLiteStatement() = default;
    virtual ~SQLiteStatement();
    SQLiteStatement(const SQLiteStatement&) = delete;
    SQLiteStatement& operator=(const SQLiteStatement&) = delete;

    // Parameters count from 1. The text is bound without a copy: the buffer
    // must stay alive until the statement has been stepped.
    int BindInt(int index, int value);
    int BindText(int index, const char* utf8, int byteLength);
    int Step();
    // Columns count from 0; a NULL text column reads as "".
    int ColumnInt(int column) const;
    const char* ColumnText(int column) const;
    void Finalize();

    bool IsCompiled() const { return stmt_ != nullptr; }
    // 1 after construction, after Finalize and after a step that reported
    // "done": the statement can be bound and run afresh.
    int IsReset() const { return reset_; }

private:
    friend class SQLiteDB;
    sqlite3_stmt* stmt_ = nullptr;
    int reset_ = 1;
};

// BEGIN on construction, END on Commit or destruction. "begun" is set only
// when BEGIN succeeded, so a transaction nested in an open one (whose BEGIN
// SQLite refuses) never ends the outer one.
class SQLiteAutoTransaction {
public:
    explicit SQLiteAutoTransaction(SQLiteDB& db);
    virtual ~SQLiteAutoTransaction();
    SQLiteAutoTransaction(const SQLiteAutoTransaction&) = delete;
    SQLiteAutoTransaction& operator=(const SQLiteAutoTransaction&) = delete;

    int Begin();
    int Commit();
    // Undoes everything since BEGIN and clears the flag.
    int Rollback();
    bool IsBegun() const { return begun_; }

private:
    SQLiteDB& db_;
    bool begun_ = false;
};
