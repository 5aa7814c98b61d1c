// The history command on a store prepared as the jobs leave one: a backup,
// a list that read only names and sizes, and what a send replaced.

#include <sqlite3.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <fstream>
#include <iterator>
#include <sstream>

#include "CliTestBase.h"
#include "files/QnDataFile.h"
#include "history/HistoryStore.h"
#include "jobs/DataFile.h"
#include "jobs/KeyboardBackup.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

QJsonObject Json(const std::string& text) {
  QJsonParseError error{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
  return document.object();
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class CliHistoryTest : public CliTestBase {
 protected:
  // Snapshot 1: a backup of tone/0 and song/0; 2: a list of the same; 3: a
  // send replaced tone/0, which then held another tone of the same name.
  void Prepare() {
    std::filesystem::create_directories(Path("items"));
    // The import's own list goes into a history of its own.
    files_ = Lines(Ok({"--history", PathText("import.sqlite"), "import", "tone/0", "tone/1",
                       "song/0", PathText("items")}));
    ASSERT_EQ(files_.size(), 3u);
    const std::vector<std::string>& files = files_;
    const std::unique_ptr<QnDataFile> tone = DataFile::Read(files[0]);
    const std::unique_ptr<QnDataFile> song = DataFile::Read(files[2]);
    toneName_ = tone->Name();
    DataFile::Rename(files[1], toneName_);

    HistoryStore store(store_);
    const auto put = [&](const std::string& file, const std::string& name, uint16_t type) {
      const std::vector<uint8_t> bytes = ReadBytes(file);
      return store.PutItem(bytes, type, name);
    };
    toneA_ = put(files[0], toneName_, tone->Type());
    toneB_ = put(files[1], toneName_, tone->Type());
    song_ = put(files[2], song->Name(), song->Type());
    const int64_t keyboard = store.KeyboardFor(1, "TRV in", "TRV out");
    const SnapshotSlot lightSong{"song/0", "", song->Name(), song->Size()};
    store.AddSnapshot({0,
                       1000,
                       keyboard,
                       SnapshotReason::Backup,
                       {{"tone/0", toneA_, "", 0}, {"song/0", song_, "", 0}}});
    store.AddSnapshot({0,
                       2000,
                       keyboard,
                       SnapshotReason::List,
                       {{"tone/0", "", toneName_, tone->Size()}, lightSong}});
    store.AddSnapshot(
        {0, 3000, keyboard, SnapshotReason::BeforeSend, {{"tone/0", toneB_, "", 0}, lightSong}});
  }
  std::vector<std::string> Ids() {
    std::vector<std::string> ids;
    for (const std::string& line : Lines(Ok({"history"}))) ids.push_back(line.substr(0, 2));
    return ids;
  }

  void SetUp() override {
    CliTestBase::SetUp();
    store_ = PathText("data/Ravlin/history.sqlite");
  }

  std::string store_;
  std::vector<std::string> files_;
  std::string toneName_, toneA_, toneB_, song_;
};

TEST_F(CliHistoryTest, ShowsFindsAndNamesWhatTheStoreHolds) {
  EXPECT_EQ(Ok({"history", "where"}), store_ + "\n");
  Prepare();
  EXPECT_EQ(Ids(), (std::vector<std::string>{"ID", " 3", " 2", " 1"}));
  const QJsonArray snapshots = Json(Ok({"history", "--json"}))["snapshots"].toArray();
  ASSERT_EQ(snapshots.size(), 3);
  EXPECT_EQ(snapshots[0]["why"], "before-send");
  EXPECT_EQ(snapshots[2]["items"], 2);
  EXPECT_EQ(snapshots[2]["keyboardName"], "TRV in / TRV out");

  const std::vector<std::string> backup = Lines(Ok({"history", "show", "1"}));
  ASSERT_EQ(backup.size(), 3u);
  EXPECT_NE(backup[1].find(song_.substr(0, 12)), std::string::npos) << backup[1];
  const QJsonArray list = Json(Ok({"history", "show", "2", "--json"}))["slots"].toArray();
  ASSERT_EQ(list.size(), 2);
  EXPECT_TRUE(list[1]["hash"].isNull());
  EXPECT_EQ(list[1]["address"], "tone/0");

  // The name as a person types it, without the blanks the keyboard keeps.
  std::string typed = toneName_;
  while (!typed.empty() && typed.back() == ' ') typed.pop_back();
  const QJsonArray versions = Json(Ok({"history", "find", typed, "--json"}))["versions"].toArray();
  ASSERT_EQ(versions.size(), 2);
  EXPECT_EQ(versions[0]["hash"], QString::fromStdString(toneB_));
  EXPECT_EQ(versions[1]["hash"], QString::fromStdString(toneA_));

  Ok({"history", "name-keyboard", "1", "Studio"});
  EXPECT_NE(Ok({"history"}).find("Studio"), std::string::npos);
  const CliResult unknown = Cli({"history", "name-keyboard", "7", "Home"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "ravlin-cli: no keyboard 7\n");
}

TEST_F(CliHistoryTest, ExportsABackupThatRestoreReadsAndForgets) {
  Prepare();
  const std::string folder = PathText("out");
  Ok({"history", "export", "1", folder});
  KeyboardBackup backup;
  backup.Load(folder);
  EXPECT_EQ(backup.Count(), 2u);
  EXPECT_EQ(FileBytes(Path("out/tone-0.lqd")), FileBytes(files_[0]));

  // The song of snapshot 3 is only a name and a size: left out, and its
  // file from the first export goes.
  const CliResult partial = Cli({"history", "export", "3", folder});
  EXPECT_EQ(partial.status, 0) << partial.err;
  EXPECT_EQ(partial.err, "ravlin-cli: song/0: only its name and size were kept; left out\n");
  backup.Load(folder);
  EXPECT_EQ(backup.Count(), 1u);
  EXPECT_FALSE(std::filesystem::exists(Path("out/song-0.lqd")));
  EXPECT_EQ(Cli({"history", "export", "2", PathText("none")}).status, 1);
  EXPECT_FALSE(std::filesystem::exists(Path("none")));

  EXPECT_EQ(Ok({"history", "forget", "1"}), "forgot 1 snapshot(s) and 2 item(s)\n");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"ID", " 3", " 2"}));
  EXPECT_EQ(Ok({"history", "forget", "--item", toneB_}), "forgot 0 snapshot(s) and 1 item(s)\n");
  EXPECT_NE(Lines(Ok({"history", "show", "3"}))[2].find(" - "), std::string::npos);
  EXPECT_EQ(Ok({"history", "forget", "--before", "1970-01-01T00:40:00Z"}),
            "forgot 1 snapshot(s) and 0 item(s)\n");
  Ok({"history", "name-keyboard", "1", "Studio"});
  EXPECT_EQ(Ok({"history", "forget", "--keyboard", "Studio"}),
            "forgot 1 snapshot(s) and 0 item(s)\n");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"ID"}));
}

TEST_F(CliHistoryTest, RefusesWrongCommandsAndStoresItCannotTrust) {
  const std::vector<std::vector<std::string>> usage = {
      {"history", "frob"},
      {"history", "show"},
      {"history", "show", "one"},
      {"history", "where", "--json"},
      {"history", "forget"},
      {"history", "forget", "1", "--all"},
      {"history", "forget", "--before", "yesterday"},
      {"history", "export", "1"},
      {"list", "--all"},
      {"--history", "", "history"},
  };
  for (const auto& arguments : usage) {
    const CliResult result = Cli(arguments);
    EXPECT_EQ(result.status, 2) << arguments[1] << " " << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(Path("data")));

  Prepare();
  EXPECT_EQ(Ok({"history", "check"}), "");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(store_.c_str(), &db), SQLITE_OK);
  const std::string damage = "UPDATE items SET bytes = zeroblob(size) WHERE hash = '" + song_ + "'";
  EXPECT_EQ(sqlite3_exec(db, damage.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  const CliResult check = Cli({"history", "check"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, "item " + song_ + ": its bytes do not match its hash\n");
  EXPECT_EQ(check.err, "ravlin-cli: the history store has 1 problem(s)\n");

  const std::string newer = PathText("newer.sqlite");
  ASSERT_EQ(sqlite3_open(newer.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  const std::string before = FileBytes(newer);
  const CliResult refused = Cli({"--history", newer, "history"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("newer version"), std::string::npos) << refused.err;
  EXPECT_EQ(FileBytes(newer), before);
}

}  // namespace
