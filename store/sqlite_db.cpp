#include "store/sqlite_db.h"

#include <sqlite3.h>

#include <cstring>

static_assert(kSqliteMisuse == SQLITE_MISUSE && kSqliteRow == SQLITE_ROW && kSqliteDone == SQLITE_DONE);
static_assert(kSqliteOpenReadWrite == SQLITE_OPEN_READWRITE && kSqliteOpenCreate == SQLITE_OPEN_CREATE &&
              kSqliteOpenFullMutex == SQLITE_OPEN_FULLMUTEX);

SQLiteDB::~SQLiteDB() {
    if (db_) {
        sqlite3_interrupt(db_);
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

bool SQLiteDB::Open(const std::string& pathUtf8, int flags, const std::string& key) {
    if (db_) {
        sqlite3_interrupt(db_);
        sqlite3_close(db_);
        db_ = nullptr;
    }
    if (sqlite3_open_v2(pathUtf8.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        // A failed open may still hand out a handle that carries the error.
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    // No build with encryption is used; a key would be applied here.
    (void)key;
    Execute("PRAGMA synchronous = OFF; ");
    return true;
}

bool SQLiteDB::Close() {
    if (!db_) return true;
    if (sqlite3_close(db_) != SQLITE_OK) return false;
    db_ = nullptr;
    return true;
}

int SQLiteDB::Prepare(SQLiteStatement& statement, const char* text) {
    statement.Finalize();
    if (!db_ || !text) return SQLITE_MISUSE;
    const int rc = sqlite3_prepare_v2(db_, text, static_cast<int>(std::strlen(text) + 1), &statement.stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(statement.stmt_);
        statement.stmt_ = nullptr;
    }
    return rc;
}

int SQLiteDB::Execute(const char* text) {
    if (!db_ || !text) return SQLITE_MISUSE;
    return sqlite3_exec(db_, text, nullptr, nullptr, nullptr);
}

std::int64_t SQLiteDB::LastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : -1; }

std::string SQLiteDB::LastErrorText() const { return db_ ? sqlite3_errmsg(db_) : std::string(); }

SQLiteStatement::~SQLiteStatement() { Finalize(); }

int SQLiteStatement::BindInt(int index, int value) {
    if (!stmt_) return SQLITE_MISUSE;
    return sqlite3_bind_int(stmt_, index, value);
}

int SQLiteStatement::BindText(int index, const char* utf8, int byteLength) {
    if (!stmt_) return SQLITE_MISUSE;
    return sqlite3_bind_text(stmt_, index, utf8, byteLength, SQLITE_STATIC);
}

int SQLiteStatement::Step() {
    if (!stmt_) return SQLITE_MISUSE;
    const int rc = sqlite3_step(stmt_);
    reset_ = rc == SQLITE_DONE ? 1 : 0;
    return rc;
}

int SQLiteStatement::ColumnInt(int column) const { return stmt_ ? sqlite3_column_int(stmt_, column) : 0; }

const char* SQLiteStatement::ColumnText(int column) const {
    const unsigned char* t = stmt_ ? sqlite3_column_text(stmt_, column) : nullptr;
    return t ? reinterpret_cast<const char*>(t) : "";
}

void SQLiteStatement::Finalize() {
    if (stmt_) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
    reset_ = 1;
}

SQLiteAutoTransaction::SQLiteAutoTransaction(SQLiteDB& db) : db_(db) {
    if (db_.IsOpen()) Begin();
}

SQLiteAutoTransaction::~SQLiteAutoTransaction() {
    if (begun_) db_.Execute("END");
}

int SQLiteAutoTransaction::Begin() {
    if (begun_) return SQLITE_OK;
    const int rc = db_.Execute("BEGIN");
    begun_ = rc == SQLITE_OK;
    return rc;
}

int SQLiteAutoTransaction::Commit() {
    if (!begun_) return SQLITE_MISUSE;
    begun_ = false;
    return db_.Execute("END");
}

int SQLiteAutoTransaction::Rollback() {
    if (!begun_) return SQLITE_MISUSE;
    begun_ = false;
    return db_.Execute("ROLLBACK");
}
