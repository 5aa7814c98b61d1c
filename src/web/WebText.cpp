#include "WebText.h"

#include <algorithm>
#include <cstdio>

#include "jobs/JobFailure.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiResult.h"
#include "protocol/MsgStr.h"
#include "sim/Trv408.h"

namespace web_text {

namespace {

// The window's captions carry a mnemonic ("&Detect", "検出(&D)"); the page
// has none.
std::string Plain(std::string text) {
  if (const size_t at = text.find("(&"); at != std::string::npos) return text.erase(at, 4);
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  return text;
}

}  // namespace

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string Object(const std::vector<std::pair<std::string, std::string>>& texts) {
  std::string json = "{";
  for (const auto& [key, text] : texts) {
    if (json.size() > 1) json += ",";
    json += Quoted(key) + ":" + Quoted(text);
  }
  return json + "}";
}

std::string EngineTexts(const MsgStr& messages) {
  const auto word = [&messages](MsgStr::Word w) { return messages.WordText(w); };
  return Object({
      {"getList", word(MsgStr::kWordGetList)},
      {"import", word(MsgStr::kWordImport)},
      {"send", word(MsgStr::kWordSend)},
      {"delete", word(MsgStr::kWordDelete)},
      {"cancel", word(MsgStr::kWordCancel)},
      {"cancelHint", word(MsgStr::kWordCancelHint)},
      {"detect", Plain(word(MsgStr::kWordDetect))},
      {"detectHint", word(MsgStr::kWordDetectHint)},
      {"detecting", word(MsgStr::kWordDetecting)},
      {"connect", word(MsgStr::kWordConnect)},
      {"input", word(MsgStr::kWordMidiInputPort)},
      {"output", word(MsgStr::kWordMidiOutputPort)},
      {"noDevice", word(MsgStr::kWordNoDevice)},
      {"notConnected", word(MsgStr::kWordNotConnected)},
      {"builtIn", sim::Trv408::kPortName},
      {"keyboardMemory", word(MsgStr::kWordKeyboardMemory)},
      {"items", word(MsgStr::kWordItems)},
      {"name", word(MsgStr::kWordColumnName)},
      {"type", word(MsgStr::kWordColumnType)},
      {"size", word(MsgStr::kWordColumnSize)},
      {"driveSpace", word(MsgStr::kWordDriveSpace)},
      {"progress", word(MsgStr::kWordProgress)},
      {"folder", messages.FolderText(0)},
      {"midiRefused", word(MsgStr::kWordMidiRefused)},
      {"portBusy", word(MsgStr::kWordMidiPortBusy)},
      {"noWebMidi", word(MsgStr::kWordNoWebMidi)},
      {"simulatorNote", word(MsgStr::kWordSimulatorNote)},
      {"firefoxPermission", word(MsgStr::kWordFirefoxPermission)},
      {"noMidiService", messages.MidiResultText(midi_result::kNoDriver, true)},
      {"model", QnKbdDrv::kModelName},
      {"backUp", Plain(word(MsgStr::kWordBackUpMenu))},
      {"backUpHint", word(MsgStr::kWordBackUp)},
      {"restore", Plain(word(MsgStr::kWordRestoreMenu))},
      {"restoreHint", word(MsgStr::kWordRestore)},
      {"monitor", word(MsgStr::kWordMonitor)},
      {"pause", Plain(word(MsgStr::kWordPause))},
      {"pauseHint", word(MsgStr::kWordPauseHint)},
      {"clear", Plain(word(MsgStr::kWordClear))},
      {"saveAs", Plain(word(MsgStr::kWordSaveAsMenu))},
      {"messages", word(MsgStr::kWordMessages)},
      {"columnTime", word(MsgStr::kWordColumnTime)},
      {"columnDirection", word(MsgStr::kWordColumnDirection)},
      {"columnLength", word(MsgStr::kWordColumnLength)},
      {"columnMeaning", word(MsgStr::kWordColumnMeaning)},
      {"columnBytes", word(MsgStr::kWordColumnBytes)},
  });
}

std::string FailureText(const JobFailure& failure, const std::string& shownPath) {
  const std::string text = failure.Text(shownPath);
  return failure.FileFailed() ? text + "\n" + failure.Reason() : text;
}

}  // namespace web_text
