#include "history/HistorySchema.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "history/SqliteDatabase.h"

namespace {

// A slot holds an item, or only the name and size a list showed; an item's
// name and size are its own. Forgetting an item leaves its slots the name
// and size. Snapshot numbers are never given twice, so that one the user
// noted down never names another.
const char kVersion1[] = R"(
CREATE TABLE items (
  id INTEGER PRIMARY KEY,
  hash TEXT NOT NULL UNIQUE,
  type INTEGER NOT NULL,
  name TEXT NOT NULL,
  size INTEGER NOT NULL,
  bytes BLOB NOT NULL
);
CREATE INDEX items_by_name ON items (name);
CREATE TABLE keyboards (
  id INTEGER PRIMARY KEY,
  type INTEGER NOT NULL,
  name TEXT UNIQUE
);
CREATE TABLE keyboard_ports (
  keyboard INTEGER NOT NULL REFERENCES keyboards ON DELETE CASCADE,
  direction TEXT NOT NULL CHECK (direction IN ('in', 'out')),
  port TEXT NOT NULL,
  PRIMARY KEY (keyboard, direction, port)
) WITHOUT ROWID;
CREATE TABLE snapshots (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  taken INTEGER NOT NULL,
  keyboard INTEGER NOT NULL REFERENCES keyboards ON DELETE CASCADE,
  reason INTEGER NOT NULL CHECK (reason BETWEEN 0 AND 4)
);
CREATE INDEX snapshots_by_keyboard ON snapshots (keyboard, taken);
CREATE TABLE slots (
  snapshot INTEGER NOT NULL REFERENCES snapshots ON DELETE CASCADE,
  address TEXT NOT NULL,
  item INTEGER REFERENCES items,
  name TEXT,
  size INTEGER,
  CHECK ((item IS NULL) = (name IS NOT NULL)),
  CHECK ((name IS NULL) = (size IS NULL)),
  PRIMARY KEY (snapshot, address)
) WITHOUT ROWID;
CREATE INDEX slots_by_item ON slots (item) WHERE item IS NOT NULL;
)";

// A copy of the whole database, read through a connection of its own while
// the migration holds the write lock, so that no other program changes it
// meanwhile.
void CopyAside(const std::string& path, const std::string& copyPath) {
  const int file = ::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file < 0) throw SqliteDatabase::SystemError(errno);
  ::fchmod(file, 0600);
  ::close(file);
  SqliteDatabase source(path);
  SqliteDatabase copy(copyPath);
  sqlite3_backup* backup = sqlite3_backup_init(copy.Handle(), "main", source.Handle(), "main");
  if (backup == nullptr) copy.Check(sqlite3_errcode(copy.Handle()));
  const int stepped = sqlite3_backup_step(backup, -1);
  const int finished = sqlite3_backup_finish(backup);
  copy.Check(stepped == SQLITE_DONE ? finished : stepped);
}

}  // namespace

const std::vector<std::string>& HistorySchema::Steps() {
  static const std::vector<std::string> steps = {kVersion1};
  return steps;
}

void HistorySchema::Migrate(SqliteDatabase& db, const std::string& path,
                            const std::vector<std::string>& steps) {
  SqliteDatabase::Transaction transaction(db);
  // Read under the write lock: another program may have migrated it meanwhile.
  const auto version = static_cast<size_t>(db.Integer("PRAGMA user_version"));
  if (version > steps.size()) throw HistoryException(HistoryException::kNewerVersion);
  if (version == steps.size()) return;
  if (version > 0) CopyAside(path, path + ".v" + std::to_string(version) + ".bak");
  for (size_t step = version; step < steps.size(); ++step) db.Exec(steps[step]);
  db.Exec("PRAGMA user_version = " + std::to_string(steps.size()));
  transaction.Commit();
}
