#include "dialogs/TPrefForm.h"

#include <QStringList>
#include <set>
#include <utility>

#include "dialogs/TDirBrowseForm.h"
#include "platform/midi/MidiSystem.h"
#include "protocol/KeyboardProbe.h"
#include "protocol/MsgStr.h"
#include "protocol/ProbeDriver.h"
#include "ui_TPrefForm.h"

namespace {

void Select(QComboBox* box, int32_t device) {
  box->setCurrentIndex(device >= 0 && device < box->count() ? device : -1);
}

}  // namespace

TPrefForm::TPrefForm(ProbeDriver& detection, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::TPrefForm>()),
      driver_(detection) {
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

TPrefForm::~TPrefForm() { StopDetection(); }

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
  ui_->DetectBtn->setEnabled(allowed && !probe_);
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

void TPrefForm::done(int result) {
  StopDetection();
  QDialog::done(result);
}

// Detection takes a moment on a silent port: it runs on the window's driver,
// which hands it what the ports bring from the dialog's event loop, so that
// the dialog stays live meanwhile. The built-in simulator is never asked.
void TPrefForm::Detect() {
  if (probe_ || !detectAllowed_) return;
  ui_->DetectBtn->setEnabled(false);
  ui_->DetectLbl->setText(QString::fromStdString(MsgStr().WordText(MsgStr::kWordDetecting)));
  setCursor(Qt::BusyCursor);
  MidiSystem& midi = MidiSystem::Instance();
  probe_ = std::make_unique<KeyboardProbe>(driver_.DetectionPorts(), MidiClock::Steady(),
                                           std::set<unsigned>{midi.BuiltInInput()},
                                           std::set<unsigned>{midi.BuiltInOutput()});
  detection_ = Detection();
  driver_.StartProbe(*probe_, detection_, [this] { DetectionEnded(); });
}

Task<void> TPrefForm::Detection() {
  Task<KeyboardProbe::Result> detection = probe_->Detect();
  ShowFound((co_await detection).Served());
}

void TPrefForm::DetectionEnded() {
  Task<void> detection = std::move(detection_);
  probe_.reset();
  unsetCursor();
  ui_->DetectBtn->setEnabled(detectAllowed_);
  detection.Result();
}

// Destroying the detection's task closes its ports.
void TPrefForm::StopDetection() {
  if (!probe_) return;
  driver_.StopProbe();
  detection_ = Task<void>();
  probe_.reset();
  unsetCursor();
  ui_->DetectBtn->setEnabled(detectAllowed_);
  ui_->DetectLbl->clear();
}

void TPrefForm::ShowFound(const std::vector<KeyboardProbe::Keyboard>& found) {
  const MsgStr msg;
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
