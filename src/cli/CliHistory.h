#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "history/HistoryStore.h"

// The history command: what the store kept of the keyboards' memory, read,
// named, forgotten, checked and written out as a backup folder. It needs no
// keyboard. Each subcommand throws what it cannot do: a CliError, or the
// store's and the files' own exceptions.
class CliHistory {
 public:
  struct Options {
    std::string file;  // the store
    bool json = false;
    // What `forget` forgets besides a snapshot.
    std::optional<QString> item;
    std::optional<QString> keyboard;
    std::optional<QString> before;
    bool all = false;

    bool Forgets() const { return item || keyboard || before || all; }
  };

  explicit CliHistory(Options options);
  ~CliHistory();

  // The subcommand and its arguments; none lists the snapshots.
  void Run(const QStringList& arguments);

 private:
  struct Subcommand;
  static const std::map<QString, Subcommand>& Subcommands();

  HistoryStore& Store();
  // The keyboard as a person knows it: its name, else the ports it was met on.
  std::string KeyboardLabel(int64_t keyboard);
  void List();
  void Show(const QString& id);
  void Find(const QString& name);
  void NameKeyboard(const QString& id, const QString& name);
  void Forget(const QStringList& arguments);
  void Check();
  void Export(const QString& id, const QString& folder);
  void Where();

  Options options_;
  std::unique_ptr<HistoryStore> store_;
};
