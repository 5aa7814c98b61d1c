#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SqliteDatabase;

// Why a snapshot was taken; kept in the store as its number.
enum class SnapshotReason : int32_t { List, Backup, BeforeSend, BeforeDelete, Restore };

// One slot of a snapshot: the item it held (its hash), or only the name and
// size a list showed (no hash).
struct SnapshotSlot {
  std::string address;  // as SlotAddress::ToString writes it: "song/3"
  std::string hash;
  std::string name;
  uint32_t size = 0;
  bool operator==(const SnapshotSlot&) const = default;
};

struct Snapshot {
  int64_t id = 0;    // given by the store
  int64_t when = 0;  // UTC seconds
  int64_t keyboard = 0;
  SnapshotReason why = SnapshotReason::List;
  std::vector<SnapshotSlot> slots;  // Get gives them by address text
};

struct SnapshotInfo {
  int64_t id;
  int64_t when;
  int64_t keyboard;
  SnapshotReason why;
  int64_t itemCount;
};

struct KeyboardInfo {
  int64_t id;
  int32_t type;
  std::string name;  // empty until the user gives one
  std::vector<std::string> inPorts;
  std::vector<std::string> outPorts;
};

// One version of an item (its bytes) in one slot of one keyboard: the first
// and the last time a snapshot held it there.
struct ItemVersion {
  std::string hash;
  uint16_t type;
  std::string name;
  uint32_t size;
  int64_t keyboard;
  std::string address;
  int64_t firstSeen;
  int64_t lastSeen;
  int64_t lastSnapshot;
};

struct ForgetCount {
  int64_t snapshots = 0;
  int64_t items = 0;
};

// What a check found: the database's own problem as SQLite words it, or an
// item whose bytes do not match its hash and size.
struct HistoryProblem {
  enum class Kind { Database, Item } kind;
  std::string detail;  // SQLite's text, or the item's hash
};

// The keyboard's history in one SQLite file: items by content, the
// keyboards met, and snapshots of their memory. Every change is one
// transaction; every failure a HistoryException. What the jobs call is
// virtual: they reach it through the table, so the page's build, which has
// no SQLite yet, links the jobs without the store.
class HistoryStore {
 public:
  // Opens the store, making the file (mode 0600) and its folder when they
  // are missing, and brings it to this program's version. A store of a newer
  // version or a damaged file is refused and left as it is.
  explicit HistoryStore(const std::string& path);
  // The same with the schema's steps given, as a later version's migration.
  HistoryStore(const std::string& path, const std::vector<std::string>& schemaSteps);
  virtual ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Keeps an item's .lqd bytes once however often they come; gives its hash.
  virtual std::string PutItem(const std::vector<uint8_t>& lqdBytes, uint16_t type,
                              const std::string& name);
  std::optional<std::vector<uint8_t>> ItemBytes(const std::string& hash);

  // The keyboard of this type met on these ports before (on both, else on
  // either), or a new one; remembers the ports. The names are taken as they
  // come: the caller leaves out what changes from one plugging in to the next.
  virtual int64_t KeyboardFor(int32_t type, const std::string& inPort, const std::string& outPort);
  // False when no keyboard has this id or another has this name.
  bool NameKeyboard(int64_t keyboard, const std::string& name);
  std::vector<KeyboardInfo> Keyboards();

  // Adds a snapshot; its items must have been put first. Gives its id.
  virtual int64_t AddSnapshot(const Snapshot& snapshot);
  std::vector<SnapshotInfo> Snapshots();  // newest first
  std::optional<Snapshot> Get(int64_t id);
  virtual std::optional<Snapshot> LastSnapshot(int64_t keyboard);
  // Every version of the items of this data name, latest seen first.
  std::vector<ItemVersion> Find(const std::string& name);

  // Each removes its snapshots, then every item no remaining snapshot holds,
  // and shrinks the file. Forgetting an item leaves its slots its name and
  // size; forgetting a keyboard, or all, forgets its name and ports too.
  ForgetCount ForgetSnapshot(int64_t id);
  ForgetCount ForgetItem(const std::string& hash);
  ForgetCount ForgetKeyboard(int64_t keyboard);
  ForgetCount ForgetBefore(int64_t when);
  ForgetCount ForgetAll();

  // SQLite's integrity check, and every item against its hash.
  std::vector<HistoryProblem> Check();

 private:
  // Runs `change` (its ?1 bound to `value`), then removes the items no
  // snapshot holds any longer.
  template <typename Value>
  ForgetCount Forget(const std::string& change, const Value& value);

  std::unique_ptr<SqliteDatabase> db_;
};
