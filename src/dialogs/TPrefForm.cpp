#include "dialogs/TPrefForm.h"

#include "dialogs/TDirBrowseForm.h"
#include "platform/midi/MidiSystem.h"
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
  connect(ui_->OkBtn, &QPushButton::clicked, this, &TPrefForm::OkBtnClick);
  connect(ui_->CancelBtn, &QPushButton::clicked, this, &TPrefForm::reject);
  connect(ui_->DirBrowseBtn, &QPushButton::clicked, this, &TPrefForm::DirBrowseBtnClick);
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
  defaultFolder_ = ui_->DefDirEdit->text();
  accept();
}

void TPrefForm::reject() {
  Select(ui_->MidiInDevBox, inputDevice_);
  Select(ui_->MidiOutDevBox, outputDevice_);
  ui_->DefDirEdit->setText(defaultFolder_);
  QDialog::reject();
}

void TPrefForm::DirBrowseBtnClick() {
  TDirBrowseForm picker(this);
  picker.SetStartFolder(ui_->DefDirEdit->text());
  picker.exec();
  ui_->DefDirEdit->setText(picker.Result());
}
