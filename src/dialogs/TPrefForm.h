#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <thread>

#include "protocol/KeyboardProbe.h"

class MsgStr;

namespace Ui {
class TPrefForm;
}

// The MIDI input and output devices and the default PC folder. A device
// number is the index of its name in the MIDI service's list (the built-in
// simulator last), -1 for none. The values change only with OK; Cancel puts
// back what was handed in. Detect asks every port for the keyboard and
// chooses the pair it answers on.
class TPrefForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPrefForm(QWidget* parent = nullptr);
  ~TPrefForm() override;  // waits for a detection under way

  void SetInputDevice(int32_t device);
  void SetOutputDevice(int32_t device);
  void SetDefaultFolder(const QString& folder);
  // Detect is refused while the keyboard works on the ports.
  void AllowDetect(bool allowed);
  // As a click on Detect: asks the ports beside the live dialog.
  void Detect();
  int32_t InputDevice() const { return inputDevice_; }
  int32_t OutputDevice() const { return outputDevice_; }
  // The names of the chosen ports as the dialog listed them.
  QString InputDeviceName() const { return inputName_; }
  QString OutputDeviceName() const { return outputName_; }
  QString DefaultFolder() const { return defaultFolder_; }

 public slots:
  void reject() override;  // Cancel and Escape

 private:
  void ShowCaptions(const MsgStr& msg);
  void FormCreate();
  void OkBtnClick();
  void DirBrowseBtnClick();
  void DetectionEnded(const KeyboardProbe::Result& result);

  std::unique_ptr<Ui::TPrefForm> ui_;
  int32_t inputDevice_ = -1;
  int32_t outputDevice_ = -1;
  QString defaultFolder_;
  QString inputName_;
  QString outputName_;
  bool detectAllowed_ = true;
  std::thread detection_;
};
