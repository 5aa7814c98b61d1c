// The history store on real files: what it keeps comes back as it went in,
// each item once; forgetting keeps what a remaining snapshot holds; files it
// cannot take are left byte for byte as they were.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "history/HistoryException.h"
#include "history/HistorySchema.h"
#include "history/HistoryStore.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Lqd(const std::string& text) { return {text.begin(), text.end()}; }

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs SQL on the file as another program would, past the store.
void Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
  sqlite3_free(error);
  sqlite3_close(db);
}

int64_t SqlCount(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr);
  const int64_t count = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
  sqlite3_finalize(query);
  sqlite3_close(db);
  return count;
}

class HistoryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("history-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    path_ = (dir_ / "made" / "history.sqlite").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  std::string path_;
};

TEST_F(HistoryStoreTest, KeepsItemsOnceAndGivesBackKeyboardsAndSnapshots) {
  HistoryStore store(path_);
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const std::string piano = store.PutItem(Lqd("piano v1"), 0, "Piano");
  EXPECT_EQ(store.PutItem(Lqd("piano v1"), 0, "Piano"), piano);
  const std::string song = store.PutItem(Lqd("song bytes"), 4, "Song");
  EXPECT_EQ(SqlCount(path_, "SELECT count(*) FROM items"), 2);
  EXPECT_EQ(store.ItemBytes(piano), Lqd("piano v1"));
  EXPECT_FALSE(store.ItemBytes(std::string(64, '0')));

  // Found again on both ports, on either, of its own type only.
  const int64_t first = store.KeyboardFor(408, "in A", "out A");
  EXPECT_EQ(store.KeyboardFor(408, "in A", "out A"), first);
  EXPECT_EQ(store.KeyboardFor(408, "in B", "out A"), first);
  const int64_t other = store.KeyboardFor(408, "in C", "out C");
  EXPECT_NE(other, first);
  EXPECT_EQ(store.KeyboardFor(408, "in C", "out D"), other);
  EXPECT_NE(store.KeyboardFor(999, "in A", "out A"), first);
  EXPECT_TRUE(store.NameKeyboard(first, "home"));
  EXPECT_FALSE(store.NameKeyboard(other, "home"));
  EXPECT_FALSE(store.NameKeyboard(77, "studio"));
  const std::vector<KeyboardInfo> keyboards = store.Keyboards();
  ASSERT_EQ(keyboards.size(), 3u);
  EXPECT_EQ(keyboards[0].name, "home");
  EXPECT_EQ(keyboards[0].type, 408);
  EXPECT_EQ(keyboards[0].inPorts, (std::vector<std::string>{"in A", "in B"}));
  EXPECT_EQ(keyboards[1].outPorts, (std::vector<std::string>{"out C", "out D"}));
  EXPECT_EQ(keyboards[2].name, "");

  Snapshot listed{0, 1000, first, SnapshotReason::List, {{"song/3", "", "Old", 1234}}};
  Snapshot backup{0,
                  2000,
                  first,
                  SnapshotReason::Backup,
                  {{"song/1", song, "", 0}, {"tone/0", piano, "", 0}, {"song/3", "", "Old", 1234}}};
  listed.id = store.AddSnapshot(listed);
  backup.id = store.AddSnapshot(backup);
  const Snapshot elsewhere{store.AddSnapshot({0, 1500, other, SnapshotReason::BeforeDelete, {}}),
                           1500,
                           other,
                           SnapshotReason::BeforeDelete,
                           {}};
  EXPECT_THROW(store.AddSnapshot({0, 1, first, SnapshotReason::Restore, {{"song/2", "ab", "", 0}}}),
               std::invalid_argument);

  // An item's name and size are the item's own.
  backup.slots[0] = {"song/1", song, "Song", 10};
  backup.slots[1] = {"tone/0", piano, "Piano", 8};
  std::swap(backup.slots[1], backup.slots[2]);
  for (const Snapshot& expected : {listed, backup, elsewhere}) {
    const std::optional<Snapshot> got = store.Get(expected.id);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->when, expected.when);
    EXPECT_EQ(got->keyboard, expected.keyboard);
    EXPECT_EQ(got->why, expected.why);
    EXPECT_EQ(got->slots, expected.slots);
  }
  EXPECT_FALSE(store.Get(99));
  EXPECT_EQ(store.LastSnapshot(first)->id, backup.id);
  EXPECT_FALSE(store.LastSnapshot(77));

  const std::vector<SnapshotInfo> all = store.Snapshots();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].id, backup.id);
  EXPECT_EQ(all[0].itemCount, 3);
  EXPECT_EQ(all[1].id, elsewhere.id);
  EXPECT_EQ(all[2].id, listed.id);
}

TEST_F(HistoryStoreTest, FindsEveryVersionAndForgetsOnlyWhatNoSnapshotHolds) {
  HistoryStore store(path_);
  const int64_t home = store.KeyboardFor(408, "in", "out");
  const int64_t studio = store.KeyboardFor(408, "in 2", "out 2");
  ASSERT_NE(home, studio);
  const std::string v1 = store.PutItem(Lqd("piano v1"), 0, "Piano");
  const std::string v2 = store.PutItem(Lqd("piano v2"), 0, "Piano");
  const std::string big = store.PutItem(std::vector<uint8_t>(400000, 7), 4, "Long");
  const int64_t old = store.AddSnapshot(
      {0, 100, home, SnapshotReason::Backup, {{"tone/0", v1, "", 0}, {"song/1", big, "", 0}}});
  store.AddSnapshot({0, 200, home, SnapshotReason::BeforeSend, {{"tone/0", v2, "", 0}}});
  const int64_t later =
      store.AddSnapshot({0, 300, studio, SnapshotReason::Backup, {{"tone/0", v1, "", 0}}});

  const std::vector<ItemVersion> found = store.Find("Piano");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].hash, v1);
  EXPECT_EQ(found[0].keyboard, studio);
  EXPECT_EQ(found[0].address, "tone/0");
  EXPECT_EQ(found[0].lastSnapshot, later);
  EXPECT_EQ(found[1].hash, v2);
  EXPECT_EQ(found[2].hash, v1);
  EXPECT_EQ(found[2].keyboard, home);
  EXPECT_EQ(found[2].firstSeen, 100);
  EXPECT_TRUE(store.Find("Organ").empty());

  const auto size = [&] { return fs::file_size(path_) + fs::file_size(path_ + "-wal"); };
  const auto before = size();
  // The later snapshot still holds v1: only the long song goes, and the file shrinks.
  ForgetCount forgot = store.ForgetSnapshot(old);
  EXPECT_EQ(forgot.snapshots, 1);
  EXPECT_EQ(forgot.items, 1);
  EXPECT_TRUE(store.ItemBytes(v1));
  EXPECT_FALSE(store.ItemBytes(big));
  EXPECT_LT(size(), before - 300000);

  // A forgotten item leaves its slot the name and size.
  forgot = store.ForgetItem(v1);
  EXPECT_EQ(forgot.items, 1);
  EXPECT_EQ(store.Get(later)->slots, (std::vector<SnapshotSlot>{{"tone/0", "", "Piano", 8}}));

  forgot = store.ForgetBefore(250);
  EXPECT_EQ(forgot.snapshots, 1);
  EXPECT_EQ(forgot.items, 1);
  EXPECT_EQ(store.ForgetKeyboard(studio).snapshots, 1);
  EXPECT_EQ(store.Keyboards().size(), 1u);
  store.AddSnapshot({0, 400, home, SnapshotReason::List, {}});
  EXPECT_EQ(store.ForgetAll().snapshots, 1);
  EXPECT_TRUE(store.Snapshots().empty());
  EXPECT_TRUE(store.Check().empty());
}

TEST_F(HistoryStoreTest, RefusesANewerOrDamagedFileAndLeavesItAsItWas) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> make;
    int32_t code;
  };
  const Case cases[] = {
      {"newer version",
       [](const std::string& path) {
         { HistoryStore store(path); }
         Sql(path, "PRAGMA journal_mode = DELETE; PRAGMA user_version = 2");
       },
       HistoryException::kNewerVersion},
      {"not a database",
       [](const std::string& path) {
         fs::create_directories(fs::path(path).parent_path());
         std::ofstream(path) << std::string(5000, 'x');
       },
       HistoryException::kDamaged},
      {"another program's database",
       [](const std::string& path) {
         fs::create_directories(fs::path(path).parent_path());
         Sql(path, "CREATE TABLE notes (text)");
       },
       HistoryException::kDamaged},
      {"a damaged page",
       [](const std::string& path) {
         {
           HistoryStore store(path);
           store.PutItem(std::vector<uint8_t>(20000, 1), 0, "Piano");
         }
         std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(4096 * 3);
         file << std::string(200, '\xff');
       },
       HistoryException::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_);
    c.make(path_);
    const std::string bytes = FileBytes(path_);
    try {
      HistoryStore store(path_);
      ADD_FAILURE() << "opened";
    } catch (const HistoryException& e) {
      EXPECT_EQ(e.Code(), c.code);
    }
    EXPECT_TRUE(FileBytes(path_) == bytes) << "changed";
  }
}

TEST_F(HistoryStoreTest, AMigrationCopiesTheFileAsideAndRunsWholeOrNotAtAll) {
  std::vector<std::string> steps = HistorySchema::Steps();
  std::string hash;
  {
    HistoryStore store(path_);
    hash = store.PutItem(Lqd("piano"), 0, "Piano");
  }
  EXPECT_FALSE(fs::exists(path_ + ".v0.bak"));

  steps.push_back("CREATE TABLE notes (text); INSERT INTO notes VALUES ('a'); bad sql");
  EXPECT_THROW(HistoryStore(path_, steps), HistoryException);
  EXPECT_EQ(SqlCount(path_, "PRAGMA user_version"), 1);
  EXPECT_EQ(SqlCount(path_, "SELECT count(*) FROM sqlite_schema WHERE name = 'notes'"), 0);

  steps.back() = "CREATE TABLE notes (text)";
  fs::remove(path_ + ".v1.bak");
  { HistoryStore store(path_, steps); }
  EXPECT_EQ(SqlCount(path_, "PRAGMA user_version"), 2);
  // The copy is the old version whole: this program opens it as its own.
  HistoryStore copy(path_ + ".v1.bak");
  EXPECT_EQ(copy.ItemBytes(hash), Lqd("piano"));
  struct stat info {};
  ASSERT_EQ(::stat((path_ + ".v1.bak").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(HistoryStoreTest, CheckFindsAnItemWhoseBytesNoLongerMatchItsHash) {
  std::string hash;
  {
    HistoryStore store(path_);
    hash = store.PutItem(Lqd("piano"), 0, "Piano");
    store.PutItem(Lqd("organ"), 0, "Organ");
    EXPECT_TRUE(store.Check().empty());
  }
  Sql(path_, "UPDATE items SET bytes = CAST('pianO' AS BLOB) WHERE name = 'Piano'");
  HistoryStore store(path_);
  const std::vector<HistoryProblem> problems = store.Check();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].kind, HistoryProblem::Kind::Item);
  EXPECT_EQ(problems[0].detail, hash);
}

}  // namespace
