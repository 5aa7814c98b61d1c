#include "CliTestBase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "sim/Trv408.h"

namespace {

QJsonObject FindSlot(const QJsonArray& entries, const QString& address) {
  for (const QJsonValue& value : entries) {
    const QJsonObject entry = value.toObject();
    if (entry.contains("folder")) {
      QJsonObject found = FindSlot(entry["entries"].toArray(), address);
      if (!found.isEmpty()) return found;
    } else if (entry["address"].toString() == address) {
      return entry;
    }
  }
  return {};
}

}  // namespace

void CliTestBase::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ravlin-cli-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  memory_ = dir_ / "memory.txt";
  cli_.SetEnv("HOME", (dir_ / "home").string());
  cli_.SetEnv("XDG_CONFIG_HOME", (dir_ / "config").string());
  cli_.SetEnv("XDG_DATA_HOME", (dir_ / "data").string());
  cli_.SetEnv("RAVLIN_SIM_MEMORY", memory_.string());
  // No system MIDI service: the tool talks to its built-in simulator, and a
  // JACK server running for other tests does not slow every run down.
  cli_.SetEnv("RAVLIN_MIDI_API", "none");
  cli_.SetEnv("LANG", "C");
  cli_.SetEnv("LC_ALL", std::nullopt);
  cli_.SetEnv("LC_MESSAGES", std::nullopt);
  cli_.SetEnv("LANGUAGE", std::nullopt);
}

void CliTestBase::TearDown() {
  std::error_code ignored;
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

std::string CliTestBase::Ok(const std::vector<std::string>& arguments) const {
  const CliResult result = Cli(arguments);
  std::string command;
  for (const std::string& argument : arguments) command += argument + " ";
  EXPECT_EQ(result.status, 0) << command << "\n" << result.err;
  EXPECT_EQ(result.err, "") << command;
  return result.out;
}

QJsonObject CliTestBase::ListJson() const {
  const std::string out = Ok({"list", "--json"});
  QJsonParseError error{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(out.data(), static_cast<qsizetype>(out.size())), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
  return document.object();
}

QJsonObject CliTestBase::SlotJson(const std::string& address) const {
  const QJsonObject list = ListJson();
  for (const QJsonValue& drive : list["drives"].toArray()) {
    QJsonObject found =
        FindSlot(drive.toObject()["entries"].toArray(), QString::fromStdString(address));
    if (!found.isEmpty()) return found;
  }
  ADD_FAILURE() << "no slot " << address;
  return {};
}

std::unique_ptr<sim::Trv408> CliTestBase::Memory() const {
  auto keyboard = std::make_unique<sim::Trv408>();
  EXPECT_TRUE(keyboard->Load(memory_.string()));
  return keyboard;
}

std::vector<uint8_t> CliTestBase::KeyboardItem(sim::SlotId id) const { return Memory()->Item(id); }

std::vector<uint8_t> CliTestBase::ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void CliTestBase::WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}
