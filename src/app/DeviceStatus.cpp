#include "DeviceStatus.h"

#include <QBoxLayout>
#include <QStatusBar>
#include <QStringList>
#include <QStyle>

#include "ElidedLabel.h"
#include "platform/DeviceWatch.h"

DeviceStatus::DeviceStatus(QBoxLayout* layout, const DeviceWatch& devices, const MsgStr& msg)
    : devices_(devices),
      msg_(msg),
      icon_(new QLabel(layout->parentWidget())),
      field_(new ElidedLabel(layout->parentWidget())) {
  field_->setObjectName(QStringLiteral("DeviceField"));
  field_->setFrameShape(QFrame::StyledPanel);
  field_->setFrameShadow(QFrame::Sunken);
  field_->setMaximumWidth(360);
  layout->addWidget(icon_);
  layout->addWidget(field_);
}

QString DeviceStatus::Word(MsgStr::Word word) const {
  return QString::fromStdString(msg_.WordText(word));
}

void DeviceStatus::Show() {
  const auto shown = [this](const std::string& name) {
    return name.empty() ? Word(MsgStr::kWordNoDevice) : QString::fromStdString(name);
  };
  const QString in = shown(devices_.InputName());
  const QString out = shown(devices_.OutputName());
  const QString text = in == out ? in : in + QStringLiteral(" / ") + out;
  field_->setText(text);
  QStringList tip{Word(MsgStr::kWordMidiInput).arg(in), Word(MsgStr::kWordMidiOutput).arg(out)};
  const bool missing = devices_.InputMissing() || devices_.OutputMissing();
  if (devices_.InputMissing()) tip[0] += Word(MsgStr::kWordNotConnected);
  if (devices_.OutputMissing()) tip[1] += Word(MsgStr::kWordNotConnected);
  field_->setToolTip(tip.join('\n'));
  icon_->setToolTip(field_->toolTip());
  const int size = field_->fontMetrics().height();
  icon_->setPixmap(missing ? icon_->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size)
                           : QPixmap());
  icon_->setVisible(missing);
}

void DeviceStatus::Show(const QString& goneBefore, QStatusBar* status) {
  Show();
  const QString gone = Gone();
  if (gone == goneBefore) return;
  if (!gone.isEmpty()) {
    status->showMessage(gone);
  } else if (status->currentMessage() == goneBefore) {
    status->clearMessage();
  }
}

QString DeviceStatus::Gone() const {
  QStringList names;
  if (devices_.InputMissing()) names << QString::fromStdString(devices_.InputName());
  if (devices_.OutputMissing() && !names.contains(QString::fromStdString(devices_.OutputName())))
    names << QString::fromStdString(devices_.OutputName());
  if (names.isEmpty()) return QString();
  return Word(MsgStr::kWordPortGone).arg(names.join(QStringLiteral(" / ")));
}
