#include "sim/Memory.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

constexpr const char* kFileMagic = "TRV-408 memory 1";

constexpr size_t kFirstDsp = Memory::kTones;
constexpr size_t kFirstRegistration = kFirstDsp + Memory::kDsps;
constexpr size_t kFirstSong = kFirstRegistration + Memory::kBanks * Memory::kRegistrationsPerBank;
constexpr size_t kFirstRhythm = kFirstSong + Memory::kSongs;

const char* KindWord(SlotKind kind) {
  switch (kind) {
    case SlotKind::Tone:
      return "tone";
    case SlotKind::Dsp:
      return "dsp";
    case SlotKind::Registration:
      return "registration";
    case SlotKind::Song:
      return "song";
    case SlotKind::Rhythm:
      return "rhythm";
  }
  return "";
}

std::optional<SlotKind> KindOfWord(const std::string& word) {
  for (SlotKind kind :
       {SlotKind::Tone, SlotKind::Dsp, SlotKind::Registration, SlotKind::Song, SlotKind::Rhythm}) {
    if (word == KindWord(kind)) return kind;
  }
  return std::nullopt;
}

// A small deterministic source of plausible parameter bytes.
class Filler {
 public:
  explicit Filler(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint8_t Next(uint8_t limit = 128) {
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<uint8_t>((state_ >> 16) % limit);
  }

 private:
  uint32_t state_;
};

std::vector<uint8_t> MakeItem(size_t size, uint32_t seed, size_t nameOffset,
                              const std::string& name) {
  Filler fill(seed);
  std::vector<uint8_t> data(size);
  for (auto& b : data) b = fill.Next();
  for (size_t i = 0; i < 8; ++i) data[nameOffset + i] = i < name.size() ? name[i] : ' ';
  return data;
}

// A song or rhythm: a short header, the name, then note events of delta
// time, note and velocity, closed by an end mark.
std::vector<uint8_t> MakeSequence(size_t size, uint32_t seed, size_t nameOffset,
                                  const std::string& name, uint8_t tempo) {
  Filler fill(seed);
  std::vector<uint8_t> data(size, 0);
  data[0] = 0x01;
  data[1] = tempo;
  size_t pos = nameOffset + 8;
  while (pos + 4 <= size - 2) {
    data[pos++] = 0x10 + fill.Next(0x30);
    data[pos++] = 36 + fill.Next(48);
    data[pos++] = 40 + fill.Next(80);
    data[pos++] = fill.Next(0x20);
  }
  data[size - 2] = 0x7F;
  data[size - 1] = 0x7F;
  for (size_t i = 0; i < 8; ++i) data[nameOffset + i] = i < name.size() ? name[i] : ' ';
  return data;
}

std::string Hex(const std::vector<uint8_t>& data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (uint8_t b : data) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

std::optional<std::vector<uint8_t>> FromHex(const std::string& text) {
  if (text == "-") return std::vector<uint8_t>{};
  if (text.size() % 2 != 0) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<uint8_t> data;
  data.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = digit(text[i]);
    int low = digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    data.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return data;
}

}  // namespace

Memory::Memory() {
  for (int s = 0; s < kTones; ++s) slots_[Index({SlotKind::Tone, 0, s})].assign(60, 0);
  for (int s = 0; s < kDsps; ++s) slots_[Index({SlotKind::Dsp, 0, s})].assign(36, 0);
  for (int b = 0; b < kBanks; ++b) {
    for (int s = 0; s < kRegistrationsPerBank; ++s) {
      slots_[Index({SlotKind::Registration, b, s})].assign(176, 0);
    }
  }
}

Memory Memory::Demo() {
  static const char* const kToneNames[] = {"Piano 1", "E.Piano", "Strings",  "BrassSec", "Organ 2",
                                           "SynthLd", "Flute",   "Nylon Gt", "FretBass", "WarmPad"};
  static const char* const kDspNames[] = {"Hall 1",  "Room",  "Stage",  "Plate",   "Chorus",
                                          "Flanger", "Delay", "Rotary", "Distort", "Echo"};
  Memory memory;
  for (int s = 0; s < Memory::kTones; ++s) {
    memory.slots_[Index({SlotKind::Tone, 0, s})] = MakeItem(60, 100 + s, 36, kToneNames[s]);
  }
  for (int s = 0; s < Memory::kDsps; ++s) {
    memory.slots_[Index({SlotKind::Dsp, 0, s})] = MakeItem(36, 200 + s, 0, kDspNames[s]);
  }
  for (int b = 0; b < kBanks; ++b) {
    for (int s = 0; s < kRegistrationsPerBank; ++s) {
      Filler fill(300 + b * 4 + s);
      auto& data = memory.slots_[Index({SlotKind::Registration, b, s})];
      for (auto& byte : data) byte = fill.Next();
    }
  }
  memory.slots_[Index({SlotKind::Song, 0, 0})] = MakeSequence(716, 400, 4, "DemoSong", 0x78);
  memory.slots_[Index({SlotKind::Rhythm, 0, 0})] = MakeSequence(412, 500, 2, "Bossa 2", 0x6E);
  memory.slots_[Index({SlotKind::Rhythm, 0, 1})] = MakeSequence(284, 501, 2, "Funk Grv", 0x60);
  return memory;
}

bool Memory::Valid(SlotId id) {
  switch (id.kind) {
    case SlotKind::Tone:
      return id.slot >= 0 && id.slot < kTones;
    case SlotKind::Dsp:
      return id.slot >= 0 && id.slot < kDsps;
    case SlotKind::Registration:
      return id.bank >= 0 && id.bank < kBanks && id.slot >= 0 && id.slot < kRegistrationsPerBank;
    case SlotKind::Song:
      return id.slot >= 0 && id.slot < kSongs;
    case SlotKind::Rhythm:
      return id.slot >= 0 && id.slot < kRhythms;
  }
  return false;
}

size_t Memory::FixedSize(SlotKind kind) {
  switch (kind) {
    case SlotKind::Tone:
      return 60;
    case SlotKind::Dsp:
      return 36;
    case SlotKind::Registration:
      return 176;
    default:
      return 0;
  }
}

std::optional<size_t> Memory::NameOffset(SlotKind kind) {
  switch (kind) {
    case SlotKind::Tone:
      return 36;
    case SlotKind::Dsp:
      return 0;
    case SlotKind::Song:
      return 4;
    case SlotKind::Rhythm:
      return 2;
    default:
      return std::nullopt;
  }
}

size_t Memory::Index(SlotId id) {
  if (!Valid(id)) throw std::out_of_range("no such slot");
  switch (id.kind) {
    case SlotKind::Tone:
      return id.slot;
    case SlotKind::Dsp:
      return kFirstDsp + id.slot;
    case SlotKind::Registration:
      return kFirstRegistration + id.bank * kRegistrationsPerBank + id.slot;
    case SlotKind::Song:
      return kFirstSong + id.slot;
    case SlotKind::Rhythm:
      return kFirstRhythm + id.slot;
  }
  throw std::out_of_range("no such slot");
}

const std::vector<uint8_t>& Memory::Item(SlotId id) const { return slots_[Index(id)]; }

void Memory::Check(SlotId id, const std::vector<uint8_t>& data) const {
  const size_t fixed = FixedSize(id.kind);
  if (fixed != 0) {
    if (data.size() != fixed) throw std::invalid_argument("wrong size for this slot");
    return;
  }
  if (data.size() % 2 != 0) throw std::invalid_argument("item data must be whole words");
  if (data.size() > RoomFor(id)) throw std::invalid_argument("not enough song and rhythm memory");
}

void Memory::SetItem(SlotId id, std::vector<uint8_t> data) {
  Check(id, data);
  slots_[Index(id)] = std::move(data);
}

void Memory::Clear(SlotId id) {
  auto& data = slots_[Index(id)];
  if (FixedSize(id.kind) != 0) {
    std::fill(data.begin(), data.end(), 0);
  } else {
    data.clear();
  }
}

uint32_t Memory::FreeBytes() const {
  uint32_t used = 0;
  for (size_t i = kFirstSong; i < slots_.size(); ++i) used += slots_[i].size();
  return used >= kSongRhythmMemory ? 0 : kSongRhythmMemory - used;
}

uint32_t Memory::RoomFor(SlotId id) const {
  return FreeBytes() + static_cast<uint32_t>(slots_[Index(id)].size());
}

bool Memory::Load(const std::string& path) {
  std::ifstream in(path);
  if (!in) return false;
  Memory loaded;
  std::array<bool, kSlots> seen{};
  std::string line;
  bool magic = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (!magic) {
      if (line != kFileMagic) return false;
      magic = true;
      continue;
    }
    std::istringstream fields(line);
    std::string word, hex, rest;
    SlotId id{SlotKind::Tone, 0, 0};
    if (!(fields >> word)) return false;
    auto kind = KindOfWord(word);
    if (!kind) return false;
    id.kind = *kind;
    if (id.kind == SlotKind::Registration && !(fields >> id.bank)) return false;
    if (!(fields >> id.slot >> hex) || (fields >> rest) || !Valid(id)) return false;
    auto data = FromHex(hex);
    const size_t index = Index(id);
    if (!data || seen[index]) return false;
    seen[index] = true;
    const size_t fixed = FixedSize(id.kind);
    if ((fixed != 0 && data->size() != fixed) || data->size() % 2 != 0) return false;
    loaded.slots_[index] = std::move(*data);
  }
  if (!magic || in.bad()) return false;
  for (bool s : seen) {
    if (!s) return false;
  }
  uint32_t used = 0;
  for (size_t i = kFirstSong; i < loaded.slots_.size(); ++i) used += loaded.slots_[i].size();
  if (used > kSongRhythmMemory) return false;
  *this = std::move(loaded);
  return true;
}

bool Memory::Save(const std::string& path) const {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!out) return false;
    out << kFileMagic << "\n";
    auto write = [&](SlotId id) {
      out << KindWord(id.kind) << ' ';
      if (id.kind == SlotKind::Registration) out << id.bank << ' ';
      const auto& data = slots_[Index(id)];
      out << id.slot << ' ' << (data.empty() ? std::string("-") : Hex(data)) << '\n';
    };
    for (int s = 0; s < kTones; ++s) write({SlotKind::Tone, 0, s});
    for (int s = 0; s < kDsps; ++s) write({SlotKind::Dsp, 0, s});
    for (int b = 0; b < kBanks; ++b) {
      for (int s = 0; s < kRegistrationsPerBank; ++s) write({SlotKind::Registration, b, s});
    }
    for (int s = 0; s < kSongs; ++s) write({SlotKind::Song, 0, s});
    for (int s = 0; s < kRhythms; ++s) write({SlotKind::Rhythm, 0, s});
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

}  // namespace sim
