#pragma once

#include <cstdint>
#include <string>

#include "history/HistoryException.h"

struct sqlite3;

// One connection to an SQLite file that exists already; every failure is
// thrown as a HistoryException. Waits up to 5 s for another program's lock.
class SqliteDatabase {
 public:
  explicit SqliteDatabase(const std::string& path);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  void Exec(const std::string& sql);
  // The first column of the first row of a query that gives one.
  int64_t Integer(const std::string& sql);
  std::string Text(const std::string& sql);
  int64_t LastId() const;
  int64_t Changes() const;
  sqlite3* Handle() const { return db_; }
  // Throws for a result code that is not a success.
  void Check(int result) const;
  static HistoryException Error(int result);
  // The same for an errno of the file system.
  static HistoryException SystemError(int error);

  // Every change of the store is one of these: it takes the write lock at
  // its start, and what is not committed is rolled back. A read of several
  // statements is one too, without the lock, to see one state of the file.
  class Transaction {
   public:
    enum class Kind { Write, Read };
    explicit Transaction(SqliteDatabase& db, Kind kind = Kind::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

   private:
    SqliteDatabase& db_;
    bool open_ = true;
  };

 private:
  sqlite3* db_ = nullptr;
};
