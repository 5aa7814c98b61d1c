#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "CliTestBase.h"
#include "platform/midi/MidiSystem.h"
#include "sim/Trv408.h"

namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

class CliFileTest : public CliTestBase {
 protected:
  std::string ImportInto(const std::string& address, const std::string& folder) {
    std::filesystem::create_directories(Path(folder));
    return Trimmed(Ok({"import", address, PathText(folder)}));
  }
  void WriteText(const std::string& name, const std::string& text) {
    std::ofstream(Path(name)) << text;
  }
};

TEST_F(CliFileTest, UsageErrorsExitWith2BeforeTalkingToTheKeyboard) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"list", "extra"},
      {"list", "--bogus"},
      {"import"},
      {"import", "tone/10"},
      {"import", "tone/-1"},
      {"import", "reg/4/0"},
      {"import", "reg/1"},
      {"import", "song/2"},
      {"import", "Tone/1"},
      {"import", "tone/1", "--json"},
      {"send", "file.lqd"},
      {"delete", "rhythm/4"},
      {"rename", "file.lqd"},
      {"rename", "file.lqd", ""},
      {"--in", "no port has this name", "list"},
      {"--out", "999", "list"},
      // Empty names and paths name nothing; they would fall back on the
      // built-in simulator or the current folder.
      {"--in", "", "--out", "", "list"},
      {"--log", "", "list"},
      {"backup", ""},
      {"send", "", "tone/0"},
      {"import", "tone/0", ""},
  };
  for (const auto& arguments : cases) {
    std::string command;
    for (const std::string& argument : arguments) command += argument + " ";
    const CliResult result = Cli(arguments);
    EXPECT_EQ(result.status, 2) << command;
    EXPECT_EQ(result.err.rfind("ravlin-cli: ", 0), 0u) << command << result.err;
    EXPECT_EQ(result.out, "") << command;
  }
  EXPECT_FALSE(std::filesystem::exists(memory_));
  EXPECT_EQ(Cli({"--help"}).status, 0);
}

TEST_F(CliFileTest, FailuresExitWith1AndTheCatalogText) {
  const CliResult tone = Cli({"delete", "tone/0"});
  EXPECT_EQ(tone.status, 1);
  EXPECT_EQ(tone.err, "ravlin-cli: tone/0: Not acceptable\n");

  WriteText("notes.lqd", "just some text, no data file at all, but long enough for a header");
  const CliResult notLqd = Cli({"info", PathText("notes.lqd")});
  EXPECT_EQ(notLqd.status, 1);
  EXPECT_EQ(notLqd.err, "ravlin-cli: " + PathText("notes.lqd") + ": No LQD file\n");
  EXPECT_EQ(Cli({"send", PathText("notes.lqd"), "tone/0"}).status, 1);

  const std::string file = ImportInto("tone/2", "in");
  const CliResult type = Cli({"send", file, "dsp/0"});
  EXPECT_EQ(type.status, 1);
  EXPECT_EQ(type.err, "ravlin-cli: dsp/0: Data type is different\n");
  // A batch is refused whole before its first item: the note names the pair.
  const CliResult batch = Cli({"send", file, "tone/3", file, "dsp/0"});
  EXPECT_EQ(batch.status, 1);
  EXPECT_EQ(batch.err, "ravlin-cli: " + file + " -> dsp/0: Data type is different\n");

  const CliResult missing = Cli({"info", PathText("missing.lqd")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(PathText("missing.lqd")), std::string::npos) << missing.err;

  const CliResult empty = Cli({"import", "song/1", dir_.string()});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("song/1"), std::string::npos) << empty.err;

  // In Japanese the tool's own errors and notes come from the catalog too.
  CliProcess japanese = cli_;
  japanese.SetEnv("LANG", "ja_JP.UTF-8");
  const std::vector<std::pair<std::vector<std::string>, std::string>> texts = {
      {{"info", PathText("notes.lqd")}, "このファイルはLQDファイルではありません"},
      {{"import", "song/1", dir_.string()}, "song/1: スロットにデータがありません"},
      {{"--in", "nothere", "list"}, "--in: 「nothere」を含むポート名はありません"},
      {{"import", "song/9"}, "「song/9」はスロットのアドレスではありません"},
      {{"backup", ""}, "FOLDER に空の値は指定できません"},
      {{"rename", file, "Elevenchars"}, "データ名「Elevenchars」は8文字に切り詰めました"},
      {{"list", "--bogus"}, "未知のオプション"},
  };
  for (const auto& [arguments, text] : texts) {
    const CliResult ja = japanese.Run(arguments);
    EXPECT_NE(ja.err.find(text), std::string::npos) << ja.err;
  }
}

// Output that cannot be written fails the command, whatever it did; a path
// with control characters stays on its one line.
TEST_F(CliFileTest, OutputThatCannotBeWrittenFailsAndEveryItemKeepsItsLine) {
  std::filesystem::create_directories(Path("in"));
  struct Case {
    std::optional<std::string> output;  // "": closed
    std::vector<std::string> arguments;
    std::string err;
  };
  const std::string full = "ravlin-cli: cannot write the output (No space left on device)\n";
  const std::vector<Case> cases = {
      {"/dev/full", {"list"}, full},
      {"", {"list"}, "ravlin-cli: cannot write the output (Bad file descriptor)\n"},
      {"/dev/full", {"import", "tone/0", PathText("in")}, full},
      {"/dev/full", {"--help"}, full},
      {std::nullopt,
       {"--log", "/dev/full", "free"},
       "ravlin-cli: cannot write the log /dev/full\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    CliProcess process = cli_;
    process.SetOutput(c.output);
    const CliResult result = process.Run(c.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, c.err);
  }

  const std::string odd = "in/a\nb\tc\x01";
  std::filesystem::create_directories(Path(odd));
  EXPECT_EQ(Ok({"import", "tone/0", PathText(odd)}),
            PathText("in/a\\nb\\tc\\x01") + "/TON_Piano 1 .lqd\n");
  const CliResult missing = Cli({"info", PathText(odd + "/x.lqd")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << missing.err;
  EXPECT_NE(missing.err.find("a\\nb\\tc\\x01/x.lqd"), std::string::npos) << missing.err;
}

// A named pipe is no data file: the tool says so at once instead of waiting
// for a writer. Should it wait, a writer that comes and goes after five
// seconds lets it go on, and the test fails instead of hanging.
TEST_F(CliFileTest, NamedPipeIsRefusedAtOnce) {
  const std::string pipe = PathText("pipe.lqd");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::atomic<bool> done{false};
  std::atomic<bool> waited{false};
  std::thread rescuer([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done) {
      if (std::chrono::steady_clock::now() >= deadline) {
        const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
          waited = true;
          close(fd);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const CliResult info = Cli({"info", pipe});
  const CliResult send = Cli({"send", pipe, "tone/0"});
  done = true;
  rescuer.join();
  EXPECT_FALSE(waited) << "the tool waited on the pipe";
  EXPECT_EQ(info.status, 1);
  EXPECT_EQ(info.err, "ravlin-cli: " + pipe + ": No LQD file\n");
  EXPECT_EQ(send.status, 1);
  EXPECT_EQ(send.err, "ravlin-cli: " + pipe + ": No LQD file\n");
}

TEST_F(CliFileTest, RenameFollowsThePropertyDialogsNameRules) {
  const std::string tone = ImportInto("tone/1", "in");
  const std::vector<uint8_t> before = ReadBytes(tone);

  // One "_" per byte outside 32 to 125 (a tilde, both bytes of an "é"), 8
  // bytes at most; a cut is said.
  const CliResult cut = Cli({"rename", tone,
                             "AB~\xC3\xA9"
                             "CDEFGHIJ"});
  EXPECT_EQ(cut.status, 0);
  EXPECT_EQ(cut.out, tone + ": \"AB___CDE\"\n");
  EXPECT_EQ(cut.err,
            "ravlin-cli: the data name 'AB~\xC3\xA9"
            "CDEFGHIJ' is cut to 8 characters: 'AB___CDE'\n");
  std::vector<uint8_t> after = ReadBytes(tone);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(std::string(after.begin() + 100, after.begin() + 108), "AB___CDE");
  for (size_t i = 0; i < after.size(); ++i) {
    if (i < 100 || i >= 108) {
      EXPECT_EQ(after[i], before[i]) << "byte " << i;
    }
  }
  EXPECT_NE(Ok({"info", tone}).find("Name:       \"AB___CDE\""), std::string::npos);

  Ok({"rename", tone, "Hi"});
  EXPECT_NE(Ok({"info", tone}).find("Name:       \"Hi      \""), std::string::npos);

  // A registration keeps its name pair-swapped in the header.
  const std::string reg = ImportInto("reg/0/0", "in");
  Ok({"rename", reg, "Stage"});
  after = ReadBytes(reg);
  EXPECT_EQ(std::string(after.begin() + 24, after.begin() + 32), "tSga e  ");
  EXPECT_NE(Ok({"info", reg}).find("Name:       \"Stage   \""), std::string::npos);

  const std::vector<uint8_t> unchanged = ReadBytes(tone);
  EXPECT_EQ(Cli({"rename", tone, ""}).status, 2);
  EXPECT_EQ(ReadBytes(tone), unchanged);
}

// Any data name can be imported: a byte that cannot stand in a file name is
// "_" in the file name only, and the name round-trips byte for byte.
TEST_F(CliFileTest, EveryDataNameImportsAndRoundTrips) {
  const std::string tone = ImportInto("tone/0", "in");
  Ok({"rename", tone, "a/../../"});
  Ok({"send", tone, "tone/4"});
  std::filesystem::create_directories(Path("out"));
  EXPECT_EQ(Trimmed(Ok({"import", "tone/4", PathText("out")})), PathText("out/TON_a_.._.._.lqd"));
  EXPECT_EQ(ReadBytes(Path("out/TON_a_.._.._.lqd")), ReadBytes(tone));

  // Half-width katakana (0xB1-0xB3), a backslash and a byte with no character.
  const sim::SlotId kana{sim::SlotKind::Tone, 0, 6};
  std::vector<uint8_t> item = KeyboardItem({sim::SlotKind::Tone, 0, 1});
  const uint8_t name[8] = {0xB1, 0xB2, 0xB3, '\\', 0xE0, ' ', ' ', ' '};
  std::copy(name, name + 8, item.begin() + 36);
  auto keyboard = Memory();
  keyboard->SetItem(kana, item);
  ASSERT_TRUE(keyboard->Save(memory_.string()));

  const std::string shown = "\uFF71\uFF72\uFF73\\\uFFFD   ";
  EXPECT_EQ(SlotJson("tone/6")["name"].toString().toStdString(), shown);
  EXPECT_NE(Ok({"list"}).find(shown), std::string::npos);
  const std::string imported = Trimmed(Ok({"import", "tone/6", PathText("out")}));
  EXPECT_EQ(imported, PathText("out/TON_\uFF71\uFF72\uFF73__   .lqd"));
  EXPECT_NE(Ok({"info", imported}).find("Name:       \"" + shown + "\""), std::string::npos);
  Ok({"send", imported, "tone/7"});
  EXPECT_EQ(KeyboardItem({sim::SlotKind::Tone, 0, 7}), item);

  // Typed katakana are stored as the keyboard's bytes.
  Ok({"rename", imported, "\uFF76\uFF85 ~"});
  const std::vector<uint8_t> renamed = ReadBytes(imported);
  EXPECT_EQ(std::string(renamed.begin() + 100, renamed.begin() + 108), "\xB6\xC5 _    ");
}

TEST_F(CliFileTest, FailedImportLeavesTheExistingFileAsItWas) {
  const std::string tone = ImportInto("tone/0", "in");
  const std::vector<uint8_t> existing(300, 'x');
  WriteBytes(tone, existing);

  CliProcess limited = cli_;
  limited.SetFileSizeLimit(100);  // the 124-byte file cannot be written
  const CliResult result = limited.Run({"import", "tone/0", PathText("in")});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find(tone), std::string::npos) << result.err;
  EXPECT_EQ(ReadBytes(tone), existing);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(Path("in"))) {
    ++files;
  }
  EXPECT_EQ(files, 1);  // no temporary file left behind
}

TEST_F(CliFileTest, SettingsGiveTheDefaultDevicesAndAreNeverWritten) {
  Ok({"free"});
  EXPECT_FALSE(std::filesystem::exists(Path("config/Vardo")));

  // A port that is gone by number but found again by its stored name.
  std::filesystem::create_directories(Path("config/Vardo"));
  const std::string settings = std::string("[MIDI]\nInputDevice=200\nInputDeviceName=") +
                               MidiSystem::kBuiltInName +
                               "\nOutputDevice=200\nOutputDeviceName=" + MidiSystem::kBuiltInName +
                               "\n\n[Directory]\nDefault=/tmp\n";
  WriteText("config/Vardo/Ravlin.ini", settings);
  Ok({"free"});

  // A stored port that is gone is never replaced by the built-in simulator.
  WriteText("config/Vardo/Ravlin.ini",
            "[MIDI]\nInputDevice=0\nInputDeviceName=USB MIDI Gone\nOutputDevice=0\n"
            "OutputDeviceName=USB MIDI Gone\n");
  EXPECT_EQ(Cli({"free"}).status, 1);

  // A stored number without a port: the settings are used, and opening fails.
  WriteText("config/Vardo/Ravlin.ini", "[MIDI]\nInputDevice=200\nOutputDevice=200\n");
  const CliResult result = Cli({"free"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err, "");
  // --in and --out win over the settings.
  Ok({"--in", "built-in", "--out", "built-in", "free"});

  std::ifstream in(Path("config/Vardo/Ravlin.ini"));
  const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, "[MIDI]\nInputDevice=200\nOutputDevice=200\n");
}

// The manual page and the shell completion know every command and option of
// the program's own help, and no others.
TEST_F(CliFileTest, HelpManualPageAndCompletionNameTheSameCommandsAndOptions) {
  using Names = std::set<std::string>;
  const auto matches = [](const std::string& text, const std::string& pattern) {
    Names names;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
         it != std::sregex_iterator(); ++it) {
      names.insert((*it)[1]);
    }
    return names;
  };
  // The part of `text` from the line `from` to the next line that starts with `to`.
  const auto section = [](const std::string& text, const std::string& from, const std::string& to) {
    const size_t start = text.find("\n" + from + "\n");
    if (start == std::string::npos) return std::string();
    const size_t end = text.find("\n" + to, start + from.size() + 2);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  };
  const auto read = [](const std::string& name) {
    std::ifstream in(std::string(RAVLIN_DATA_DIR) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };

  const std::string help = Ok({"--help"});
  const Names helpCommands = matches(section(help, "Commands:", "\n"), "\n  ([a-z]+)");
  Names helpOptions = matches(section(help, "Options:", "\n"), "\n +(?:-[a-z], )?--([a-z-]+)");
  helpOptions.erase("help-all");  // Qt's own, for its platform options
  ASSERT_EQ(helpCommands.size(), 12u) << help;

  const std::string page = read("man/ravlin-cli.1.in");
  EXPECT_EQ(matches(section(page, ".SH COMMANDS", ".SH"), "\\.TP\n\\.B[IR]? ([a-z]+)"),
            helpCommands);
  std::string options = section(page, ".SH OPTIONS", ".SH");
  // The page writes every hyphen of an option as "\-".
  options.erase(std::remove(options.begin(), options.end(), '\\'), options.end());
  EXPECT_EQ(matches(options, "--([a-z-]+)"), helpOptions);
  EXPECT_NE(section(page, ".SH EXIT STATUS", ".SH").find("130 and 143"), std::string::npos);

  const std::string completion = read("completion/ravlin-cli");
  std::smatch found;
  ASSERT_TRUE(std::regex_search(completion, found, std::regex("local commands='([^']*)'")));
  std::istringstream words(found[1]);
  EXPECT_EQ(Names(std::istream_iterator<std::string>(words), {}), helpCommands);
  ASSERT_TRUE(std::regex_search(completion, found, std::regex("compgen -W '(--[^']*)'")));
  EXPECT_EQ(matches(found[1], "--([a-z-]+)"), helpOptions);
}

}  // namespace
