#include "history/SqliteDatabase.h"

#include <sqlite3.h>

#include <cerrno>

#include "history/SqlStatement.h"

namespace {

constexpr int kBusyMilliseconds = 5000;

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path) {
  const int result = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
  if (result != SQLITE_OK) {
    sqlite3_close(db_);
    throw Error(result);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyMilliseconds);
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close_v2(db_); }

void SqliteDatabase::Exec(const std::string& sql) {
  Check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr));
}

int64_t SqliteDatabase::Integer(const std::string& sql) {
  SqlStatement query(*this, sql);
  return query.Step() ? query.Integer(0) : 0;
}

std::string SqliteDatabase::Text(const std::string& sql) {
  SqlStatement query(*this, sql);
  return query.Step() ? query.Text(0) : std::string();
}

int64_t SqliteDatabase::LastId() const { return sqlite3_last_insert_rowid(db_); }

int64_t SqliteDatabase::Changes() const { return sqlite3_changes(db_); }

void SqliteDatabase::Check(int result) const {
  if (result != SQLITE_OK && result != SQLITE_ROW && result != SQLITE_DONE) throw Error(result);
}

HistoryException SqliteDatabase::Error(int result) {
  switch (result & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return HistoryException(HistoryException::kBusy);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      return HistoryException(HistoryException::kReadOnly);
    case SQLITE_FULL:
      return HistoryException(HistoryException::kFull);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return HistoryException(HistoryException::kDamaged);
    default:
      return HistoryException(HistoryException::kFailed);
  }
}

HistoryException SqliteDatabase::SystemError(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return HistoryException(HistoryException::kFull);
    case EACCES:
    case EPERM:
    case EROFS:
      return HistoryException(HistoryException::kReadOnly);
    default:
      return HistoryException(HistoryException::kFailed);
  }
}

SqliteDatabase::Transaction::Transaction(SqliteDatabase& db, Kind kind) : db_(db) {
  db_.Exec(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteDatabase::Transaction::~Transaction() {
  if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteDatabase::Transaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}
