#include "history/HistoryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "history/HistorySchema.h"
#include "history/Sha256.h"
#include "history/SqlStatement.h"
#include "history/SqliteDatabase.h"

namespace {

using Transaction = SqliteDatabase::Transaction;

std::unique_ptr<SqliteDatabase> OpenFile(const std::string& path) {
  const std::filesystem::path file(path);
  std::error_code error;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  if (error) throw SqliteDatabase::SystemError(error.value());
  const int made = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (made >= 0) {
    // The mask of the process may take more away than this.
    ::fchmod(made, 0600);
    ::close(made);
  } else if (errno != EEXIST) {
    throw SqliteDatabase::SystemError(errno);
  }
  return std::make_unique<SqliteDatabase>(path);
}

Snapshot SnapshotRow(const SqlStatement& row) {
  Snapshot snapshot;
  snapshot.id = row.Integer(0);
  snapshot.when = row.Integer(1);
  snapshot.keyboard = row.Integer(2);
  snapshot.why = static_cast<SnapshotReason>(row.Integer(3));
  return snapshot;
}

}  // namespace

HistoryStore::HistoryStore(const std::string& path) : HistoryStore(path, HistorySchema::Steps()) {}

HistoryStore::HistoryStore(const std::string& path, const std::vector<std::string>& schemaSteps)
    : db_(OpenFile(path)) {
  // Nothing is written before the file is known to be a store this program
  // can read, or one it makes.
  const auto version = static_cast<size_t>(db_->Integer("PRAGMA user_version"));
  if (version > schemaSteps.size()) throw HistoryException(HistoryException::kNewerVersion);
  if (db_->Text("PRAGMA quick_check") != "ok") throw HistoryException(HistoryException::kDamaged);
  if (version == 0 && db_->Integer("SELECT count(*) FROM sqlite_schema") > 0) {
    throw HistoryException(HistoryException::kDamaged);
  }
  if (db_->Text("PRAGMA journal_mode = WAL") != "wal") {
    throw HistoryException(HistoryException::kReadOnly);
  }
  db_->Exec("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON");
  HistorySchema::Migrate(*db_, path, schemaSteps);
}

HistoryStore::~HistoryStore() = default;

std::string HistoryStore::PutItem(const std::vector<uint8_t>& lqdBytes, uint16_t type,
                                  const std::string& name) {
  const std::string hash = Sha256::Hex(lqdBytes.data(), lqdBytes.size());
  SqlStatement put(*db_,
                   "INSERT OR IGNORE INTO items (hash, type, name, size, bytes) "
                   "VALUES (?1, ?2, ?3, ?4, ?5)");
  put.Bind(1, hash).Bind(2, type).Bind(3, name).Bind(4, static_cast<int64_t>(lqdBytes.size()));
  put.Bind(5, lqdBytes).Run();
  return hash;
}

std::optional<std::vector<uint8_t>> HistoryStore::ItemBytes(const std::string& hash) {
  SqlStatement get(*db_, "SELECT bytes FROM items WHERE hash = ?1");
  get.Bind(1, hash);
  if (!get.Step()) return std::nullopt;
  return get.Blob(0);
}

int64_t HistoryStore::KeyboardFor(int32_t type, const std::string& inPort,
                                  const std::string& outPort) {
  Transaction transaction(*db_);
  SqlStatement find(*db_,
                    "SELECT k.id FROM keyboards k JOIN keyboard_ports p ON p.keyboard = k.id "
                    "WHERE k.type = ?1 AND ((p.direction = 'in' AND p.port = ?2) OR "
                    "(p.direction = 'out' AND p.port = ?3)) "
                    "GROUP BY k.id ORDER BY count(*) DESC, k.id LIMIT 1");
  find.Bind(1, type).Bind(2, inPort).Bind(3, outPort);
  int64_t keyboard = find.Step() ? find.Integer(0) : 0;
  if (keyboard == 0) {
    SqlStatement add(*db_, "INSERT INTO keyboards (type) VALUES (?1)");
    add.Bind(1, type).Run();
    keyboard = db_->LastId();
  }
  SqlStatement remember(*db_,
                        "INSERT OR IGNORE INTO keyboard_ports (keyboard, direction, port) "
                        "VALUES (?1, 'in', ?2), (?1, 'out', ?3)");
  remember.Bind(1, keyboard).Bind(2, inPort).Bind(3, outPort).Run();
  transaction.Commit();
  return keyboard;
}

bool HistoryStore::NameKeyboard(int64_t keyboard, const std::string& name) {
  Transaction transaction(*db_);
  SqlStatement taken(*db_, "SELECT 1 FROM keyboards WHERE name = ?2 AND id != ?1");
  if (taken.Bind(1, keyboard).Bind(2, name).Step()) return false;
  SqlStatement give(*db_, "UPDATE keyboards SET name = NULLIF(?2, '') WHERE id = ?1");
  give.Bind(1, keyboard).Bind(2, name).Run();
  const bool named = db_->Changes() > 0;
  transaction.Commit();
  return named;
}

std::vector<KeyboardInfo> HistoryStore::Keyboards() {
  Transaction transaction(*db_, Transaction::Kind::Read);
  std::vector<KeyboardInfo> keyboards;
  SqlStatement list(*db_, "SELECT id, type, COALESCE(name, '') FROM keyboards ORDER BY id");
  while (list.Step()) {
    keyboards.push_back(
        {list.Integer(0), static_cast<int32_t>(list.Integer(1)), list.Text(2), {}, {}});
  }
  SqlStatement ports(
      *db_,
      "SELECT keyboard, direction, port FROM keyboard_ports ORDER BY keyboard, direction, port");
  while (ports.Step()) {
    for (KeyboardInfo& keyboard : keyboards) {
      if (keyboard.id != ports.Integer(0)) continue;
      (ports.Text(1) == "in" ? keyboard.inPorts : keyboard.outPorts).push_back(ports.Text(2));
    }
  }
  return keyboards;
}

int64_t HistoryStore::AddSnapshot(const Snapshot& snapshot) {
  Transaction transaction(*db_);
  SqlStatement add(*db_, "INSERT INTO snapshots (taken, keyboard, reason) VALUES (?1, ?2, ?3)");
  add.Bind(1, snapshot.when).Bind(2, snapshot.keyboard);
  add.Bind(3, static_cast<int64_t>(snapshot.why)).Run();
  const int64_t id = db_->LastId();
  SqlStatement listed(*db_,
                      "INSERT INTO slots (snapshot, address, name, size) VALUES (?1, ?2, ?3, ?4)");
  SqlStatement held(*db_,
                    "INSERT INTO slots (snapshot, address, item) "
                    "SELECT ?1, ?2, id FROM items WHERE hash = ?3");
  for (const SnapshotSlot& slot : snapshot.slots) {
    if (slot.hash.empty()) {
      listed.Bind(1, id).Bind(2, slot.address).Bind(3, slot.name);
      listed.Bind(4, static_cast<int64_t>(slot.size)).Run();
    } else {
      held.Bind(1, id).Bind(2, slot.address).Bind(3, slot.hash).Run();
      if (db_->Changes() == 0) throw std::invalid_argument("no item " + slot.hash);
    }
  }
  transaction.Commit();
  return id;
}

std::vector<SnapshotInfo> HistoryStore::Snapshots() {
  std::vector<SnapshotInfo> snapshots;
  SqlStatement list(*db_,
                    "SELECT id, taken, keyboard, reason, "
                    "(SELECT count(*) FROM slots WHERE snapshot = snapshots.id) "
                    "FROM snapshots ORDER BY taken DESC, id DESC");
  while (list.Step()) {
    const Snapshot row = SnapshotRow(list);
    snapshots.push_back({row.id, row.when, row.keyboard, row.why, list.Integer(4)});
  }
  return snapshots;
}

std::optional<Snapshot> HistoryStore::Get(int64_t id) {
  Transaction transaction(*db_, Transaction::Kind::Read);
  SqlStatement head(*db_, "SELECT id, taken, keyboard, reason FROM snapshots WHERE id = ?1");
  if (!head.Bind(1, id).Step()) return std::nullopt;
  Snapshot snapshot = SnapshotRow(head);
  SqlStatement slots(*db_,
                     "SELECT s.address, COALESCE(i.hash, ''), COALESCE(s.name, i.name), "
                     "COALESCE(s.size, i.size) FROM slots s LEFT JOIN items i ON i.id = s.item "
                     "WHERE s.snapshot = ?1 ORDER BY s.address");
  slots.Bind(1, id);
  while (slots.Step()) {
    snapshot.slots.push_back(
        {slots.Text(0), slots.Text(1), slots.Text(2), static_cast<uint32_t>(slots.Integer(3))});
  }
  return snapshot;
}

std::optional<Snapshot> HistoryStore::LastSnapshot(int64_t keyboard) {
  SqlStatement last(*db_,
                    "SELECT id FROM snapshots WHERE keyboard = ?1 "
                    "ORDER BY taken DESC, id DESC LIMIT 1");
  if (!last.Bind(1, keyboard).Step()) return std::nullopt;
  return Get(last.Integer(0));
}

std::vector<ItemVersion> HistoryStore::Find(const std::string& name) {
  std::vector<ItemVersion> versions;
  SqlStatement find(
      *db_,
      "SELECT i.hash, i.type, i.name, i.size, n.keyboard, s.address, "
      "min(n.taken), max(n.taken), max(n.id) "
      "FROM items i JOIN slots s ON s.item = i.id JOIN snapshots n ON n.id = s.snapshot "
      "WHERE i.name = ?1 GROUP BY i.id, n.keyboard, s.address "
      "ORDER BY max(n.taken) DESC, max(n.id) DESC");
  find.Bind(1, name);
  while (find.Step()) {
    versions.push_back({find.Text(0), static_cast<uint16_t>(find.Integer(1)), find.Text(2),
                        static_cast<uint32_t>(find.Integer(3)), find.Integer(4), find.Text(5),
                        find.Integer(6), find.Integer(7), find.Integer(8)});
  }
  return versions;
}

ForgetCount HistoryStore::ForgetSnapshot(int64_t id) {
  return Forget("DELETE FROM snapshots WHERE id = ?1", id);
}

ForgetCount HistoryStore::ForgetItem(const std::string& hash) {
  return Forget(
      "UPDATE slots SET name = i.name, size = i.size, item = NULL FROM items i "
      "WHERE i.id = slots.item AND i.hash = ?1",
      hash);
}

ForgetCount HistoryStore::ForgetKeyboard(int64_t keyboard) {
  return Forget("DELETE FROM keyboards WHERE id = ?1", keyboard);
}

ForgetCount HistoryStore::ForgetBefore(int64_t when) {
  return Forget("DELETE FROM snapshots WHERE taken < ?1", when);
}

ForgetCount HistoryStore::ForgetAll() {
  return Forget("DELETE FROM keyboards WHERE id >= ?1", int64_t{0});
}

template <typename Value>
ForgetCount HistoryStore::Forget(const std::string& change, const Value& value) {
  ForgetCount count;
  {
    Transaction transaction(*db_);
    const int64_t before = db_->Integer("SELECT count(*) FROM snapshots");
    SqlStatement forget(*db_, change);
    forget.Bind(1, value).Run();
    count.snapshots = before - db_->Integer("SELECT count(*) FROM snapshots");
    db_->Exec("DELETE FROM items WHERE id NOT IN (SELECT item FROM slots WHERE item IS NOT NULL)");
    count.items = db_->Changes();
    transaction.Commit();
  }
  // Shrinks the file to what remains; the WAL holds the copy until it is
  // written back, so it is written back and emptied too.
  db_->Exec("VACUUM");
  db_->Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  return count;
}

std::vector<HistoryProblem> HistoryStore::Check() {
  std::vector<HistoryProblem> problems;
  SqlStatement integrity(*db_, "PRAGMA integrity_check");
  while (integrity.Step()) {
    if (integrity.Text(0) != "ok") {
      problems.push_back({HistoryProblem::Kind::Database, integrity.Text(0)});
    }
  }
  SqlStatement items(*db_, "SELECT hash, size, bytes FROM items ORDER BY id");
  while (items.Step()) {
    const std::vector<uint8_t> bytes = items.Blob(2);
    if (Sha256::Hex(bytes.data(), bytes.size()) != items.Text(0) ||
        static_cast<int64_t>(bytes.size()) != items.Integer(1)) {
      problems.push_back({HistoryProblem::Kind::Item, items.Text(0)});
    }
  }
  return problems;
}
