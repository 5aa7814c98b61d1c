#include "dialogs/TPrefForm.h"

#include <QStringList>

#include "dialogs/TDirBrowseForm.h"
#include "platform/midi/MidiSystem.h"
#include "protocol/KeyboardProbe.h"
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
  // Which ports answered may take more than the row's width.
  ui_->DetectLbl->setWordWrap(true);
  ShowCaptions(msg);
  connect(ui_->OkBtn, &QPushButton::clicked, this, &TPrefForm::OkBtnClick);
  connect(ui_->CancelBtn, &QPushButton::clicked, this, &TPrefForm::reject);
  connect(ui_->DirBrowseBtn, &QPushButton::clicked, this, &TPrefForm::DirBrowseBtnClick);
  connect(ui_->DetectBtn, &QPushButton::clicked, this, &TPrefForm::Detect);
  FormCreate();
}

TPrefForm::~TPrefForm() {
  if (detection_.joinable()) detection_.join();
}

void TPrefForm::ShowCaptions(const MsgStr& msg) {
  const auto word = [&msg](MsgStr::Word w) { return QString::fromStdString(msg.WordText(w)); };
  setWindowTitle(word(MsgStr::kWordPreference));
  ui_->PageControl1->setTabText(ui_->PageControl1->indexOf(ui_->DirTab),
                                word(MsgStr::kWordDirectories));
  ui_->Label1->setText(word(MsgStr::kWordInputDevice));
  ui_->Label2->setText(word(MsgStr::kWordOutputDevice));
  ui_->DirBrowseBtn->setText(word(MsgStr::kWordBrowse));
  ui_->OkBtn->setText(word(MsgStr::kWordOk));
  ui_->CancelBtn->setText(word(MsgStr::kWordCancel));
}

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

void TPrefForm::AllowDetect(bool allowed) {
  detectAllowed_ = allowed;
  ui_->DetectBtn->setEnabled(allowed && !detection_.joinable());
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

// Detection takes a moment a silent port: it runs on a thread of its own and
// hands its result to the dialog's event loop, so that the dialog stays live
// meanwhile.
void TPrefForm::Detect() {
  if (detection_.joinable() || !detectAllowed_) return;
  ui_->DetectBtn->setEnabled(false);
  ui_->DetectLbl->setText(QString::fromStdString(MsgStr().WordText(MsgStr::kWordDetecting)));
  setCursor(Qt::BusyCursor);
  detection_ = std::thread([this] {
    const KeyboardProbe::Result result = MidiSystem::Instance().DetectKeyboards();
    QMetaObject::invokeMethod(
        this, [this, result] { DetectionEnded(result); }, Qt::QueuedConnection);
  });
}

void TPrefForm::DetectionEnded(const KeyboardProbe::Result& result) {
  detection_.join();
  unsetCursor();
  ui_->DetectBtn->setEnabled(detectAllowed_);
  const MsgStr msg;
  const std::vector<KeyboardProbe::Keyboard> found = result.Served();
  if (found.empty()) {
    ui_->DetectLbl->setText(QString::fromStdString(msg.WordText(MsgStr::kWordPortsStay)));
    return;
  }
  Select(ui_->MidiInDevBox, static_cast<int32_t>(found.front().in.number));
  Select(ui_->MidiOutDevBox, static_cast<int32_t>(found.front().out.number));
  QStringList pairs;
  for (const KeyboardProbe::Keyboard& keyboard : found) {
    const QString in = QString::fromStdString(keyboard.in.name);
    const QString out = QString::fromStdString(keyboard.out.name);
    pairs << (in == out ? in : in + QStringLiteral(" / ") + out);
  }
  const QString ports = QString::fromStdString(msg.WordText(MsgStr::kWordAnsweredOn))
                            .arg(pairs.join(QStringLiteral(", ")));
  ui_->DetectLbl->setText(
      found.size() == 1
          ? ports
          : QString::fromStdString(msg.WordText(MsgStr::kWordKeyboardsAnswered)).arg(found.size()) +
                QStringLiteral("\n") + ports);
}

void TPrefForm::DirBrowseBtnClick() {
  TDirBrowseForm picker(this);
  picker.SetStartFolder(ui_->DefDirEdit->text());
  picker.exec();
  ui_->DefDirEdit->setText(picker.Result());
}
