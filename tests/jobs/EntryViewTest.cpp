// The row every list shows of an entry of the keyboard tree, swept over each
// folder and each slot of every kind, before the list is read (every slot
// empty) and after it is read from the demo keyboard (some slots empty).

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "files/QnDataDrive.h"
#include "files/SlotAddress.h"
#include "jobs/EntryView.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "support/BuiltInKeyboard.h"

namespace {

using Spelling = EntryView::Spelling;

struct KindRow {
  const char* list;
  const char* properties;
  bool deletable;
};

// By the address's first word.
const std::map<std::string, KindRow> kKinds = {
    {"tone", {"Tone", "Tone", false}},
    {"dsp", {"DSP", "DSP", false}},
    {"reg", {"Registraion", "Regstration", false}},
    {"song", {"Song", "Song", true}},
    {"rhythm", {"Rhythm", "Rhythm", true}},
};

// The demo keyboard's empty slots, and captions the keyboard gives.
const std::set<std::string> kEmptyOnDemo = {"song/1", "rhythm/2", "rhythm/3"};
const std::map<std::string, std::string> kDemoCaptions = {
    {"tone/0", "Piano 1 "}, {"dsp/9", "Echo    "},    {"song/0", "DemoSong"},
    {"song/1", "Song 1"},   {"rhythm/1", "Funk Grv"}, {"rhythm/3", "User 3"},
};

// A folder carries its contents' type (the "Song" folder a song's) but is
// no item: no address, never deletable.
void ExpectFolders(const QnDataDrive& folder, int& count) {
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    const QnData& child = *folder.Child(i);
    if ((child.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) == 0) continue;
    const EntryView view(child);
    SCOPED_TRACE(view.Caption());
    EXPECT_EQ(view.Caption(), child.Name());
    EXPECT_TRUE(view.IsFolder());
    EXPECT_FALSE(view.Address());
    EXPECT_EQ(view.AddressText(), "");
    EXPECT_FALSE(view.IsDeletable());
    ++count;
    ExpectFolders(static_cast<const QnDataDrive&>(child), count);
  }
}

TEST(EntryViewTest, EveryFolderAndSlotBeforeAndAfterTheListIsRead) {
  QnKbdDrv::Destroy();
  BuiltInKeyboard::Reset();
  QnKbdDrv* keyboard = QnKbdDrv::Instance();
  for (const bool listed : {false, true}) {
    SCOPED_TRACE(listed ? "listed" : "not listed");
    if (listed) RunToEnd(keyboard->Connect(BuiltInKeyboard::Input(), BuiltInKeyboard::Output()));
    int folders = 0;
    ExpectFolders(*keyboard->Root(), folders);
    EXPECT_EQ(folders, 4 + 4 + 2);
    for (const SlotAddress& address : SlotAddress::All()) {
      const std::string text = address.ToString();
      SCOPED_TRACE(text);
      const QnData* entry = address.Find(*keyboard->Root());
      ASSERT_NE(entry, nullptr);
      const EntryView view(*entry);
      const KindRow& kind = kKinds.at(text.substr(0, text.find('/')));
      EXPECT_FALSE(view.IsFolder());
      EXPECT_EQ(view.Address(), address);
      EXPECT_EQ(view.AddressText(), text);
      EXPECT_EQ(view.Type(), address.Type());
      EXPECT_STREQ(view.TypeWord(Spelling::List), kind.list);
      EXPECT_STREQ(view.TypeWord(Spelling::Properties), kind.properties);
      EXPECT_EQ(view.IsDeletable(), kind.deletable);
      const bool present = listed && kEmptyOnDemo.count(text) == 0;
      EXPECT_EQ(view.IsPresent(), present);
      EXPECT_EQ(view.Size() > 0, present);
      if (listed && kDemoCaptions.count(text) != 0) {
        EXPECT_EQ(view.Caption(), kDemoCaptions.at(text));
      }
    }
  }
  EXPECT_STREQ(EntryView::TypeWord(QnData::kTypeKeyboard, Spelling::List), "");
  EXPECT_EQ(EntryView::Caption(std::string("Ab\xB1 \0\0\0\0", 8)), "Ab\xEF\xBD\xB1 ");
  QnKbdDrv::Destroy();
}

}  // namespace
