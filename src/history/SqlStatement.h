#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SqliteDatabase;
struct sqlite3_stmt;

// One prepared statement: values bound by position (from 1), rows stepped
// through, columns read by position (from 0).
class SqlStatement {
 public:
  SqlStatement(SqliteDatabase& db, const std::string& sql);
  ~SqlStatement();
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  SqlStatement& Bind(int index, int64_t value);
  SqlStatement& Bind(int index, const std::string& value);
  SqlStatement& Bind(int index, const std::vector<uint8_t>& value);
  // True while there is a row to read; false when the statement is done.
  bool Step();
  // Steps a statement that gives no rows and makes it ready to run again.
  void Run();
  bool IsNull(int column) const;
  int64_t Integer(int column) const;
  std::string Text(int column) const;
  std::vector<uint8_t> Blob(int column) const;

 private:
  SqliteDatabase& db_;
  sqlite3_stmt* statement_ = nullptr;
};
