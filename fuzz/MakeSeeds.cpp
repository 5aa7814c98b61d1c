// Writes the seed corpora: real messages and data files, taken from the
// program's protocol object talking to the simulated keyboard through the
// scripted ports (every answer the keyboard gives is recorded as the
// script that replays it). Usage: fuzz_seeds FOLDER; one subfolder per
// target is replaced.

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ScriptedLink.h"
#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"
#include "files/ZipArchive.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "platform/SettingsStore.h"
#include "sim/Trv408.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kGeneral = 0;
constexpr uint8_t kTone = 2;
constexpr uint8_t kDsp = 9;
constexpr uint8_t kRhythm = 11;
constexpr uint8_t kRegistration = 12;

// The simulated keyboard at the far end of the scripted ports; what went
// each way since the last Clear.
class Session {
 public:
  Session() {
    ScriptedLink::Driver().Listen([this](const Bytes& message) {
      sent_.push_back(message);
      const auto answers = keyboard_.Receive(message);
      // A real port takes the first message only: no buffer waits for more.
      if (answers.empty()) return;
      answers_.push_back(answers.front());
      ScriptedLink::Driver().Queue(Script::Timing::kAnswer, answers.front());
    });
  }
  ~Session() { ScriptedLink::Driver().Listen(nullptr); }

  sim::Trv408& Keyboard() { return keyboard_; }
  void Clear() {
    sent_.clear();
    answers_.clear();
  }
  Bytes Answers() const { return Join(answers_); }
  Bytes Sent() const { return Join(sent_); }
  const std::vector<Bytes>& AnswerList() const { return answers_; }

  uint32_t Read(uint8_t category, uint32_t item, uint8_t number, uint8_t width, uint8_t index) {
    SysExAddress address{category, 0, item, nullptr, 0};
    SysExParam parameter;
    parameter.number = number;
    parameter.width = width;
    parameter.index[0] = index;
    ScriptedLink::Begin(QnSysEx::kRead, &address);
    ScriptedLink::Protocol().SetParameter(&parameter);
    RunToEnd(ScriptedLink::Protocol().Transact());
    return parameter.value;
  }

  void Write(uint8_t number, uint8_t width, uint32_t value) {
    SysExAddress address{kGeneral, 0, 0, nullptr, 0};
    SysExParam parameter;
    parameter.number = number;
    parameter.width = width;
    parameter.value = value;
    ScriptedLink::Begin(QnSysEx::kWrite, &address);
    ScriptedLink::Protocol().SetParameter(&parameter);
    RunToEnd(ScriptedLink::Protocol().Transact());
  }

  std::vector<uint16_t> Receive(uint8_t category, uint32_t item, uint32_t wordCount) {
    std::vector<uint16_t> words(wordCount);
    SysExAddress address{category, 0, item, words.data(), wordCount};
    ScriptedLink::Begin(QnSysEx::kReceiveBlocks, &address);
    RunToEnd(ScriptedLink::Protocol().Transact());
    return words;
  }

  void Send(uint8_t category, uint32_t item, std::vector<uint16_t>& words, uint32_t bytes) {
    SysExAddress address{category, bytes, item, words.data(), static_cast<uint32_t>(words.size())};
    ScriptedLink::Begin(QnSysEx::kSendBlocks, &address);
    RunToEnd(ScriptedLink::Protocol().Transact());
  }

 private:
  static Bytes Join(const std::vector<Bytes>& messages) {
    Bytes out;
    for (const auto& m : messages) Script::Append(out, Script::Timing::kAnswer, m);
    return out;
  }

  sim::Trv408 keyboard_;
  std::vector<Bytes> sent_;
  std::vector<Bytes> answers_;
};

// The same pattern as the send target puts in its buffer.
std::vector<uint16_t> Pattern(uint32_t wordCount) {
  std::vector<uint16_t> words(wordCount);
  for (uint32_t i = 0; i < wordCount; ++i) words[i] = static_cast<uint16_t>(i * 0x9E37u + 0x79B9u);
  return words;
}

void Put16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void Save(const fs::path& folder, const std::string& name, const Bytes& bytes) {
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + (folder / name).string());
}

fs::path Fresh(const fs::path& root, const std::string& target) {
  const fs::path folder = root / target;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

struct Item {
  const char* name;
  uint8_t category;
  uint32_t item;
  uint16_t type;
  uint32_t bytes;
};

const Item kItems[] = {
    {"tone", kTone, 384, QnData::kTypeTone, 60},
    {"dsp", kDsp, 101, QnData::kTypeDsp, 36},
    {"registration", kRegistration, 21, QnData::kTypeRegistration, 176},
    {"rhythm", kRhythm, 101, QnData::kTypeRhythm, 284},
};

void ReceiveSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_receive_blocks");
  Session session;
  auto header = [](const Item& item, uint32_t words) {
    Bytes out;
    Put16(out, words);
    out.push_back(item.category);
    Put16(out, item.item);
    return out;
  };
  for (const Item& item : kItems) {
    session.Clear();
    session.Receive(item.category, item.item, item.bytes / 2);
    Save(folder, item.name, header(item, item.bytes / 2) + session.Answers());
  }
  // A block spoilt on the way and sent again; an empty slot.
  session.Keyboard().SetFault(sim::Fault::BadChecksum, 1);
  session.Clear();
  session.Receive(kTone, 385, 30);
  Save(folder, "tone-bad-checksum", header(kItems[0], 30) + session.Answers());
  session.Clear();
  session.Receive(kRhythm, 103, 64);
  Save(folder, "rhythm-empty", header({"", kRhythm, 103, 0, 0}, 64) + session.Answers());
}

void SendSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_send_blocks");
  auto send = [&](const std::string& name, const Item& item, sim::Fault fault, int count) {
    Session session;
    session.Keyboard().SetFault(fault, count);
    auto words = Pattern((item.bytes + 1) / 2);
    try {
      session.Send(item.category, item.item, words, item.bytes);
    } catch (const QnException&) {
    }
    Bytes out;
    Put16(out, item.bytes);
    Put16(out, static_cast<uint32_t>(words.size()));
    out.push_back(item.category);
    Put16(out, item.item);
    Save(folder, name, out + session.Answers());
  };
  send("tone", kItems[0], sim::Fault::None, 0);
  send("registration", kItems[2], sim::Fault::None, 0);
  send("rhythm", kItems[3], sim::Fault::None, 0);
  send("registration-resend", kItems[2], sim::Fault::ResendRequests, 3);
  send("tone-reject", kItems[0], sim::Fault::Reject, 1);
  send("tone-error", kItems[0], sim::Fault::Error15, 1);
  send("tone-unknown-code", kItems[0], sim::Fault::UnknownCode, 1);
}

void ParameterSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_decode_parameter");
  struct Request {
    const char* name;
    uint8_t category;
    uint32_t item;
    uint8_t number;
    uint8_t width;
    uint8_t index;
  };
  const Request requests[] = {
      {"type", kGeneral, 0, 0x00, 14, 0},        {"free", kGeneral, 0, 0x22, 32, 0},
      {"rhythm-size", kGeneral, 0, 0x23, 32, 1}, {"rhythm-name", kGeneral, 0, 0x24, 32, 0},
      {"song-size", kGeneral, 0, 0x26, 32, 0},   {"tone-name", kTone, 384, 0x60, 32, 0},
      {"dsp-name", kDsp, 100, 0x31, 32, 0},
  };
  for (const Request& r : requests) {
    Session session;
    session.Read(r.category, r.item, r.number, r.width, r.index);
    Save(folder, r.name, Bytes{r.width, 1} + session.AnswerList().front());
  }
  // An answer too long for the port's buffer, as the port hands it on: cut.
  Session session;
  session.Keyboard().SetFault(sim::Fault::LongAnswer, 1);
  session.Read(kGeneral, 0, 0x22, 32, 0);
  const Bytes& answer = session.AnswerList().front();
  const auto kept = std::min<size_t>(answer.size(), MidiDev::kBufferSize);
  Save(folder, "free-long-answer", Bytes{32, 1} + Bytes(answer.begin(), answer.begin() + kept));
}

void BlockSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_decode_block");
  for (const Item& item : {kItems[0], kItems[2], kItems[3]}) {
    Session session;
    session.Receive(item.category, item.item, item.bytes / 2);
    const auto& blocks = session.AnswerList();
    // The last block: a short one where the item has several.
    const Bytes& block = blocks.size() > 1 ? blocks[blocks.size() - 2] : blocks.front();
    Bytes out;
    Put16(out, item.bytes / 2);
    Save(folder, item.name, out + block);
  }
}

// Entries and data files of the keyboard's items, received by the program.
void ReceiveItem(Session& session, const Item& item, QnDataFile& file) {
  const auto words = session.Receive(item.category, item.item, item.bytes / 2);
  file.SetType(item.type);
  file.SetSize(item.bytes);
  uint8_t* data = file.Data();
  for (size_t i = 0; i < words.size(); ++i) {
    data[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
    data[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
  file.LoadDataName();
}

void FileSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_lqd_file");
  Session session;
  for (const Item& item : kItems) {
    QnDataFile file;
    ReceiveItem(session, item, file);
    if (item.type == QnData::kTypeRegistration) file.StoreDataName("Preset1");
    LqdFileStream out((folder / (std::string(item.name) + ".lqd")).string(), LqdFileStream::Create);
    out.Write(file);
    out.Commit();
  }
}

void NameSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_data_name");
  Session session;
  for (const Item& item : kItems) {
    QnDataFile file;
    ReceiveItem(session, item, file);
    const auto& header = file.HeaderBytes();
    Bytes out(header.begin(), header.end());
    // Fill the data, load, store a new name, load; then shrink the item
    // below its name's place and store again.
    out.push_back(4);
    out.insert(out.end(), file.Data(), file.Data() + file.Size());
    out.push_back(0);
    const std::string name = "New name";
    out.push_back(1);
    out.push_back(static_cast<uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), {0, 2, 0, 8, 1, 3, 'A', 'B', 'C', 0});
    Save(folder, item.name, out);
  }
}

void SimSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_sim_receive");
  // The fault byte as the target reads it: the Fault, then its count.
  auto seed = [&](const std::string& name, uint8_t fault, auto&& talk) {
    Session session;
    session.Keyboard().SetFault(static_cast<sim::Fault>(fault & 0x0F), fault >> 4);
    try {
      talk(session);
    } catch (const QnException&) {
    }
    Save(folder, name, Bytes{fault} + session.Sent());
  };
  // The list as the program gets it.
  seed("list", 0x00, [](Session& s) {
    s.Read(kGeneral, 0, 0x00, 14, 0);
    s.Read(kGeneral, 0, 0x22, 32, 0);
    for (uint8_t i = 0; i < 2; ++i) s.Read(kTone, 384 + i, 0x60, 32, 0);
    s.Read(kDsp, 100, 0x30, 32, 0);
    s.Read(kDsp, 100, 0x31, 32, 0);
    for (uint8_t i = 0; i < 4; ++i) s.Read(kGeneral, 0, 0x23, 32, i);
    s.Read(kGeneral, 0, 0x24, 32, 0);
    s.Read(kGeneral, 0, 0x25, 32, 0);
    for (uint8_t i = 0; i < 2; ++i) s.Read(kGeneral, 0, 0x26, 32, i);
    s.Read(kGeneral, 0, 0x27, 32, 0);
  });
  seed("receive-tone", 0x00, [](Session& s) { s.Receive(kTone, 386, 30); });
  seed("receive-rhythm-bad-checksum", 0x12, [](Session& s) { s.Receive(kRhythm, 100, 206); });
  auto sendRegistration = [](Session& s) {
    auto words = Pattern(88);
    s.Send(kRegistration, 30, words, 176);
  };
  seed("send-registration", 0x00, sendRegistration);
  seed("send-registration-resend", 0x23, sendRegistration);
  seed("delete-and-send-rhythm", 0x00, [](Session& s) {
    s.Write(0x21, 8, 1);
    auto words = Pattern(100);
    s.Send(kRhythm, 102, words, 200);
    s.Read(kGeneral, 0, 0x22, 32, 0);
  });
}

Bytes Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A backup as the page hands it out and as another zip writer might have
// packed its folder; the data files are FileSeeds'.
void ZipSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_zip_archive");
  const fs::path files = root / "fuzz_lqd_file";
  const Bytes marker = Text("complete\n");
  Save(folder, "flat.zip",
       ZipArchive::Write({{".ravlin-backup", marker},
                          {"dsp-0.lqd", Contents(files / "dsp.lqd")},
                          {"tone-0.lqd", Contents(files / "tone.lqd")}}));
  Save(folder, "in-a-folder.zip",
       ZipArchive::Write({{"backup/", {}},
                          {"backup/.ravlin-backup", marker},
                          {"backup/reg-0-0.lqd", Contents(files / "registration.lqd")}}));
}

// In BackupFolderFuzz's records: name, kind, length, contents.
void BackupFolderSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_backup_folder");
  const fs::path files = root / "fuzz_lqd_file";
  const auto record = [](uint8_t name, uint8_t kind, const Bytes& contents) {
    return Bytes{name, kind, static_cast<uint8_t>(contents.size())} + contents;
  };
  // 0 is the marker, then the slots from "tone-0.lqd" (1), "dsp-0.lqd" (11)
  // and "reg-0-0.lqd" (21).
  const Bytes tone = record(1, 0, Contents(files / "tone.lqd"));
  const Bytes dsp = record(11, 0, Contents(files / "dsp.lqd"));
  Save(folder, "complete",
       record(0, 0, Text("complete\n")) + tone + dsp +
           record(21, 0, Contents(files / "registration.lqd")));
  Save(folder, "unfinished-with-links",
       tone + record(2, 4, {}) + record(0, 0, Text("unfinished\n")) + record(12, 3, {}));
  Save(folder, "pipe-and-folder", record(0, 2, {}) + record(1, 1, {}) + dsp);
}

void SettingsSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_settings_file");
  SettingsStore ports(QString::fromStdString((folder / "ports.ini").string()));
  ports.Save({1, 1, QStringLiteral("/home/user/music"), "USB MIDI 1", "TRV-408 Port 1"});
  SettingsStore window(QString::fromStdString((folder / "window.ini").string()));
  window.Save({5, 0, QString(), "", ""});
  window.SaveLayout(
      {QByteArray("\x01\xd9\xd0\xcb", 4), QByteArray(), QByteArray("ab"), QByteArray(), 2, 0});
}

void LineSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "fuzz_instance_line");
  const auto line = [](const std::string& path) {
    return Text(QString::fromStdString(path).toUtf8().toPercentEncoding().toStdString() + "\n");
  };
  Save(folder, "absolute", line("/music/a.lqd"));
  Save(folder, "newline-and-japanese", line("/tmp/\xE3\x82\xBD\n.lqd"));
  Save(folder, "relative", Text("music/a.lqd\n"));
}

// In CliAddressFuzz's form: the text, a NUL, the port names one a line.
void AddressSeeds(const fs::path& root) {
  using namespace std::string_literals;
  const fs::path folder = Fresh(root, "fuzz_cli_address");
  const auto seed = [&](const std::string& name, const std::string& text) {
    Save(folder, name, Bytes(text.begin(), text.end()));
  };
  seed("slot-and-ports", "reg/1/2\0Built-in keyboard\nUSB MIDI 1"s);
  seed("backup-name", "song-1.lqd\0a\nb"s);
  seed("port-part", "usb\0USB MIDI 1\nusb midi 2"s);
  seed("port-number", "1\0a\nb\nc"s);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  try {
    ReceiveSeeds(root);
    SendSeeds(root);
    ParameterSeeds(root);
    BlockSeeds(root);
    FileSeeds(root);
    NameSeeds(root);
    SimSeeds(root);
    ZipSeeds(root);
    BackupFolderSeeds(root);
    SettingsSeeds(root);
    LineSeeds(root);
    AddressSeeds(root);
  } catch (const QnException&) {
    std::fprintf(stderr, "the simulated keyboard did not answer as expected\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
