#pragma once

#include <string>
#include <vector>

class SqliteDatabase;

// The store's tables by version: step N takes a database from version N to
// N + 1 (PRAGMA user_version), so a version's number is the count of its steps.
class HistorySchema {
 public:
  static const std::vector<std::string>& Steps();
  // Brings the database at `path` to the last of `steps` in one transaction;
  // a database that holds an older version is first copied aside to
  // "<path>.v<version>.bak".
  static void Migrate(SqliteDatabase& db, const std::string& path,
                      const std::vector<std::string>& steps);
};
