#include "dialogs/TQnDataPropertyForm.h"

#include <QEvent>
#include <QIcon>

#include "files/KeyboardText.h"
#include "files/QnData.h"
#include "jobs/EntryView.h"
#include "ui_TQnDataPropertyForm.h"

namespace {

// How many bytes the character at `text[i]` takes in UTF-8, the program's
// text encoding; `i` moves past a surrogate pair.
int Utf8Bytes(const QString& text, qsizetype& i) {
  const char16_t c = text[i].unicode();
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
    ++i;
    return 4;
  }
  return 3;
}

// Names on the keyboard may hold half-width katakana, one byte each there.
bool IsHalfWidthKana(char16_t c) {
  return c >= KeyboardText::Character(0xA1) && c <= KeyboardText::Character(0xDF);
}

}  // namespace

TQnDataPropertyForm::TQnDataPropertyForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::TQnDataPropertyForm>()) {
  ui_->setupUi(this);
  setWindowTitle(Word(MsgStr::kWordPropertyTitle));
  ui_->TabControl1->setTabText(0, Word(MsgStr::kWordGeneral));
  ui_->TypeLabelLbl->setText(Word(MsgStr::kWordTypeLabel));
  ui_->SizeLabelLbl->setText(Word(MsgStr::kWordSizeLabel));
  ui_->LocationLabelLbl->setText(Word(MsgStr::kWordLocationLabel));
  ui_->NameLbl->setText(Word(MsgStr::kWordNameLabel));
  ui_->OkBtn->setText(Word(MsgStr::kWordOk));
  ui_->OkBtn->setToolTip(Word(MsgStr::kWordOk));
  ui_->CancelBtn->setText(Word(MsgStr::kWordCancel));
  fileName_ = ui_->FileNameLbl->text();
  ui_->IconImage->setPixmap(QIcon(QStringLiteral(":/dialogs/datafile.svg")).pixmap(32, 32));
  ui_->NameEdit->setAttribute(Qt::WA_InputMethodEnabled, false);
  ui_->FileNameLbl->installEventFilter(this);
  ui_->LocateLbl->installEventFilter(this);
  connect(ui_->NameEdit, &QLineEdit::textChanged, this, &TQnDataPropertyForm::NameEditChange);
  connect(ui_->OkBtn, &QPushButton::clicked, this, &TQnDataPropertyForm::OkBtnClick);
  connect(ui_->CancelBtn, &QPushButton::clicked, this, &TQnDataPropertyForm::reject);
  ui_->NameEdit->setFocus();
}

TQnDataPropertyForm::~TQnDataPropertyForm() = default;

QString TQnDataPropertyForm::Word(MsgStr::Word word) const {
  return QString::fromStdString(msg_.WordText(word));
}

void TQnDataPropertyForm::SetFileName(const QString& name) {
  fileName_ = name;
  ShowElided(ui_->FileNameLbl, name);
}

void TQnDataPropertyForm::SetLocation(const QString& folder) {
  location_ = folder;
  ShowElided(ui_->LocateLbl, folder);
}

void TQnDataPropertyForm::ShowNameField(bool show) {
  ui_->NameEdit->setVisible(show);
  ui_->NameLbl->setVisible(show);
}

void TQnDataPropertyForm::SetDataType(uint16_t type) {
  ui_->TypeLbl->setText(
      QString::fromLatin1(EntryView::TypeWord(type, EntryView::Spelling::Properties)));
}

void TQnDataPropertyForm::SetDataSize(uint32_t size) {
  ui_->SizeLbl->setText(Word(MsgStr::kWordDataSize).arg(size));
}

void TQnDataPropertyForm::SetDataName(const std::string& name) {
  ui_->NameEdit->setText(
      QString::fromStdString(KeyboardText::ToUtf8(name.substr(0, name.find('\0')), "_")));
}

bool TQnDataPropertyForm::Execute() {
  exec();
  return accepted_;
}

std::string TQnDataPropertyForm::DataName() const {
  return KeyboardText::FromUtf8(ui_->NameEdit->text().toStdString());
}

void TQnDataPropertyForm::NameEditChange() {
  QLineEdit* edit = ui_->NameEdit;
  const QString text = edit->text();
  const qsizetype cursor = edit->cursorPosition();
  QString filtered;
  qsizetype newCursor = -1;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (i >= cursor && newCursor < 0) newCursor = filtered.size();
    const char16_t c = text[i].unicode();
    if ((c >= 32 && c <= 125) || IsHalfWidthKana(c))
      filtered += text[i];
    else
      filtered += QString(Utf8Bytes(text, i), QLatin1Char('_'));
  }
  filtered.truncate(edit->maxLength());
  if (filtered == text) return;
  if (newCursor < 0 || newCursor > filtered.size()) newCursor = filtered.size();
  edit->setText(filtered);  // comes back here once, with nothing left to replace
  edit->setCursorPosition(static_cast<int>(newCursor));
}

void TQnDataPropertyForm::OkBtnClick() {
  accepted_ = !ui_->NameEdit->text().isEmpty();
  accept();
}

void TQnDataPropertyForm::reject() {
  accepted_ = false;
  QDialog::reject();
}

void TQnDataPropertyForm::ShowElided(QLabel* label, const QString& text) {
  label->setToolTip(text);
  const int width = label->contentsRect().width();
  label->setText(width > 0 && label->isVisible()
                     ? label->fontMetrics().elidedText(text, Qt::ElideMiddle, width)
                     : text);
}

bool TQnDataPropertyForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
    if (watched == ui_->FileNameLbl) ShowElided(ui_->FileNameLbl, fileName_);
    if (watched == ui_->LocateLbl) ShowElided(ui_->LocateLbl, location_);
  }
  return QDialog::eventFilter(watched, event);
}
