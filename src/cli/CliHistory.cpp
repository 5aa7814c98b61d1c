#include "CliHistory.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "CliCommands.h"
#include "CliError.h"
#include "ListPrinter.h"
#include "StopSignals.h"
#include "files/FileError.h"
#include "files/KeyboardText.h"
#include "files/SlotAddress.h"
#include "jobs/EntryView.h"
#include "jobs/JobEvents.h"
#include "jobs/KeyboardBackup.h"


struct CliHistory::Subcommand {
  const char* synopsis;
  int minArguments;
  int maxArguments;
  bool json;     // takes --json
  bool forgets;  // takes --item, --keyboard, --before, --all
  std::function<void(CliHistory&, const QStringList&)> run;
};

const std::map<QString, CliHistory::Subcommand>& CliHistory::Subcommands() {
  static const std::map<QString, Subcommand> subcommands{
      {"", {"history [--json]", 0, 0, true, false, [](CliHistory& h, auto&) { h.List(); }}},
      {"where", {"history where", 0, 0, false, false, [](CliHistory& h, auto&) { h.Where(); }}},
      {"show",
       {"history show ID [--json]", 1, 1, true, false,
        [](CliHistory& h, const QStringList& a) { h.Show(a[0]); }}},
      {"find",
       {"history find NAME [--json]", 1, 1, true, false,
        [](CliHistory& h, const QStringList& a) { h.Find(a[0]); }}},
      {"name-keyboard",
       {"history name-keyboard ID NAME", 2, 2, false, false,
        [](CliHistory& h, const QStringList& a) { h.NameKeyboard(a[0], a[1]); }}},
      {"forget",
       {"history forget ID|--item HASH|--keyboard NAME|--before DATE|--all", 0, 1, false, true,
        [](CliHistory& h, const QStringList& a) { h.Forget(a); }}},
      {"check", {"history check", 0, 0, false, false, [](CliHistory& h, auto&) { h.Check(); }}},
      {"export",
       {"history export ID FOLDER", 2, 2, false, false,
        [](CliHistory& h, const QStringList& a) { h.Export(a[0], a[1]); }}},
  };
  return subcommands;
}

namespace {

// Each line reaches the output whole before a signal can end the tool.
void Print(const QByteArray& bytes) {
  StopSignals::Hold hold;
  const auto size = static_cast<size_t>(bytes.size());
  if (std::fwrite(bytes.constData(), 1, size, stdout) != size || std::fflush(stdout) != 0) {
    throw CliError(CliError::Kind::Output,
                   CliError::Text(MsgStr::kWordCliOutputFailed, {std::strerror(errno)}));
  }
}
void Print(const QString& text) { Print(text.toUtf8()); }
void PrintJson(const QJsonObject& object) {
  Print(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

QString Text(const std::string& text) {
  return QString::fromStdString(CliCommands::PathText(text));
}

// A data name as the lists show it.
QString Caption(const std::string& name) { return Text(EntryView::Caption(name)); }

int64_t Number(const QString& text) {
  bool ok = false;
  const qint64 number = text.toLongLong(&ok);
  if (!ok || number <= 0)
    throw CliError::Usage(MsgStr::kWordCliHistoryNoNumber, {text.toStdString()});
  return number;
}

QDateTime Local(int64_t when) { return QDateTime::fromSecsSinceEpoch(when); }
QString WhenText(int64_t when) { return Local(when).toString("yyyy-MM-dd HH:mm:ss"); }
// With its offset from UTC, so that a program need not know the zone.
QString WhenJson(int64_t when) {
  const QDateTime local = Local(when);
  return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

// A day (its start) or a moment, in local time.
int64_t Date(const QString& text) {
  QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
  if (!moment.isValid()) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid()) moment = day.startOfDay();
  }
  if (!moment.isValid()) throw CliError::Usage(MsgStr::kWordCliHistoryNoDate, {text.toStdString()});
  return moment.toSecsSinceEpoch();
}

const char* Why(SnapshotReason why) {
  switch (why) {
    case SnapshotReason::List:
      return "list";
    case SnapshotReason::Backup:
      return "backup";
    case SnapshotReason::BeforeSend:
      return "before-send";
    case SnapshotReason::BeforeDelete:
      return "before-delete";
    case SnapshotReason::Restore:
      return "restore";
  }
  return "";
}

QString ShortHash(const std::string& hash) {
  return hash.empty() ? QString("-") : QString::fromStdString(hash.substr(0, 12));
}

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Says each file of an export as the backup puts it in place.
class ExportLines : public JobEvents {
 public:
  void Done(const Item& /*item*/, Kind kind, const std::string& path) override {
    Print(QString(kind == Kind::Removed ? "removed " : "") + Text(path) + "\n");
  }
};

}  // namespace

CliHistory::CliHistory(Options options) : options_(std::move(options)) {}

CliHistory::~CliHistory() = default;

void CliHistory::Run(const QStringList& arguments) {
  QStringList rest = arguments;
  const QString name = rest.isEmpty() ? QString() : rest.takeFirst();
  const auto found = Subcommands().find(name);
  if (found == Subcommands().end()) {
    throw CliError::Usage(MsgStr::kWordCliUnknownCommand, {"history " + name.toStdString()});
  }
  const Subcommand& subcommand = found->second;
  if (rest.size() < subcommand.minArguments || rest.size() > subcommand.maxArguments ||
      (options_.json && !subcommand.json) || (options_.Forgets() && !subcommand.forgets)) {
    throw CliError::Usage(MsgStr::kWordCliUsage,
                          {std::string("ravlin-cli [--history FILE] ") + subcommand.synopsis});
  }
  subcommand.run(*this, rest);
}

HistoryStore& CliHistory::Store() {
  if (!store_) store_ = std::make_unique<HistoryStore>(options_.file);
  return *store_;
}

std::string CliHistory::KeyboardLabel(int64_t keyboard) {
  for (const KeyboardInfo& info : Store().Keyboards()) {
    if (info.id != keyboard) continue;
    if (!info.name.empty()) return info.name;
    std::string in;
    std::string out;
    for (const std::string& port : info.inPorts) in += (in.empty() ? "" : ", ") + port;
    for (const std::string& port : info.outPorts) out += (out.empty() ? "" : ", ") + port;
    return in + " / " + out;
  }
  return std::to_string(keyboard);
}

void CliHistory::List() {
  std::map<int64_t, std::string> keyboards;
  const auto keyboardText = [&](int64_t id) -> const std::string& {
    auto known = keyboards.find(id);
    if (known == keyboards.end()) known = keyboards.emplace(id, KeyboardLabel(id)).first;
    return known->second;
  };
  const std::vector<SnapshotInfo> snapshots = Store().Snapshots();
  if (options_.json) {
    QJsonArray rows;
    for (const SnapshotInfo& s : snapshots) {
      rows.append(QJsonObject{{"id", qint64{s.id}},
                              {"when", WhenJson(s.when)},
                              {"keyboard", qint64{s.keyboard}},
                              {"keyboardName", QString::fromStdString(keyboardText(s.keyboard))},
                              {"why", Why(s.why)},
                              {"items", qint64{s.itemCount}}});
    }
    PrintJson(QJsonObject{{"snapshots", rows}});
    return;
  }
  std::vector<QStringList> rows{{"ID", "WHEN", "WHY", "ITEMS", "KEYBOARD"}};
  for (const SnapshotInfo& s : snapshots) {
    rows.push_back({QString::number(s.id), WhenText(s.when), Why(s.why),
                    QString::number(s.itemCount), Text(keyboardText(s.keyboard))});
  }
  Print(ListPrinter::Table(rows, {0, 3}));
}

void CliHistory::Show(const QString& id) {
  const int64_t number = Number(id);
  const std::optional<Snapshot> snapshot = Store().Get(number);
  if (!snapshot) throw CliError::Failure(MsgStr::kWordCliHistoryNoSnapshot, {id.toStdString()});
  if (options_.json) {
    QJsonArray slots;
    for (const SnapshotSlot& slot : snapshot->slots) {
      slots.append(QJsonObject{
          {"address", QString::fromStdString(slot.address)},
          {"name", QString::fromStdString(EntryView::Caption(slot.name))},
          {"size", static_cast<qint64>(slot.size)},
          {"hash", slot.hash.empty() ? QJsonValue() : QString::fromStdString(slot.hash)}});
    }
    PrintJson(QJsonObject{{"id", qint64{snapshot->id}},
                          {"when", WhenJson(snapshot->when)},
                          {"keyboard", qint64{snapshot->keyboard}},
                          {"why", Why(snapshot->why)},
                          {"slots", slots}});
    return;
  }
  std::vector<QStringList> rows{{"ADDRESS", "SIZE", "HASH", "NAME"}};
  for (const SnapshotSlot& slot : snapshot->slots) {
    rows.push_back({QString::fromStdString(slot.address), ListPrinter::SizeText(slot.size),
                    ShortHash(slot.hash), Caption(slot.name)});
  }
  Print(ListPrinter::Table(rows, {1}));
}

void CliHistory::Find(const QString& name) {
  // A data name is kept as the keyboard's 8 bytes, blanks and all; the user
  // types it without its trailing blanks.
  std::string bytes = KeyboardText::FromUtf8(name.toStdString());
  std::vector<ItemVersion> versions = Store().Find(bytes);
  if (bytes.size() < 8) {
    bytes.resize(8, ' ');
    const std::vector<ItemVersion> padded = Store().Find(bytes);
    versions.insert(versions.end(), padded.begin(), padded.end());
    std::stable_sort(versions.begin(), versions.end(), [](const auto& a, const auto& b) {
      return a.lastSeen != b.lastSeen ? a.lastSeen > b.lastSeen : a.lastSnapshot > b.lastSnapshot;
    });
  }
  if (options_.json) {
    QJsonArray rows;
    for (const ItemVersion& v : versions) {
      rows.append(QJsonObject{{"hash", QString::fromStdString(v.hash)},
                              {"type", v.type},
                              {"name", QString::fromStdString(EntryView::Caption(v.name))},
                              {"size", static_cast<qint64>(v.size)},
                              {"keyboard", qint64{v.keyboard}},
                              {"address", QString::fromStdString(v.address)},
                              {"firstSeen", WhenJson(v.firstSeen)},
                              {"lastSeen", WhenJson(v.lastSeen)},
                              {"lastSnapshot", qint64{v.lastSnapshot}}});
    }
    PrintJson(QJsonObject{{"versions", rows}});
    return;
  }
  std::vector<QStringList> rows{
      {"HASH", "ADDRESS", "SIZE", "FIRST SEEN", "LAST SEEN", "SNAPSHOT", "NAME", "KEYBOARD"}};
  for (const ItemVersion& v : versions) {
    rows.push_back({ShortHash(v.hash), QString::fromStdString(v.address),
                    ListPrinter::SizeText(v.size), WhenText(v.firstSeen), WhenText(v.lastSeen),
                    QString::number(v.lastSnapshot), Caption(v.name),
                    Text(KeyboardLabel(v.keyboard))});
  }
  Print(ListPrinter::Table(rows, {2, 5}));
}

void CliHistory::NameKeyboard(const QString& id, const QString& name) {
  const int64_t keyboard = Number(id);
  if (Store().NameKeyboard(keyboard, name.toStdString())) return;
  const std::vector<KeyboardInfo> keyboards = Store().Keyboards();
  const bool known = std::any_of(keyboards.begin(), keyboards.end(),
                                 [&](const KeyboardInfo& k) { return k.id == keyboard; });
  if (!known) throw CliError::Failure(MsgStr::kWordCliHistoryNoKeyboard, {id.toStdString()});
  throw CliError::Failure(MsgStr::kWordCliHistoryNameTaken, {name.toStdString()});
}

void CliHistory::Forget(const QStringList& arguments) {
  const int chosen = static_cast<int>(arguments.size()) + (options_.item ? 1 : 0) +
                     (options_.keyboard ? 1 : 0) + (options_.before ? 1 : 0) +
                     (options_.all ? 1 : 0);
  if (chosen != 1) {
    throw CliError::Usage(
        MsgStr::kWordCliUsage,
        {"ravlin-cli [--history FILE] " + std::string(Subcommands().at("forget").synopsis)});
  }
  ForgetCount count;
  if (!arguments.isEmpty()) {
    const int64_t id = Number(arguments[0]);
    count = Store().ForgetSnapshot(id);
    if (count.snapshots == 0) {
      throw CliError::Failure(MsgStr::kWordCliHistoryNoSnapshot, {arguments[0].toStdString()});
    }
  } else if (options_.item) {
    count = Store().ForgetItem(options_.item->toLower().toStdString());
    if (count.items == 0) {
      throw CliError::Failure(MsgStr::kWordCliHistoryNoItem, {options_.item->toStdString()});
    }
  } else if (options_.keyboard) {
    const std::string name = options_.keyboard->toStdString();
    const std::vector<KeyboardInfo> keyboards = Store().Keyboards();
    const auto named = std::find_if(keyboards.begin(), keyboards.end(),
                                    [&](const KeyboardInfo& k) { return k.name == name; });
    if (named == keyboards.end()) {
      throw CliError::Failure(MsgStr::kWordCliHistoryNoKeyboard, {name});
    }
    count = Store().ForgetKeyboard(named->id);
  } else if (options_.before) {
    const int64_t when = Date(*options_.before);
    count = Store().ForgetBefore(when);
  } else {
    count = Store().ForgetAll();
  }
  Print(QString::fromStdString(
            CliError::Text(MsgStr::kWordCliHistoryForgotten,
                           {std::to_string(count.snapshots), std::to_string(count.items)})) +
        "\n");
}

void CliHistory::Check() {
  const std::vector<HistoryProblem> problems = Store().Check();
  for (const HistoryProblem& problem : problems) {
    Print(QString::fromStdString(
              problem.kind == HistoryProblem::Kind::Item
                  ? CliError::Text(MsgStr::kWordCliHistoryBadItem, {problem.detail})
                  : CliCommands::PathText(problem.detail)) +
          "\n");
  }
  if (!problems.empty()) {
    throw CliError::Failure(MsgStr::kWordCliHistoryProblems, {std::to_string(problems.size())});
  }
}

void CliHistory::Export(const QString& id, const QString& folderText) {
  const int64_t number = Number(id);
  const std::optional<Snapshot> snapshot = Store().Get(number);
  if (!snapshot) throw CliError::Failure(MsgStr::kWordCliHistoryNoSnapshot, {id.toStdString()});
  // Read whole before the folder is touched.
  std::vector<std::pair<SlotAddress, std::vector<uint8_t>>> items;
  for (const SnapshotSlot& slot : snapshot->slots) {
    const std::optional<SlotAddress> address = SlotAddress::Parse(slot.address);
    if (!address) continue;
    std::optional<std::vector<uint8_t>> bytes;
    if (!slot.hash.empty()) bytes = Store().ItemBytes(slot.hash);
    if (!bytes) {
      std::fprintf(stderr, "ravlin-cli: %s\n",
                   CliError::Text(MsgStr::kWordCliHistoryLightSlot, {slot.address}).c_str());
      continue;
    }
    items.emplace_back(*address, std::move(*bytes));
  }
  if (items.empty()) throw CliError::Failure(MsgStr::kWordCliHistoryNoData, {id.toStdString()});

  const std::string folder = LocalPath(QDir::cleanPath(folderText));
  if (!QDir().mkpath(folderText)) throw FileError(FileError::Op::Create, folder, "cannot create");
  // A signal lets the files be put in place whole.
  StopSignals::Hold hold;
  ExportLines lines;
  KeyboardBackup(&lines).Place(folder, items);
}

void CliHistory::Where() { Print(Text(options_.file) + "\n"); }
