#pragma once

#include <QString>
#include <memory>
#include <string>

#include "DeviceSelector.h"
#include "files/SlotAddress.h"

class KeyboardSession;
class MsgStr;

// The commands of the tool. Each throws what it cannot do; Context() then
// names the file or slot it was working on.
class CliCommands {
 public:
  CliCommands(const MsgStr& messages, const QString& inDevice, const QString& outDevice, bool json);
  ~CliCommands();

  void Devices();
  // Finds keyboards on the MIDI ports; none found is a failure.
  void Detect();
  void List();
  void Free();
  // Addresses, then the folder if the last argument is none.
  void Import(const QStringList& arguments);
  // Pairs of a file and an address.
  void Send(const QStringList& arguments);
  void Delete(const QString& address);
  void Backup(const QString& folder);
  void Restore(const QString& folder);
  void Info(const QString& file);
  void Rename(const QString& file, const QString& name);

  const std::string& Context() const { return context_; }

  // The data name the property dialog would store for `text`: blank to "}"
  // and half-width katakana as they are, one "_" for every UTF-8 byte of any
  // other character, at most 8 bytes.
  static std::string DataName(const QString& text);
  // A path as one line shows it: a newline as \n, a tab as \t and any other
  // control character as \xHH.
  static std::string PathText(const std::string& path);

 private:
  KeyboardSession& Session();
  static SlotAddress Address(const QString& text);

  const MsgStr& messages_;
  QString inDevice_;
  QString outDevice_;
  bool json_;
  DeviceSelector devices_;
  std::unique_ptr<KeyboardSession> session_;
  std::string context_;
};
