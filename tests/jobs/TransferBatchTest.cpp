// The rules of a batch: its memory check measured against what the sends
// themselves do on the keyboard, and the names of its imports.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "files/SlotAddress.h"
#include "jobs/TransferBatch.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "support/BuiltInKeyboard.h"

namespace {

using Kind = sim::Trv408::Kind;

// Whether the work ends in "Not enough memory"; any other failure fails the test.
bool NoMemory(const std::function<void()>& work) {
  try {
    work();
  } catch (const LqdStreamException& e) {
    EXPECT_EQ(e.Code(), LqdMidiStream::kNoMemory);
    return true;
  }
  return false;
}

class TransferBatchTest : public testing::Test {
 protected:
  void SetUp() override {
    QnKbdDrv::Destroy();
    BuiltInKeyboard::Reset();
    drv_ = QnKbdDrv::Instance();
  }
  void TearDown() override { QnKbdDrv::Destroy(); }

  void Connect() { RunToEnd(drv_->Connect(BuiltInKeyboard::Input(), BuiltInKeyboard::Output())); }
  const QnDataDrive& SongRhythm() const { return *drv_->GetDrive("Song Rhythm:"); }

  QnKbdDrv* drv_ = nullptr;
};

// A batch is allowed exactly when sending its items one by one succeeds:
// each send refuses a song or rhythm larger than the free memory before it
// deletes its slot's old data, so what a slot holds helps only the items
// after it. Swept over memories and batches; the first memory with the first
// batch is the case where the whole batch fits the free memory plus its
// slots' old data, yet the second send fails after the first replaced a song.
TEST_F(TransferBatchTest, MemoryCheckAgreesWithTheSendsThemselves) {
  struct Item {
    const char* address;
    uint32_t size;
  };
  const std::vector<std::vector<Item>> batches = {
      {{"song/0", 11000}, {"song/1", 10000}},
      {{"song/1", 10000}, {"song/0", 11000}},
      {{"tone/3", 60}, {"song/0", 11504}, {"song/1", 10000}},
      {{"song/0", 5000}, {"rhythm/0", 6000}},
      {{"rhythm/0", 8000}, {"song/1", 4000}, {"song/0", 9504}},
  };
  // Bytes held by song 0, song 1 and rhythm 3 (never a target); 0 is empty.
  std::vector<std::array<uint32_t, 3>> memories;
  for (uint32_t song0 : {0u, 10000u})
    for (uint32_t song1 : {10000u, 4000u, 0u})
      for (uint32_t rhythm3 : {0u, 1504u}) memories.push_back({song0, song1, rhythm3});

  int refused = 0;
  for (const auto& held : memories) {
    for (const std::vector<Item>& batch : batches) {
      BuiltInKeyboard::Reset();
      sim::Trv408& keyboard = BuiltInKeyboard::Keyboard();
      const sim::SlotId slots[] = {{Kind::Song, 0, 0}, {Kind::Song, 0, 1}, {Kind::Rhythm, 0, 3}};
      for (int rhythm : {0, 1}) keyboard.Clear({Kind::Rhythm, 0, rhythm});
      for (size_t i = 0; i < 3; ++i) {
        keyboard.Clear(slots[i]);
        if (held[i] != 0) keyboard.SetItem(slots[i], std::vector<uint8_t>(held[i], 1));
      }
      Connect();

      std::string trace = std::to_string(held[0]) + "/" + std::to_string(held[1]) + "/" +
                          std::to_string(held[2]) + " held:";
      std::vector<std::unique_ptr<QnDataFile>> files;
      std::vector<TransferBatch::Send> sends;
      for (const Item& item : batch) {
        const SlotAddress address = *SlotAddress::Parse(item.address);
        files.push_back(std::make_unique<QnDataFile>(address.Type()));
        files.back()->SetSize(item.size);
        sends.push_back({address.Find(*drv_->Root()), files.back().get(), address.ToString()});
        trace += std::string(" ") + item.address + "<-" + std::to_string(item.size);
      }
      SCOPED_TRACE(trace);
      const bool checked = NoMemory([&] { TransferBatch::CheckSends(sends, SongRhythm()); });
      const bool sent = NoMemory([&] {
        for (const TransferBatch::Send& send : sends) {
          LqdMidiStream job(send.slot, BuiltInKeyboard::Input(), BuiltInKeyboard::Output());
          RunToEnd(job.Send(*send.file));
        }
      });
      EXPECT_EQ(checked, sent);
      refused += checked ? 1 : 0;
    }
  }
  // Neither a rule that allows all nor one that refuses all passes.
  EXPECT_GT(refused, 10);
  EXPECT_LT(refused, static_cast<int>(memories.size() * batches.size()) - 10);
}

class ImportNamesTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/import-names-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Put(const std::string& name, const std::string& content) const {
    std::ofstream(dir_ / name) << content;
  }
  std::string Content(const std::string& name) const {
    std::ifstream in(dir_ / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path dir_;
};

// Each name is asked for once the files before it are written, as the
// imports do. A file the user had is replaced only under the item's own
// name.
TEST_F(ImportNamesTest, MadeUpNamesNeverReplaceAFile) {
  const struct {
    std::vector<std::string> existing;
    std::vector<std::string> natural;
    std::vector<std::string> expected;
  } cases[] = {
      {{}, {"A.lqd", "A.lqd", "A.lqd"}, {"A.lqd", "A_2.lqd", "A_3.lqd"}},
      {{"A.lqd"}, {"A.lqd"}, {"A.lqd"}},
      {{"TON_Piano 1 _2.lqd"},
       {"TON_Piano 1 .lqd", "TON_Piano 1 .lqd"},
       {"TON_Piano 1 .lqd", "TON_Piano 1 _3.lqd"}},
      {{"A_2.lqd", "A_3.lqd"}, {"A_2.lqd", "A.lqd", "A.lqd"}, {"A_2.lqd", "A.lqd", "A_4.lqd"}},
      {{},
       {"Piano.lqd", "PIANO.lqd", "piano_2.lqd"},
       {"Piano.lqd", "PIANO_2.lqd", "piano_2_2.lqd"}},
      {{}, {"REG_", "REG_"}, {"REG_", "REG__2"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directory(dir_);
    for (const std::string& name : c.existing) Put(name, "the user's");
    TransferBatch::ImportNames names(dir_.string() + "/");
    std::vector<std::string> given;
    for (const std::string& natural : c.natural) {
      given.push_back(names.Next(natural));
      Put(given.back(), "imported");
    }
    EXPECT_EQ(given, c.expected) << c.natural.front();
    for (const std::string& name : c.existing) {
      const bool natural = std::find(c.natural.begin(), c.natural.end(), name) != c.natural.end();
      EXPECT_EQ(Content(name), natural ? "imported" : "the user's") << name;
    }
  }

  // A link is a file of the user's even when it leads nowhere, and so is a
  // folder.
  std::filesystem::create_symlink(dir_ / "nowhere", dir_ / "B_2.lqd");
  std::filesystem::create_directory(dir_ / "B_3.lqd");
  TransferBatch::ImportNames names(dir_.string());
  EXPECT_EQ(names.Next("B.lqd"), "B.lqd");
  EXPECT_EQ(names.Next("B.lqd"), "B_4.lqd");
}

}  // namespace
