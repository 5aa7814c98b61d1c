#pragma once

#include <QString>
#include <memory>
#include <string>

#include "DeviceSelector.h"
#include "files/SlotAddress.h"
#include "midi/Task.h"

class HistoryStore;
class KeyboardJobs;
class MsgStr;
class QnData;
class QnKbdDrv;

// The commands of the tool. The keyboard's work is the job layer's: a
// command turns its arguments into a job's request and prints what the job
// tells. Each throws what it cannot do; Context() then names the file or
// slot it was working on.
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

  // The history file the jobs write, opened with the first job; `keep` as
  // KeyboardJobs::HistoryUse.
  void UseHistory(std::string path, bool keep);

  const std::string& Context() const { return context_; }

  // A path as one line shows it: a newline as \n, a tab as \t and any other
  // control character as \xHH.
  static std::string PathText(const std::string& path);

 private:
  class Lines;

  // The jobs on the chosen ports, which are opened first. A store that
  // cannot be opened fails a job that `replaces` items and would keep them;
  // the other jobs go on without a history, which is noted.
  KeyboardJobs& Jobs(bool replaces = false);
  void OpenHistory(bool replaces);
  // The keyboard with its list read.
  QnKbdDrv& Listed();
  // Runs one job to its end.
  void Run(Task<void> job);
  static QnData* Slot(const QnKbdDrv& keyboard, const SlotAddress& address);
  static SlotAddress Address(const QString& text);

  const MsgStr& messages_;
  QString inDevice_;
  QString outDevice_;
  bool json_;
  DeviceSelector devices_;
  std::unique_ptr<Lines> lines_;
  std::string historyPath_;
  bool keep_ = true;
  std::unique_ptr<HistoryStore> history_;  // outlives the jobs
  std::unique_ptr<KeyboardJobs> jobs_;
  std::string ports_;  // the keyboard, named by its ports
  std::string context_;
};
