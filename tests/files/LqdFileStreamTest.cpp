#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "files/FileError.h"
#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"
#include "midi/QnException.h"
#include "support/PipeRescuer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Header(uint32_t size, uint16_t type, uint16_t model = 0) {
  Bytes h = {'V', 'A', 'R', 'D', 'O', ' ', 'M', 'u', 's', 'i', 'c', ' ', 'L', 'i', 'b', 0};
  h.push_back(static_cast<uint8_t>(size >> 24));
  h.push_back(static_cast<uint8_t>(size >> 16));
  h.push_back(static_cast<uint8_t>(size >> 8));
  h.push_back(static_cast<uint8_t>(size));
  h.push_back(static_cast<uint8_t>(model >> 8));
  h.push_back(static_cast<uint8_t>(model));
  h.push_back(static_cast<uint8_t>(type >> 8));
  h.push_back(static_cast<uint8_t>(type));
  h.resize(64, 0);
  return h;
}

// A file with a header for `type` and `data` after it, the header's size
// being the data's length.
Bytes LqdFile(uint16_t type, const Bytes& data, uint16_t model = 0) {
  Bytes file = Header(static_cast<uint32_t>(data.size()), type, model);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

Bytes ToneData(const std::string& name) {
  Bytes data(60);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
  std::copy(name.begin(), name.end(), data.begin() + 36);
  return data;
}

int32_t StreamCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const LqdStreamException& e) {
    return e.Code();
  }
  return -1;
}

class LqdFileStreamTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("lqd-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  std::string Put(const std::string& name, const Bytes& bytes) const {
    std::ofstream out(dir_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return PathOf(name);
  }

  Bytes Get(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void ReadInto(const std::string& path, QnDataFile& file) const {
    LqdFileStream stream(path, LqdFileStream::OpenRead);
    stream.Read(file);
  }

  void WriteOut(const std::string& path, QnDataFile& file) const {
    LqdFileStream stream(path, LqdFileStream::Create);
    stream.Write(file);
    stream.Commit();
  }

  size_t FilesInFolder() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

TEST_F(LqdFileStreamTest, ReadingConvertsWordsAndTakesTheDataName) {
  const Bytes data = ToneData("PIANO 12");
  const std::string path = Put("tone.lqd", LqdFile(QnData::kTypeTone, data, 0x1234));
  LqdFileStream stream(path, LqdFileStream::OpenRead);
  EXPECT_EQ(stream.DataLength(), 60);
  QnDataFile file;
  stream.Read(file);
  EXPECT_EQ(file.Type(), QnData::kTypeTone);
  EXPECT_EQ(file.Size(), 60u);
  EXPECT_EQ(file.ModelCode(), 0x1234);
  EXPECT_EQ(file.Name(), "PIANO 12");
  for (size_t i = 0; i < data.size(); i += 2) {
    EXPECT_EQ(file.Data()[i], data[i + 1]);
    EXPECT_EQ(file.Data()[i + 1], data[i]);
  }
}

TEST_F(LqdFileStreamTest, WritingBackReproducesTheFileByteForByte) {
  Bytes original = LqdFile(QnData::kTypeTone, ToneData("STRINGS "), 0x1101);
  original[40] = 0x5A;  // reserved bytes are carried along unchanged
  const std::string in = Put("in.lqd", original);
  QnDataFile file;
  ReadInto(in, file);
  WriteOut(PathOf("out1.lqd"), file);
  WriteOut(PathOf("out2.lqd"), file);
  EXPECT_EQ(Get(PathOf("out1.lqd")), original);
  EXPECT_EQ(Get(PathOf("out2.lqd")), original);

  // An odd last byte stays where it is; the entry is not changed by writing.
  const Bytes odd = LqdFile(QnData::kTypeSong, {1, 2, 3, 4, 'A', 'B', 'C', 'D', 9});
  QnDataFile song;
  ReadInto(Put("odd.lqd", odd), song);
  WriteOut(PathOf("odd2.lqd"), song);
  EXPECT_EQ(Get(PathOf("odd2.lqd")), odd);
  EXPECT_EQ(song.Data()[8], 9);
  EXPECT_EQ(song.Data()[0], 2);
}

TEST_F(LqdFileStreamTest, RegistrationNameStaysPairSwappedInTheHeader) {
  QnDataFile reg(QnData::kTypeRegistration);
  reg.SetSize(176);
  reg.Data();
  reg.StoreDataName("MyReg");
  WriteOut(PathOf("reg.lqd"), reg);
  const Bytes written = Get(PathOf("reg.lqd"));
  ASSERT_EQ(written.size(), 240u);
  EXPECT_EQ(Bytes(written.begin() + 24, written.begin() + 32),
            (Bytes{'y', 'M', 'e', 'R', ' ', 'g', ' ', ' '}));

  QnDataFile back;
  ReadInto(PathOf("reg.lqd"), back);
  EXPECT_EQ(back.Name(), "MyReg   ");
}

TEST_F(LqdFileStreamTest, ReadingReplacesAReusedEntry) {
  QnDataFile file;
  ReadInto(Put("small.lqd", LqdFile(QnData::kTypeDsp, Bytes(36, 'x'))), file);
  ReadInto(Put("big.lqd", LqdFile(QnData::kTypeTone, ToneData("BIGGER  "))), file);
  EXPECT_EQ(file.Size(), 60u);
  EXPECT_GE(file.DataCapacity(), 60u);
  EXPECT_EQ(file.Name(), "BIGGER  ");

  ReadInto(PathOf("small.lqd"), file);
  EXPECT_EQ(file.Size(), 36u);
  EXPECT_EQ(file.Name(), "xxxxxxxx");
  for (size_t i = 36; i < file.DataCapacity(); ++i) EXPECT_EQ(file.Data()[i], 0) << i;
}

TEST_F(LqdFileStreamTest, SignatureCheck) {
  const Bytes good = LqdFile(QnData::kTypeDsp, Bytes(36, ' '));
  EXPECT_NO_THROW(LqdFileStream(Put("good.lqd", good), LqdFileStream::OpenRead));

  Bytes no_nul = good;
  no_nul[15] = ' ';
  Bytes lower = good;
  lower[6] = 'm';
  for (const Bytes& bad : {no_nul, lower, Bytes{}}) {
    const std::string path = Put("bad.lqd", bad);
    EXPECT_EQ(StreamCode([&] { LqdFileStream(path, LqdFileStream::OpenRead); }), 0);
  }
}

TEST_F(LqdFileStreamTest, FilesThatCannotBeReadWholeAreRefused) {
  const Bytes good = LqdFile(QnData::kTypeTone, ToneData("NAME    "));
  Bytes shorter(good.begin(), good.end() - 10);
  Bytes longer = good;
  longer.push_back(0);
  const Bytes truncated_headers[] = {Bytes(good.begin(), good.begin() + 16),
                                     Bytes(good.begin(), good.begin() + 63)};
  for (const Bytes& bad : {shorter, longer, truncated_headers[0], truncated_headers[1]}) {
    const std::string path = Put("bad.lqd", bad);
    EXPECT_EQ(StreamCode([&] { LqdFileStream(path, LqdFileStream::OpenRead); }), 0) << bad.size();
  }
}

TEST_F(LqdFileStreamTest, FileServiceFailuresCarryThePath) {
  const std::string missing = PathOf("missing.lqd");
  try {
    LqdFileStream stream(missing, LqdFileStream::OpenRead);
    FAIL() << "opened a missing file";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Operation(), FileError::Op::Open);
    EXPECT_EQ(e.Path(), missing);
    EXPECT_FALSE(e.Reason().empty());
  }

  const std::string nowhere = PathOf("no/such/folder/x.lqd");
  try {
    LqdFileStream stream(nowhere, LqdFileStream::Create);
    FAIL() << "created a file in a missing folder";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Operation(), FileError::Op::Create);
    EXPECT_EQ(e.Path(), nowhere);
  }
  EXPECT_THROW(LqdFileStream(dir_.string(), LqdFileStream::OpenRead), FileError);
}

TEST_F(LqdFileStreamTest, NothingReplacesTheOldFileBeforeCommit) {
  const Bytes old = LqdFile(QnData::kTypeTone, ToneData("OLD     "));
  const std::string path = Put("item.lqd", old);
  QnDataFile file(QnData::kTypeTone);
  file.SetSize(60);
  file.Data();
  file.StoreDataName("NEW");
  {
    LqdFileStream stream(path, LqdFileStream::Create);
    stream.Write(file);
    EXPECT_EQ(Get(path), old);
  }
  EXPECT_EQ(Get(path), old);
  EXPECT_EQ(FilesInFolder(), 1u);

  WriteOut(path, file);
  QnDataFile back;
  ReadInto(path, back);
  EXPECT_EQ(back.Name(), "NEW     ");
  EXPECT_EQ(FilesInFolder(), 1u);
}

// A real short write: the process may not grow any file beyond 100 bytes.
TEST_F(LqdFileStreamTest, WritingThroughALinkReplacesTheFileItNames) {
  const std::string real = Put("real.lqd", Bytes(10, 1));
  fs::create_symlink("real.lqd", dir_ / "link.lqd");
  QnDataFile file(QnData::kTypeDsp);
  file.SetSize(36);
  WriteOut(PathOf("link.lqd"), file);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.lqd"));
  EXPECT_EQ(Get(real).size(), 100u);
}

TEST_F(LqdFileStreamTest, FailedWriteLeavesTheOldFileAsItWas) {
  const Bytes old = Bytes(50, 0x77);
  const std::string path = Put("item.lqd", old);
  QnDataFile file(QnData::kTypeRegistration);
  file.SetSize(176);
  file.Data();

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool failed = false;
  try {
    LqdFileStream stream(path, LqdFileStream::Create);
    stream.Write(file);
    stream.Commit();
  } catch (const FileError& e) {
    failed = e.Operation() == FileError::Op::Write && e.Path() == path;
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_TRUE(failed);
  EXPECT_EQ(Get(path), old);
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(LqdFileStreamTest, FailedRenameKeepsWhatIsAtTheTargetAndCleansUp) {
  {
    QnDataFile file(QnData::kTypeDsp);
    file.SetSize(36);
    LqdFileStream stream(PathOf("item.lqd"), LqdFileStream::Create);
    stream.Write(file);
    // Something else takes the name meanwhile: a folder that is not empty.
    fs::create_directories(dir_ / "item.lqd" / "inside");
    try {
      stream.Commit();
      FAIL() << "renamed over a folder";
    } catch (const FileError& e) {
      EXPECT_EQ(e.Operation(), FileError::Op::Create);
      EXPECT_EQ(e.Path(), PathOf("item.lqd"));
    }
  }
  EXPECT_TRUE(fs::is_directory(dir_ / "item.lqd" / "inside"));
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(LqdFileStreamTest, OnlyRegularFilesAreOpened) {
  Put("good.lqd", LqdFile(QnData::kTypeTone, ToneData("LINKED  ")));
  fs::create_symlink("good.lqd", dir_ / "link.lqd");
  QnDataFile file;
  ReadInto(PathOf("link.lqd"), file);
  EXPECT_EQ(file.Name(), "LINKED  ");

  // A named pipe would keep the open waiting for a writer, a device the read.
  const std::string pipe = PathOf("pipe.lqd");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  fs::create_symlink("pipe.lqd", dir_ / "to-pipe.lqd");
  PipeRescuer rescuer(pipe);
  for (const std::string& path : {pipe, PathOf("to-pipe.lqd"), std::string("/dev/null")}) {
    try {
      LqdFileStream stream(path, LqdFileStream::OpenRead);
      ADD_FAILURE() << "opened " << path;
    } catch (const LqdStreamException& e) {
      EXPECT_EQ(e.Code(), 0) << path;
    } catch (const FileError& e) {
      ADD_FAILURE() << e.what();
    }
  }
  EXPECT_FALSE(rescuer.Stop()) << "waited on the pipe";
}

// What Commit put on the disk, and what the target held at that moment.
struct Synced {
  fs::path path;
  bool folder;
  Bytes target;
};
std::vector<Synced> synced;
fs::path syncTarget;

Bytes Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RecordSync(const fs::path& path, bool folder) {
  synced.push_back({path, folder, Contents(syncTarget)});
  return 0;
}

int FailSync(const fs::path&, bool folder) { return folder ? 0 : EIO; }
int FailFolderSync(const fs::path&, bool folder) { return folder ? EIO : 0; }

TEST_F(LqdFileStreamTest, CommitSyncsTheFileBeforeTheRenameAndTheFolderAfterIt) {
  const Bytes old = LqdFile(QnData::kTypeTone, ToneData("OLD     "));
  const std::string path = Put("item.lqd", old);
  syncTarget = path;
  synced.clear();
  QnDataFile file(QnData::kTypeTone);
  file.SetSize(60);
  file.Data();
  file.StoreDataName("NEW");
  struct Restore {
    ~Restore() { LqdFileStream::SetSync(nullptr); }
  } restore;
  LqdFileStream::SetSync(RecordSync);
  WriteOut(path, file);
  const Bytes written = Get(path);
  ASSERT_EQ(synced.size(), 2u);
  EXPECT_FALSE(synced[0].folder);  // the new file, under its temporary name
  EXPECT_EQ(synced[0].path.parent_path(), dir_);
  EXPECT_NE(synced[0].path.filename(), "item.lqd");
  EXPECT_EQ(synced[0].target, old);
  EXPECT_TRUE(synced[1].folder);  // then the folder, which holds the rename
  EXPECT_EQ(synced[1].path, dir_);
  EXPECT_EQ(synced[1].target, written);

  // A file that cannot be put on the disk does not replace the old one.
  LqdFileStream::SetSync(FailSync);
  file.StoreDataName("NEWER");
  try {
    WriteOut(path, file);
    ADD_FAILURE() << "committed a file that was not synced";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Operation(), FileError::Op::Write);
  }
  EXPECT_EQ(Get(path), written);
  EXPECT_EQ(FilesInFolder(), 1u);

  // The rename done, only the folder not on the disk: the error says the
  // file was replaced, not that it could not be created.
  LqdFileStream::SetSync(FailFolderSync);
  try {
    WriteOut(path, file);
    ADD_FAILURE() << "a folder sync that failed went unsaid";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Operation(), FileError::Op::SyncFolder);
    EXPECT_EQ(e.Path(), path);
    EXPECT_EQ(e.Reason(), std::generic_category().message(EIO));
  }
  QnDataFile replaced;
  ReadInto(path, replaced);
  EXPECT_EQ(replaced.Name(), "NEWER   ");
  EXPECT_EQ(FilesInFolder(), 1u);

  // The real sync, on the file and on this folder.
  EXPECT_EQ(LqdFileStream::SetSync(nullptr), FailFolderSync);
  file.StoreDataName("NEWEST");
  EXPECT_NO_THROW(WriteOut(path, file));
  ReadInto(path, replaced);
  EXPECT_EQ(replaced.Name(), "NEWEST  ");
}

TEST(LqdFileName, ImportNames) {
  QnDataFile rhythm(QnData::kTypeRhythm);
  rhythm.SetName("ROCKBEAT");
  EXPECT_EQ(LqdFileStream::ImportFileName(rhythm), "RHY_ROCKBEAT.lqd");

  QnDataFile tone(QnData::kTypeTone);
  tone.SetName("PIANO   ");
  EXPECT_EQ(LqdFileStream::ImportFileName(tone), "TON_PIANO   .lqd");

  QnDataFile reg(QnData::kTypeRegistration);
  reg.LoadDataName();
  EXPECT_EQ(LqdFileStream::ImportFileName(reg), "REG_.lqd");

  QnDataFile song(QnData::kTypeSong);
  song.SetName(std::string("AB\0CDEFG", 8));
  EXPECT_EQ(LqdFileStream::ImportFileName(song), "SNG_AB.lqd");

  QnDataFile other(QnData::kTypeUnknown);
  other.SetName("X");
  EXPECT_EQ(LqdFileStream::ImportFileName(other), "X.lqd");
}

}  // namespace
