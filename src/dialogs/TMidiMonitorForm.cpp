#include "dialogs/TMidiMonitorForm.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <set>

#include "midi/MidiDev.h"
#include "ui_TMidiMonitorForm.h"

TMidiMonitorForm::TMidiMonitorForm(const MsgStr& messages, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ui_(std::make_unique<Ui::TMidiMonitorForm>()),
      messages_(messages),
      model_(messages, kKeptMessages) {
  ui_->setupUi(this);
  setWindowTitle(Word(MsgStr::kWordMonitor));
  ui_->PauseBtn->setText(Word(MsgStr::kWordPause));
  ui_->PauseBtn->setToolTip(Word(MsgStr::kWordPauseHint));
  ui_->ClearBtn->setText(Word(MsgStr::kWordClear));
  ui_->CopyBtn->setText(Word(MsgStr::kWordCopy));
  ui_->CopyBtn->setToolTip(Word(MsgStr::kWordCopyHint));
  ui_->SaveBtn->setText(Word(MsgStr::kWordSaveAsMenu));
  ui_->MessageView->setModel(&model_);
  QHeaderView* header = ui_->MessageView->horizontalHeader();
  header->resizeSection(MidiMonitorModel::kTime, 90);
  header->resizeSection(MidiMonitorModel::kDirection, 100);
  header->resizeSection(MidiMonitorModel::kLength, 60);
  header->resizeSection(MidiMonitorModel::kMeaning, 470);
  ui_->MessageView->verticalHeader()->setDefaultSectionSize(
      ui_->MessageView->fontMetrics().height() + 4);

  connect(ui_->ClearBtn, &QPushButton::clicked, this, [this] {
    recorder_.Take();
    model_.Clear();
    ShowCount();
  });
  connect(ui_->CopyBtn, &QPushButton::clicked, this, &TMidiMonitorForm::CopyBtnClick);
  connect(ui_->SaveBtn, &QPushButton::clicked, this, &TMidiMonitorForm::SaveBtnClick);
  connect(ui_->PauseBtn, &QPushButton::toggled, this, [this](bool paused) {
    if (!paused) Refresh();
  });
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (!ui_->PauseBtn->isChecked()) Refresh();
  });
  timer_.setInterval(kRefreshMs);
  ShowCount();
}

QString TMidiMonitorForm::Word(MsgStr::Word word) const {
  return QString::fromStdString(messages_.WordText(word));
}

TMidiMonitorForm::~TMidiMonitorForm() { MidiDev::UseObserver(nullptr); }

void TMidiMonitorForm::showEvent(QShowEvent* event) {
  MidiDev::UseObserver(&recorder_);
  timer_.start();
  QWidget::showEvent(event);
}

// Nobody looks: the device stops recording, at no cost to its exchanges.
void TMidiMonitorForm::hideEvent(QHideEvent* event) {
  MidiDev::UseObserver(nullptr);
  timer_.stop();
  Refresh();
  QWidget::hideEvent(event);
}

void TMidiMonitorForm::Refresh() {
  std::vector<MessageRecorder::Record> records = recorder_.Take();
  if (records.empty()) return;
  QScrollBar* bar = ui_->MessageView->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  model_.Add(std::move(records));
  if (atEnd) ui_->MessageView->scrollToBottom();
  ShowCount();
}

void TMidiMonitorForm::ShowCount() {
  ui_->CountLbl->setText(Word(MsgStr::kWordMessages).arg(model_.rowCount()));
}

void TMidiMonitorForm::CopyBtnClick() {
  std::set<int> selected;
  for (const QModelIndex& index : ui_->MessageView->selectionModel()->selectedIndexes())
    selected.insert(index.row());
  QApplication::clipboard()->setText(
      selected.empty() ? model_.LogText()
                       : model_.LogText(std::vector<int>(selected.begin(), selected.end())));
}

void TMidiMonitorForm::SaveBtnClick() {
  const QString path = QFileDialog::getSaveFileName(this, Word(MsgStr::kWordSaveAs), QString(),
                                                    Word(MsgStr::kWordLogFiles));
  if (path.isEmpty()) return;
  QSaveFile file(path);
  const QByteArray text = model_.LogText().toUtf8();
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    QMessageBox::critical(this, windowTitle(),
                          QString::fromStdString(messages_.FileText(true, path.toStdString())) +
                              QStringLiteral(" (") + file.errorString() + QStringLiteral(")"));
  }
}
