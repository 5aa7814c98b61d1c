#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "midi/Task.h"
#include "protocol/KeyboardProbe.h"

class MsgStr;
class ProbeDriver;

namespace Ui {
class TPrefForm;
}

// The MIDI input and output devices and the default PC folder. A device
// number is the index of its name in the MIDI service's list (the built-in
// simulator last), -1 for none. The values change only with OK; Cancel puts
// back what was handed in. Detect asks every port for the keyboard and
// chooses the pair it answers on; it runs on `detection`, the window's
// driver, and closing the dialog stops it.
class TPrefForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPrefForm(ProbeDriver& detection, QWidget* parent = nullptr);
  ~TPrefForm() override;  // stops a detection under way

  void SetInputDevice(int32_t device);
  void SetOutputDevice(int32_t device);
  void SetDefaultFolder(const QString& folder);
  // Detect is refused while the keyboard works on the ports.
  void AllowDetect(bool allowed);
  // As a click on Detect: asks the ports while the dialog stays live.
  void Detect();
  int32_t InputDevice() const { return inputDevice_; }
  int32_t OutputDevice() const { return outputDevice_; }
  // The names of the chosen ports as the dialog listed them.
  QString InputDeviceName() const { return inputName_; }
  QString OutputDeviceName() const { return outputName_; }
  QString DefaultFolder() const { return defaultFolder_; }

 public slots:
  void reject() override;  // Cancel and Escape
  void done(int result) override;

 private:
  void ShowCaptions(const MsgStr& msg);
  void FormCreate();
  void OkBtnClick();
  void DirBrowseBtnClick();
  Task<void> Detection();
  void ShowFound(const std::vector<KeyboardProbe::Keyboard>& found);
  void DetectionEnded();
  void StopDetection();

  std::unique_ptr<Ui::TPrefForm> ui_;
  int32_t inputDevice_ = -1;
  int32_t outputDevice_ = -1;
  QString defaultFolder_;
  QString inputName_;
  QString outputName_;
  bool detectAllowed_ = true;
  ProbeDriver& driver_;
  std::unique_ptr<KeyboardProbe> probe_;  // while a detection runs
  Task<void> detection_;
};
