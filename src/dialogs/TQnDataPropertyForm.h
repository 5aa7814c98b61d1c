#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/MsgStr.h"

namespace Ui {
class TQnDataPropertyForm;
}

class QLabel;

// The properties of one item of either list: its file name, data type, size
// and folder, and for a data file on the PC the data name stored inside it.
// The dialog only shows and collects; the caller fills it from the item's
// entry and, after an accepted dialog, writes the new name into the file.
class TQnDataPropertyForm : public QDialog {
  Q_OBJECT

 public:
  explicit TQnDataPropertyForm(QWidget* parent = nullptr);
  ~TQnDataPropertyForm() override;

  void SetFileName(const QString& name);
  void SetLocation(const QString& folder);
  void ShowNameField(bool show);
  void SetDataType(uint16_t type);
  void SetDataSize(uint32_t size);
  // The entry's name, up to its first NUL as an edit control takes it.
  void SetDataName(const std::string& name);
  // Shows the dialog modally; true only after OK with a non-empty name.
  bool Execute();
  // At most 8 characters, each from blank (32) to "}" (125).
  std::string DataName() const;

 public slots:
  void reject() override;  // Cancel and Escape: not accepted

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void NameEditChange();
  void OkBtnClick();
  void ShowElided(QLabel* label, const QString& text);
  QString Word(MsgStr::Word word) const;

  std::unique_ptr<Ui::TQnDataPropertyForm> ui_;
  const MsgStr msg_;
  bool accepted_ = false;
  QString fileName_;
  QString location_;
};
