#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/MsgStr.h"

namespace Ui {
class TKbdDrivePropertyForm;
}

// A keyboard drive's name with the bytes of its memory in use, free and in
// all. Shows only; takes no input.
class TKbdDrivePropertyForm : public QDialog {
  Q_OBJECT

 public:
  explicit TKbdDrivePropertyForm(QWidget* parent = nullptr);
  ~TKbdDrivePropertyForm() override;

  void ShowDriveName(const std::string& name);
  void ShowUsed(uint32_t bytes);
  void ShowFree(uint32_t bytes);
  void ShowCapacity(uint32_t bytes);

 private:
  QString Word(MsgStr::Word word) const;
  QString Bytes(uint32_t bytes) const;

  std::unique_ptr<Ui::TKbdDrivePropertyForm> ui_;
  const MsgStr msg_;
};
