#include "dialogs/TPrefForm.h"

#include <QApplication>
#include <QEventLoop>
#include <thread>

#include "dialogs/TDirBrowseForm.h"
#include "platform/midi/MidiSystem.h"
#include "platform/midi/KeyboardDetector.h"
#include "protocol/MsgStr.h"
#include "ui_TPrefForm.h"

namespace {

void Select(QComboBox* box, int32_t device) {
  box->setCurrentIndex(device >= 0 && device < box->count() ? device : -1);
}

}  // namespace

TPrefForm::TPrefForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::TPrefForm>()) {
  ui_->setupUi(this);
  const MsgStr msg;
  ui_->DetectBtn->setText(QString::fromStdString(msg.WordText(MsgStr::kWordDetect)));
  ui_->DetectBtn->setToolTip(QString::fromStdString(msg.WordText(MsgStr::kWordDetectHint)));
  connect(ui_->OkBtn, &QPushButton::clicked, this, &TPrefForm::OkBtnClick);
  connect(ui_->CancelBtn, &QPushButton::clicked, this, &TPrefForm::reject);
  connect(ui_->DirBrowseBtn, &QPushButton::clicked, this, &TPrefForm::DirBrowseBtnClick);
  connect(ui_->DetectBtn, &QPushButton::clicked, this, &TPrefForm::DetectBtnClick);
  FormCreate();
}

TPrefForm::~TPrefForm() = default;

void TPrefForm::FormCreate() {
  MidiSystem& midi = MidiSystem::Instance();
  for (const std::string& name : midi.InputNames())
    ui_->MidiInDevBox->addItem(QString::fromStdString(name));
  for (const std::string& name : midi.OutputNames())
    ui_->MidiOutDevBox->addItem(QString::fromStdString(name));
  Select(ui_->MidiInDevBox, inputDevice_);
  Select(ui_->MidiOutDevBox, outputDevice_);
}

void TPrefForm::SetInputDevice(int32_t device) {
  inputDevice_ = device;
  Select(ui_->MidiInDevBox, device);
}

void TPrefForm::SetOutputDevice(int32_t device) {
  outputDevice_ = device;
  Select(ui_->MidiOutDevBox, device);
}

void TPrefForm::SetDefaultFolder(const QString& folder) {
  defaultFolder_ = folder;
  ui_->DefDirEdit->setText(folder);
}

void TPrefForm::OkBtnClick() {
  inputDevice_ = ui_->MidiInDevBox->currentIndex();
  outputDevice_ = ui_->MidiOutDevBox->currentIndex();
  inputName_ = ui_->MidiInDevBox->currentText();
  outputName_ = ui_->MidiOutDevBox->currentText();
  defaultFolder_ = ui_->DefDirEdit->text();
  accept();
}

void TPrefForm::reject() {
  Select(ui_->MidiInDevBox, inputDevice_);
  Select(ui_->MidiOutDevBox, outputDevice_);
  ui_->DefDirEdit->setText(defaultFolder_);
  QDialog::reject();
}

// Detection takes a moment a silent port: it runs beside the dialog, which
// keeps painting and takes no input meanwhile.
void TPrefForm::DetectBtnClick() {
  ui_->DetectBtn->setEnabled(false);
  ui_->DetectLbl->setText(QString::fromStdString(MsgStr().WordText(MsgStr::kWordDetecting)));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  KeyboardDetector::Result result;
  QEventLoop loop;
  std::thread worker([&] {
    result = MidiSystem::Instance().DetectKeyboards();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  QApplication::restoreOverrideCursor();
  ui_->DetectBtn->setEnabled(true);

  const std::vector<KeyboardDetector::Keyboard> found = result.Served();
  if (found.empty()) {
    ui_->DetectLbl->setText(
        QString::fromStdString(MsgStr().KbdDrvText(KeyboardDetector::kNoKeyboardFound)));
    return;
  }
  Select(ui_->MidiInDevBox, static_cast<int32_t>(found.front().in.number));
  Select(ui_->MidiOutDevBox, static_cast<int32_t>(found.front().out.number));
  ui_->DetectLbl->setText(
      found.size() == 1 ? QString()
                        : QString::fromStdString(MsgStr().WordText(MsgStr::kWordKeyboardsAnswered))
                              .arg(found.size()));
}

void TPrefForm::DirBrowseBtnClick() {
  TDirBrowseForm picker(this);
  picker.SetStartFolder(ui_->DefDirEdit->text());
  picker.exec();
  ui_->DefDirEdit->setText(picker.Result());
}
