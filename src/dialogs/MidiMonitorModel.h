#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "protocol/MessageRecorder.h"
#include "protocol/MsgStr.h"
#include "protocol/SysExDecoder.h"

// The rows of the MIDI monitor: time, direction, length, meaning and bytes
// of each message, at most `capacity` of them, the oldest dropped first.
// Meanings are worked out once, when records are added, in their order, so
// that the decoders can follow a transfer: in the user's language for the
// display, in English for the log text, which is a format.
class MidiMonitorModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kTime, kDirection, kLength, kMeaning, kBytes, kColumnCount };

  MidiMonitorModel(const MsgStr& messages, size_t capacity, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Add(std::vector<MessageRecorder::Record> records);
  void Clear();
  bool IsFailure(int row) const;
  // Rows in the message log's text format, one line each.
  QString LogText(const std::vector<int>& rows) const;
  QString LogText() const;

 private:
  struct Row {
    double seconds;
    char direction;  // '>' to the keyboard, '<' from it, '!' a failure
    std::vector<uint8_t> bytes;
    QString meaning;
    std::string logged;  // the meaning in the log text
  };

  QString Word(MsgStr::Word word) const;

  const MsgStr& messages_;
  const MsgStr english_{MsgStr::Language::English};
  const size_t capacity_;
  std::deque<Row> rows_;
  SysExDecoder decoder_;
  SysExDecoder logDecoder_;
  std::optional<MidiClock::TimePoint> first_;
};
