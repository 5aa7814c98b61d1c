#include "dialogs/TKbdDrivePropertyForm.h"

#include <QIcon>

#include "ui_TKbdDrivePropertyForm.h"

namespace {

QString Bytes(uint32_t bytes) { return QString::number(bytes) + QStringLiteral("byte(s)"); }

}  // namespace

TKbdDrivePropertyForm::TKbdDrivePropertyForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TKbdDrivePropertyForm>()) {
  ui_->setupUi(this);
  ui_->IconImage->setPixmap(QIcon(QStringLiteral(":/dialogs/drive.svg")).pixmap(32, 32));
}

TKbdDrivePropertyForm::~TKbdDrivePropertyForm() = default;

void TKbdDrivePropertyForm::ShowDriveName(const std::string& name) {
  ui_->DrvNameLbl->setText(QString::fromStdString(name));
}

void TKbdDrivePropertyForm::ShowUsed(uint32_t bytes) { ui_->UsedLbl->setText(Bytes(bytes)); }

void TKbdDrivePropertyForm::ShowFree(uint32_t bytes) { ui_->FreeLbl->setText(Bytes(bytes)); }

void TKbdDrivePropertyForm::ShowCapacity(uint32_t bytes) {
  ui_->CapacityLbl->setText(Bytes(bytes));
}
