#include "dialogs/MidiMonitorModel.h"

#include <QColor>
#include <QFontDatabase>
#include <chrono>

#include "protocol/MessageLogWriter.h"

MidiMonitorModel::MidiMonitorModel(const MsgStr& messages, size_t capacity, QObject* parent)
    : QAbstractTableModel(parent),
      messages_(messages),
      capacity_(capacity),
      decoder_(messages.CurrentLanguage()) {}

QString MidiMonitorModel::Word(MsgStr::Word word) const {
  return QString::fromStdString(messages_.WordText(word));
}

int MidiMonitorModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MidiMonitorModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant MidiMonitorModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  const bool failure = row.direction == '!';
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kTime:
          return QString::number(row.seconds, 'f', 6);
        case kDirection:
          return Word(failure                ? MsgStr::kWordFailure
                      : row.direction == '>' ? MsgStr::kWordToKeyboard
                                             : MsgStr::kWordFromKeyboard);
        case kLength:
          return failure ? QVariant() : QVariant(static_cast<qulonglong>(row.bytes.size()));
        case kMeaning:
          return row.meaning;
        case kBytes:
          return QString::fromStdString(SysExDecoder::Hex(row.bytes.data(), row.bytes.size()));
        default:
          return {};
      }
    case Qt::ForegroundRole:
      return failure ? QVariant(QColor(Qt::red)) : QVariant();
    case Qt::FontRole:
      return index.column() == kBytes
                 ? QVariant(QFontDatabase::systemFont(QFontDatabase::FixedFont))
                 : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() == kTime || index.column() == kLength
                 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                 : QVariant();
    default:
      return {};
  }
}

QVariant MidiMonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const MsgStr::Word kTitles[] = {MsgStr::kWordColumnTime, MsgStr::kWordColumnDirection,
                                         MsgStr::kWordColumnLength, MsgStr::kWordColumnMeaning,
                                         MsgStr::kWordColumnBytes};
  return section >= 0 && section < kColumnCount ? QVariant(Word(kTitles[section])) : QVariant();
}

void MidiMonitorModel::Add(std::vector<MessageRecorder::Record> records) {
  if (records.empty()) return;
  std::vector<Row> added;
  added.reserve(records.size());
  for (MessageRecorder::Record& record : records) {
    if (!first_) first_ = record.at;
    Row row{std::chrono::duration<double>(record.at - *first_).count(), '!', {}, {}, {}};
    switch (record.kind) {
      case MessageRecorder::Kind::Sent:
      case MessageRecorder::Kind::Received: {
        const bool sent = record.kind == MessageRecorder::Kind::Sent;
        row.direction = sent ? '>' : '<';
        const auto direction =
            sent ? SysExDecoder::Direction::ToKeyboard : SysExDecoder::Direction::FromKeyboard;
        row.meaning = QString::fromStdString(decoder_.Meaning(record.bytes, direction));
        row.logged = logDecoder_.Meaning(record.bytes, direction);
        row.bytes = std::move(record.bytes);
        break;
      }
      case MessageRecorder::Kind::Failed:
        row.meaning = QString::fromStdString(messages_.MidiDevText(record.code, record.subCode));
        row.logged = english_.MidiDevText(record.code, record.subCode);
        break;
      case MessageRecorder::Kind::Stray:
        row.direction = '~';
        row.meaning = Word(MsgStr::kWordStray) + QStringLiteral(": ") +
                      QString::fromStdString(
                          decoder_.Meaning(record.bytes, SysExDecoder::Direction::FromKeyboard));
        row.logged = english_.WordText(MsgStr::kWordStray) + ": " +
                     logDecoder_.Meaning(record.bytes, SysExDecoder::Direction::FromKeyboard);
        row.bytes = std::move(record.bytes);
        break;
    }
    added.push_back(std::move(row));
  }
  // Only the newest rows can stay; then as many old ones go as make room.
  if (added.size() > capacity_) added.erase(added.begin(), added.end() - capacity_);
  const size_t overflow =
      rows_.size() + added.size() > capacity_ ? rows_.size() + added.size() - capacity_ : 0;
  if (overflow > 0) {
    beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(overflow));
    endRemoveRows();
  }
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  for (Row& row : added) rows_.push_back(std::move(row));
  endInsertRows();
}

void MidiMonitorModel::Clear() {
  beginResetModel();
  rows_.clear();
  first_.reset();
  endResetModel();
}

bool MidiMonitorModel::IsFailure(int row) const {
  return row >= 0 && row < rowCount() && rows_[static_cast<size_t>(row)].direction == '!';
}

QString MidiMonitorModel::LogText(const std::vector<int>& rows) const {
  std::string text;
  for (int index : rows) {
    if (index < 0 || index >= rowCount()) continue;
    const Row& row = rows_[static_cast<size_t>(index)];
    text +=
        MessageLogWriter::Line(row.seconds, row.direction,
                               SysExDecoder::Hex(row.bytes.data(), row.bytes.size()), row.logged);
  }
  return QString::fromStdString(text);
}

QString MidiMonitorModel::LogText() const {
  std::vector<int> all(rows_.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  return LogText(all);
}
