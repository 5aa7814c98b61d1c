#include "dialogs/TKbdDrivePropertyForm.h"

#include <QIcon>

#include "ui_TKbdDrivePropertyForm.h"

TKbdDrivePropertyForm::TKbdDrivePropertyForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TKbdDrivePropertyForm>()) {
  ui_->setupUi(this);
  setWindowTitle(Word(MsgStr::kWordPropertyTitle));
  ui_->TabControl1->setTabText(0, Word(MsgStr::kWordGeneral));
  ui_->Label1->setText(Word(MsgStr::kWordUsedSpace));
  ui_->Label2->setText(Word(MsgStr::kWordFreeSpace));
  ui_->Label3->setText(Word(MsgStr::kWordCapacity));
  ui_->BitBtn1->setText(Word(MsgStr::kWordCloseMenu));
  ui_->IconImage->setPixmap(QIcon(QStringLiteral(":/dialogs/drive.svg")).pixmap(32, 32));
}

TKbdDrivePropertyForm::~TKbdDrivePropertyForm() = default;

QString TKbdDrivePropertyForm::Word(MsgStr::Word word) const {
  return QString::fromStdString(msg_.WordText(word));
}

QString TKbdDrivePropertyForm::Bytes(uint32_t bytes) const {
  return Word(MsgStr::kWordDataSize).arg(bytes);
}

void TKbdDrivePropertyForm::ShowDriveName(const std::string& name) {
  ui_->DrvNameLbl->setText(QString::fromStdString(name));
}

void TKbdDrivePropertyForm::ShowUsed(uint32_t bytes) { ui_->UsedLbl->setText(Bytes(bytes)); }

void TKbdDrivePropertyForm::ShowFree(uint32_t bytes) { ui_->FreeLbl->setText(Bytes(bytes)); }

void TKbdDrivePropertyForm::ShowCapacity(uint32_t bytes) {
  ui_->CapacityLbl->setText(Bytes(bytes));
}
