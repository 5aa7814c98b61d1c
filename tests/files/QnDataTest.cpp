#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "files/KeyboardText.h"
#include "files/QnData.h"
#include "files/QnDataDirectory.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(const uint8_t* from, size_t count) { return Bytes(from, from + count); }

struct EntryDeleter {
  void operator()(QnData* entry) const { QnData::DestroyEntry(entry); }
};
using EntryPtr = std::unique_ptr<QnData, EntryDeleter>;

TEST(QnData, NewEntryHeaderLayout) {
  EntryPtr entry(new QnData(QnData::kTypeTone));
  Bytes expected = {0x56, 0x41, 0x52, 0x44, 0x4F, 0x20, 0x4D, 0x75, 0x73, 0x69, 0x63, 0x20,
                    0x4C, 0x69, 0x62, 0x00, 0,    0,    0,    0,    0,    0,    0x00, 0x02};
  expected.resize(QnData::kHeaderSize, 0);
  EXPECT_EQ(Slice(entry->HeaderBytes().data(), QnData::kHeaderSize), expected);
  EXPECT_EQ(entry->Kind(), 1);
  EXPECT_EQ(entry->Name(), "");
  EXPECT_FALSE(entry->IsPresent());
}

TEST(QnData, NumbersAreBigEndianInTheHeader) {
  EntryPtr entry(new QnData(QnData::kTypeUnknown));
  entry->SetSize(600);
  entry->SetModelCode(0x1101);
  entry->SetType(QnData::kTypeRegistration);
  EXPECT_EQ(Slice(entry->HeaderBytes().data() + 16, 8),
            (Bytes{0x00, 0x00, 0x02, 0x58, 0x11, 0x01, 0x00, 0x0C}));
  EXPECT_EQ(entry->Size(), 600u);
  EXPECT_EQ(entry->ModelCode(), 0x1101);
  EXPECT_EQ(entry->Type(), QnData::kTypeRegistration);
  entry->SetSize(0xFFFFFFFF);
  EXPECT_EQ(entry->Size(), 0xFFFFFFFFu);
}

TEST(QnData, KindFlagsOfEachClass) {
  QnDataDrive drive(QnData::kTypeSong);
  QnDataDirectory folder(QnData::kTypeSong);
  QnDataFile file;
  EXPECT_EQ(drive.Kind(), 3);
  EXPECT_EQ(folder.Kind(), 5);
  EXPECT_EQ(file.Kind(), 9);
  EXPECT_EQ(file.Type(), QnData::kTypeUnknown);
}

TEST(QnDataFile, DataBufferIsZeroFilledWholeWordsAndGrowsWithTheSize) {
  QnDataFile file(QnData::kTypeSong);
  EXPECT_FALSE(file.HasData());
  file.SetSize(5);
  uint8_t* data = file.Data();
  ASSERT_TRUE(file.HasData());
  EXPECT_EQ(file.DataCapacity(), 6u);
  EXPECT_EQ(Slice(data, 6), Bytes(6, 0));
  data[0] = 0xAA;
  EXPECT_EQ(file.Data(), data);  // same size: same buffer

  file.SetSize(10);
  data = file.Data();
  EXPECT_EQ(file.DataCapacity(), 10u);
  EXPECT_EQ(Slice(data, 10), (Bytes{0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // No buffer is made for a size beyond any keyboard memory.
  for (uint32_t size : {QnDataFile::kMaxDataSize + 1, 0xFFFFFFFFu}) {
    file.SetSize(size);
    EXPECT_THROW(file.Data(), std::length_error);
    EXPECT_EQ(file.DataCapacity(), 10u);
  }
}

TEST(QnDataFile, ToneNameIsStoredPairSwappedInTheData) {
  QnDataFile tone(QnData::kTypeTone);
  tone.SetSize(60);
  tone.Data();
  tone.StoreDataName("ABC");
  EXPECT_EQ(tone.Name(), "ABC");
  EXPECT_EQ(Slice(tone.Data() + 36, 8), (Bytes{0x42, 0x41, 0x20, 0x43, 0x20, 0x20, 0x20, 0x20}));
  EXPECT_EQ(tone.Data()[35], 0);
  EXPECT_EQ(tone.Data()[44], 0);
  tone.LoadDataName();
  EXPECT_EQ(tone.Name(), "ABC     ");

  tone.StoreDataName("TOOLONGNAME");
  tone.LoadDataName();
  EXPECT_EQ(tone.Name(), "TOOLONGN");
}

TEST(QnDataFile, NamePlaceOfEachType) {
  const struct {
    uint16_t type;
    size_t offset;
  } places[] = {{QnData::kTypeDsp, 0}, {QnData::kTypeSong, 4}, {QnData::kTypeRhythm, 2}};
  for (const auto& place : places) {
    QnDataFile file(place.type);
    file.SetSize(20);
    file.Data();
    file.StoreDataName("12345678");
    EXPECT_EQ(Slice(file.Data() + place.offset, 2), (Bytes{'2', '1'})) << place.type;
    file.SetName("");
    file.LoadDataName();
    EXPECT_EQ(file.Name(), "12345678") << place.type;
  }
}

TEST(QnDataFile, RegistrationNameLiesInTheHeaderWithoutData) {
  QnDataFile reg(QnData::kTypeRegistration);
  reg.StoreDataName("Bank 1");
  EXPECT_FALSE(reg.HasData());
  EXPECT_EQ(Slice(reg.HeaderBytes().data() + 24, 8),
            (Bytes{'a', 'B', 'k', 'n', '1', ' ', ' ', ' '}));
  reg.SetName("");
  reg.LoadDataName();
  EXPECT_EQ(reg.Name(), "Bank 1  ");
  EXPECT_FALSE(reg.HasData());

  // A received registration's name place is all NUL until it is named.
  QnDataFile received(QnData::kTypeRegistration);
  received.LoadDataName();
  EXPECT_EQ(received.Name(), std::string(8, '\0'));
}

TEST(QnDataFile, NameWithoutAPlaceChangesOnlyTheDisplayName) {
  QnDataFile song(QnData::kTypeSong);
  song.SetSize(100);
  song.StoreDataName("NEWSONG");
  EXPECT_EQ(song.Name(), "NEWSONG");
  EXPECT_FALSE(song.HasData());

  for (uint16_t type : {QnData::kTypeUnknown, QnData::kTypeKeyboard}) {
    QnDataFile other(type);
    other.SetSize(100);
    other.SetName("kept");
    other.LoadDataName();
    other.StoreDataName("new");
    EXPECT_EQ(other.Name(), "new");
    EXPECT_FALSE(other.HasData());
  }
}

TEST(QnDataFile, NamePlaceBeyondTheDataIsNeitherReadNorWritten) {
  // A tone cut short before its name: bytes 36 to 43 are not part of its data.
  QnDataFile tone(QnData::kTypeTone);
  tone.SetSize(40);
  std::memset(tone.Data(), 0x11, 40);
  tone.SetName("old");
  tone.LoadDataName();
  EXPECT_EQ(tone.Name(), "old");
  tone.StoreDataName("NEW");
  EXPECT_EQ(tone.Name(), "NEW");
  EXPECT_EQ(Slice(tone.Data(), 40), Bytes(40, 0x11));

  QnDataFile empty(QnData::kTypeDsp);
  empty.SetName("old");
  empty.LoadDataName();
  EXPECT_EQ(empty.Name(), "old");
}

TEST(QnDataDrive, SpaceAndSubdirectories) {
  QnDataDrive tones(QnData::kTypeTone);
  tones.SetCapacity(600);
  tones.SetFreeBytes(0);
  EXPECT_EQ(tones.UsedBytes(), 600u);
  tones.AddChild(new QnData(QnData::kTypeTone));
  EXPECT_FALSE(tones.HasSubdirectories());

  QnDataDrive registrations(QnData::kTypeRegistration);
  registrations.AddChild(new QnData(QnData::kTypeRegistration));
  registrations.AddChild(new QnDataDirectory(QnData::kTypeRegistration));
  EXPECT_TRUE(registrations.HasSubdirectories());
  EXPECT_EQ(registrations.ChildCount(), 2u);
  EXPECT_EQ(registrations.Child(1)->Kind(), 5);
}

// Every class at every level, with data buffers; AddressSanitizer reports a
// leak or a second release.
TEST(QnDataDrive, DestroyingTheRootDestroysTheWholeTreeOnce) {
  EntryPtr root(new QnDataDrive(QnData::kTypeKeyboard));
  auto* root_drive = static_cast<QnDataDrive*>(root.get());
  for (int d = 0; d < 3; ++d) {
    auto* drive = new QnDataDrive(QnData::kTypeSong);
    root_drive->AddChild(drive);
    for (int f = 0; f < 2; ++f) {
      auto* folder = new QnDataDirectory(QnData::kTypeSong);
      drive->AddChild(folder);
      auto* file = new QnDataFile(QnData::kTypeSong);
      file->SetSize(33);
      file->Data();
      folder->AddChild(file);
      folder->AddChild(new QnData(QnData::kTypeSong));
      folder->AddChild(new QnDataDirectory(QnData::kTypeSong));
    }
    drive->AddChild(new QnDataDrive(QnData::kTypeSong));
  }
  EXPECT_TRUE(root_drive->Child(0)->Kind() & QnData::kKindDrive);
  root.reset();
}

}  // namespace

TEST(KeyboardText, NameBytesAsTextAndBack) {
  // Every byte at the edges of the two ranges that carry a character.
  const std::string bytes = "\x1F\x20\x7E\x7F\xA0\xA1\xDF\xE0";
  EXPECT_EQ(KeyboardText::ToUtf8(bytes, "?"), "? ~??\uFF61\uFF9F?");
  EXPECT_EQ(KeyboardText::ToFileName("\xB1/\\\x01.."), "\uFF71___..");

  // Every byte with a character comes back as itself, except the tilde,
  // which a typed name never holds.
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    if (KeyboardText::Character(static_cast<unsigned char>(byte)) == 0 || byte == '~') continue;
    EXPECT_EQ(KeyboardText::FromUtf8(KeyboardText::ToUtf8(one)), one) << byte;
  }
  // Other characters give a "_" for each UTF-8 byte; broken UTF-8 one for each byte.
  EXPECT_EQ(KeyboardText::FromUtf8("~\xC3\xA9\xE3\x81\x82\xF0\x9F\x8E\xB9"), "__________");
  EXPECT_EQ(KeyboardText::FromUtf8("A\xC3\xE3\x81"), "A___");
}
