#include "history/SqlStatement.h"

#include <sqlite3.h>

#include "history/SqliteDatabase.h"

SqlStatement::SqlStatement(SqliteDatabase& db, const std::string& sql) : db_(db) {
  db_.Check(sqlite3_prepare_v2(db_.Handle(), sql.c_str(), -1, &statement_, nullptr));
}

SqlStatement::~SqlStatement() { sqlite3_finalize(statement_); }

SqlStatement& SqlStatement::Bind(int index, int64_t value) {
  db_.Check(sqlite3_bind_int64(statement_, index, value));
  return *this;
}

SqlStatement& SqlStatement::Bind(int index, const std::string& value) {
  db_.Check(sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()),
                              SQLITE_TRANSIENT));
  return *this;
}

SqlStatement& SqlStatement::Bind(int index, const std::vector<uint8_t>& value) {
  db_.Check(sqlite3_bind_blob(statement_, index, value.data(), static_cast<int>(value.size()),
                              SQLITE_TRANSIENT));
  return *this;
}

bool SqlStatement::Step() {
  const int result = sqlite3_step(statement_);
  db_.Check(result);
  return result == SQLITE_ROW;
}

void SqlStatement::Run() {
  while (Step()) {
  }
  sqlite3_reset(statement_);
}

bool SqlStatement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int64_t SqlStatement::Integer(int column) const { return sqlite3_column_int64(statement_, column); }

std::string SqlStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text == nullptr ? std::string()
                         : std::string(text, sqlite3_column_bytes(statement_, column));
}

std::vector<uint8_t> SqlStatement::Blob(int column) const {
  const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement_, column));
  return data == nullptr
             ? std::vector<uint8_t>()
             : std::vector<uint8_t>(data, data + sqlite3_column_bytes(statement_, column));
}
