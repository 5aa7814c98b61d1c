#include "TPcLinkForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <utility>

#include "DeviceStatus.h"
#include "ItemListView.h"
#include "KeyboardSide.h"
#include "ListDrag.h"
#include "PcSide.h"
#include "QtMidiDriver.h"
#include "StyleButtons.h"
#include "WindowActions.h"
#include "WindowCaptions.h"
#include "WindowProgressBar.h"
#include "WindowViews.h"
#include "dialogs/PcFolderTree.h"
#include "dialogs/TDirBrowseForm.h"
#include "dialogs/TKbdDrivePropertyForm.h"
#include "dialogs/TMidiMonitorForm.h"
#include "dialogs/TPrefForm.h"
#include "dialogs/TQnDataPropertyForm.h"
#include "files/PBarObserver.h"
#include "files/QnData.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/JobFailure.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/TransferBatch.h"
#include "jobs/TransferJob.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/QnException.h"
#include "platform/DeviceWatch.h"
#include "platform/FileManager.h"
#include "platform/midi/MidiSystem.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"
#include "ui_TPcLinkForm.h"

namespace {

// How often the port lists are read for a port that comes or goes.
constexpr int kDeviceWatchMs = 1000;

enum StatusIndex {
  kStatusGetList = 0,
  kStatusSend = 1,
  kStatusImport = 2,
  kStatusDelete = 3,
  kStatusEmptySkipped = 4,
};

// Says, under a failure's own text, which item of several failed and what
// was done before it.
QString Word(const MsgStr& msg, MsgStr::Word word) {
  return QString::fromStdString(msg.WordText(word));
}

QString BatchNote(const MsgStr& msg, size_t failed, size_t count, const QString& item) {
  return Word(msg, MsgStr::kWordBatchFailed).arg(failed + 1).arg(count).arg(item) +
         (failed == 0 ? Word(msg, MsgStr::kWordNothingBefore)
                      : Word(msg, MsgStr::kWordDoneBefore).arg(failed));
}

// The status line of a job of several items names the item on its way; the
// last file an import wrote is kept to be selected.
class JobStatus : public TransferJob::Listener {
 public:
  explicit JobStatus(std::function<void(size_t, size_t)> show) : show_(std::move(show)) {}
  void Starting(const Step& step) override { show_(step.index, step.count); }
  void Imported(size_t, const std::string& path) override { lastPath = path; }

  std::string lastPath;

 private:
  std::function<void(size_t, size_t)> show_;
};

// The status line of a whole-keyboard backup or restore says how far it has
// come; the bar follows the item on its way.
class BackupStatus : public KeyboardBackup::Listener {
 public:
  BackupStatus(QStatusBar* status, ProgressBar& bar, const MsgStr& msg)
      : status_(status), bar_(bar), msg_(msg), text_(status->currentMessage()) {}
  void Starting(const Step& step) override {
    count_ = step.count;
    bar_.SetRange(0, static_cast<int>(std::min<uint32_t>(step.size, INT32_MAX)));
    bar_.SetPosition(0);
    bar_.Repaint();
    status_->showMessage(text_ + ' ' +
                         Word(msg_, MsgStr::kWordOfCount).arg(step.index + 1).arg(step.count));
    status_->repaint();
  }
  void Written(const std::string& /*path*/) override { ++done_; }
  void Restored(const std::string& /*path*/, const SlotAddress& /*address*/) override { ++done_; }

  // The file or slot where `backup` stopped, and what was done before it
  // once its transfers had begun.
  QString FailureNote(const KeyboardBackup& backup) const {
    const QString item = QFile::decodeName(backup.Context().c_str());
    if (item.isEmpty() || done_ >= count_) return item;
    return BatchNote(msg_, done_, count_, item);
  }

 private:
  QStatusBar* status_;
  ProgressBar& bar_;
  const MsgStr& msg_;
  QString text_;
  size_t count_ = 0;
  size_t done_ = 0;
};

QString Caption(const QnData* entry) {
  return QString::fromStdString(EntryView::Caption(entry->Name()));
}

bool IsFolder(const QnData* entry) { return (entry->Kind() & QnData::kKindDirectory) != 0; }

std::string EncodedPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

TPcLinkForm::TPcLinkForm(const Options& options, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::TPcLinkForm), options_(options) {
  Q_INIT_RESOURCE(icons);
  ui->setupUi(this);
  setWindowTitle(QString::fromLatin1(kCaption));
  // Before the buttons take their actions, so that a caption changed later
  // does not enable a button that waits for a list.
  WindowCaptions::Show(ui.get());
  WireActions();
  WireViews();
  FormCreate();
}

TPcLinkForm::~TPcLinkForm() { FormDestroy(); }

void TPcLinkForm::SetUpApplication() {
  QApplication::setOrganizationName(QStringLiteral("Vardo"));
  QApplication::setApplicationName(QStringLiteral("Ravlin"));
  // No display name: the toolkit would append it to the caption of every
  // window and dialog, and the captions stand alone. The application title
  // is shown where the application itself speaks, in its exception display.

  // The toolkit's own buttons and file dialogs follow the catalog's
  // language; a second call follows a changed locale.
  delete qApp->findChild<QTranslator*>(QStringLiteral("ToolkitTexts"));
  if (MsgStr::LocaleLanguage() != MsgStr::Language::Japanese) return;
  auto* texts = new QTranslator(qApp);
  texts->setObjectName(QStringLiteral("ToolkitTexts"));
  if (texts->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(texts);
}

void TPcLinkForm::WireActions() {
  WindowActions::Wire(this, ui.get());
  localStyles_ = new StyleButtons(ui->LocalViewStyleGroup, ui->LocalFileView);
  kbdStyles_ = new StyleButtons(ui->KbdViewStyleGroup, ui->KbdFileView);
  // The view style buttons take no focus; from the keyboard the styles
  // apply to the side that has it.
  const QList<QAction*> styles{ui->LargeIconAction, ui->SmallIconAction, ui->ListAction,
                               ui->ReportAction};
  for (int tag = 0; tag < styles.size(); ++tag) {
    connect(styles[tag], &QAction::triggered, this,
            [this, tag] { (kbdSideFocused_ ? kbdStyles_ : localStyles_)->Choose(tag); });
  }

  connect(ui->ConnectAction, &QAction::triggered, this, &TPcLinkForm::ConnectActionExecute);
  connect(ui->DisconnectAction, &QAction::triggered, this, &TPcLinkForm::DisconnectActionExecute);
  connect(ui->SendAction, &QAction::triggered, this, &TPcLinkForm::SendActionExecute);
  connect(ui->ReceiveAction, &QAction::triggered, this, &TPcLinkForm::ReceiveActionExecute);
  connect(ui->DeleteAction, &QAction::triggered, this, &TPcLinkForm::DeleteActionExecute);
  connect(ui->ExitAction, &QAction::triggered, this, &TPcLinkForm::ExitActionExecute);
  connect(ui->KbdUpdateAction, &QAction::triggered, this, &TPcLinkForm::KbdUpdateActionExecute);
  connect(ui->LocalUpdateAction, &QAction::triggered, this, &TPcLinkForm::LocalUpdateActionExecute);
  connect(ui->ShellOpen, &QAction::triggered, this, &TPcLinkForm::ShellOpenExecute);
  connect(ui->PropOpen, &QAction::triggered, this, &TPcLinkForm::PropOpenExecute);
  connect(ui->KbdDrvPropOpen, &QAction::triggered, this, &TPcLinkForm::KbdDrvPropOpenExecute);
  connect(ui->PrefOpen, &QAction::triggered, this, &TPcLinkForm::PrefOpenExecute);
  connect(ui->MidiMonitorAction, &QAction::triggered, this, &TPcLinkForm::MidiMonitorActionExecute);
  connect(ui->BackupAction, &QAction::triggered, this, &TPcLinkForm::BackupActionExecute);
  connect(ui->RestoreAction, &QAction::triggered, this, &TPcLinkForm::RestoreActionExecute);
}

void TPcLinkForm::WireViews() {
  local_ = std::make_unique<PcSide>(ui->LocalDirView, ui->LocalFileView);
  connect(ui->KbdDirView, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { KbdDirViewChange(current); });
  connect(ui->KbdFileView, &ItemListView::itemOpened, this,
          [this](int row) { kbd_->OpenFolder(row); });

  // The property command works on the list that has the focus; a popup
  // menu takes the focus away for a moment, so the last list is kept.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    for (ItemListView* list : {ui->LocalFileView, ui->KbdFileView})
      if (now && (now == list || list->isAncestorOf(now))) focusedList_ = list;
    if (now && ui->KbdPanel->isAncestorOf(now)) kbdSideFocused_ = true;
    if (now && ui->LocalPanel->isAncestorOf(now)) kbdSideFocused_ = false;
  });
  WindowViews::Arrange(this, ui.get());
  ui->LocalFileView->canDrag = [](int) { return true; };
  ui->LocalFileView->dragData = [this](int) { return ListDrag::Data(ui->LocalFileView); };
  ui->LocalFileView->acceptsDrop = [this](const QDropEvent& e) {
    return !busy_ && ListDrag::Source(e) == QLatin1String("KbdFileView");
  };
  ui->LocalFileView->dropped = [this](const QDropEvent&, int row) { LocalFileViewDragDrop(row); };
  ui->KbdFileView->canDrag = [this](int row) { return kbd_->CanDrag(row); };
  ui->KbdFileView->dragData = [this](int) { return ListDrag::Data(ui->KbdFileView); };
  ui->KbdFileView->acceptsDrop = [this](const QDropEvent& e) {
    if (busy_ || !keyboard_->IsConnected()) return false;
    return ListDrag::Source(e) == QLatin1String("LocalFileView") ||
           !ListDrag::LqdFiles(e.mimeData()).isEmpty();
  };
  ui->KbdFileView->dropped = [this](const QDropEvent& e, int row) { KbdFileViewDragDrop(e, row); };

  UpdateCommands();
}

// ---------------------------------------------------------------------------
// Start and end

void TPcLinkForm::FormCreate() {
  driver_ = std::make_unique<QtMidiDriver>();
  MidiDev::UseDriver(driver_.get());
  keyboard_ = QnKbdDrv::Instance();
  bar_ = std::make_unique<WindowProgressBar>(ui->ProgressBar);
  observer_ = std::make_unique<PBarObserver>(bar_.get());
  keyboard_->AttachObserver(observer_.get());
  LoadSettings();
  msg_ = std::make_unique<MsgStr>();
  kbd_ = std::make_unique<KeyboardSide>(ui->KbdDirView, ui->KbdFileView, *keyboard_, *msg_);
  devices_ = std::make_unique<DeviceWatch>([] { return MidiSystem::Instance().InputNames(); },
                                           [] { return MidiSystem::Instance().OutputNames(); });
  FollowDevices();
  // After the progress bar, so that the status text keeps all its room.
  deviceStatus_ = std::make_unique<DeviceStatus>(ui->Panel1Layout, *devices_, *msg_);
  cancelButton_ = new QPushButton(Word(*msg_, MsgStr::kWordCancel), ui->Panel1);
  cancelButton_->setObjectName(QStringLiteral("CancelBtn"));
  cancelButton_->setToolTip(Word(*msg_, MsgStr::kWordCancelHint));
  cancelButton_->setFocusPolicy(Qt::NoFocus);
  cancelButton_->setVisible(false);
  connect(cancelButton_, &QPushButton::clicked, this, &TPcLinkForm::CancelWork);
  // Escape belongs to the views but while the work runs.
  cancelAction_ = new QAction(this);
  cancelAction_->setShortcut(QKeySequence(Qt::Key_Escape));
  cancelAction_->setShortcutContext(Qt::WindowShortcut);
  cancelAction_->setEnabled(false);
  connect(cancelAction_, &QAction::triggered, this, &TPcLinkForm::CancelWork);
  addAction(cancelAction_);
  ui->Panel1Layout->insertWidget(ui->Panel1Layout->indexOf(ui->ProgressBar) + 1, cancelButton_);
  ShowDevices();
  deviceWatch_ = new QTimer(this);
  deviceWatch_->setInterval(kDeviceWatchMs);
  connect(deviceWatch_, &QTimer::timeout, this, &TPcLinkForm::WatchDevices);
  deviceWatch_->start();

  local_->Start(values_.defaultFolder);
  ui->LocalIconBtn->setChecked(true);
  ui->LocalFileView->SetStyle(ItemListView::LargeIcon);

  RebuildKbdTree();
  ui->KbdIconBtn->setChecked(true);
  ui->KbdFileView->SetStyle(ItemListView::LargeIcon);

  RestoreLayout();

  connect(qApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive) FormActivate();
          });
}

void TPcLinkForm::RestoreLayout() {
  const SettingsStore::Layout layout = store_->LoadLayout();
  if (!layout.geometry.isEmpty()) restoreGeometry(layout.geometry);
  ui->Splitter->restoreState(layout.splitter);
  ui->Splitter1->restoreState(layout.localSplitter);
  ui->Splitter2->restoreState(layout.kbdSplitter);
  localStyles_->Choose(layout.localStyle);
  kbdStyles_->Choose(layout.kbdStyle);
}

SettingsStore::Layout TPcLinkForm::CurrentLayout() const {
  return {saveGeometry(),
          ui->Splitter->saveState(),
          ui->Splitter1->saveState(),
          ui->Splitter2->saveState(),
          ui->LocalFileView->CurrentStyle(),
          ui->KbdFileView->CurrentStyle()};
}

void TPcLinkForm::LoadSettings() {
  store_ = options_.settingsFile.isEmpty() ? std::make_unique<SettingsStore>()
                                           : std::make_unique<SettingsStore>(options_.settingsFile);
  store_->SetDeviceLists([] { return MidiSystem::Instance().InputNames(); },
                         [] { return MidiSystem::Instance().OutputNames(); });
  // A first start has nothing chosen yet: the built-in simulator lets the
  // user try the program at once, and the dialog asks the ports meanwhile and
  // chooses a keyboard that answers.
  store_->SetPreferencesCallback([this](SettingsStore::Values& values) {
    ChooseSimulator(values);
    RunPreferences(values, true);
  });
  try {
    store_->Load(values_);
  } catch (...) {
    // Whatever was read stays; the rest keeps its initial value.
    RunPreferences(values_);
  }
  loaded_ = values_;
  if (options_.simulator) ChooseSimulator(values_);
}

void TPcLinkForm::ChooseSimulator(SettingsStore::Values& values) const {
  values.inputDevice = static_cast<int32_t>(MidiSystem::Instance().BuiltInInput());
  values.outputDevice = static_cast<int32_t>(MidiSystem::Instance().BuiltInOutput());
  values.inputName = values.outputName = MidiSystem::kBuiltInName;
}

void TPcLinkForm::ShowDevices() { deviceStatus_->Show(); }

bool TPcLinkForm::RunPreferences(SettingsStore::Values& values, bool detect) {
  TPrefForm dialog(this);
  // Detection would open the ports the work uses.
  dialog.AllowDetect(!busy_);
  dialog.SetInputDevice(values.inputDevice);
  dialog.SetOutputDevice(values.outputDevice);
  dialog.SetDefaultFolder(values.defaultFolder);
  if (detect) dialog.Detect();
  if (dialog.exec() != QDialog::Accepted) return false;
  // A list without a choice is a port that is gone: it stays chosen until
  // the user chooses another.
  if (dialog.InputDevice() >= 0) {
    values.inputDevice = dialog.InputDevice();
    values.inputName = dialog.InputDeviceName().toStdString();
  }
  if (dialog.OutputDevice() >= 0) {
    values.outputDevice = dialog.OutputDevice();
    values.outputName = dialog.OutputDeviceName().toStdString();
  }
  values.defaultFolder = dialog.DefaultFolder();
  return true;
}

bool TPcLinkForm::FollowDevices() {
  const bool changed = devices_->Follow(values_.inputDevice, values_.outputDevice,
                                        values_.inputName, values_.outputName);
  values_.inputName = devices_->InputName();
  values_.outputName = devices_->OutputName();
  return changed;
}

void TPcLinkForm::FormActivate() {
  // The ports stay as they are while the keyboard works.
  if (busy_) {
    activateWhenDone_ = true;
    return;
  }
  WatchDevices();
  if (ui->LocalDirView->currentItem() == nullptr) return;
  LocalUpdateActionExecute();
}

// Ports come and go while the program runs: a port back under its name is
// used again, one that has gone shows at once and the status line says so.
void TPcLinkForm::WatchDevices() {
  // The ports stay as they are while the keyboard works.
  if (busy_) return;
  const QString goneBefore = GoneDevices();
  if (devices_->Refresh(values_.inputDevice, values_.outputDevice)) keyboard_->CloseDevices();
  deviceStatus_->Show(goneBefore, ui->StatusBar);
}

QString TPcLinkForm::GoneDevices() const { return deviceStatus_->Gone(); }

void TPcLinkForm::FormDestroy() {
  // The application outlives the window's controls, which go after this.
  QObject::disconnect(qApp, nullptr, this, nullptr);
  deviceWatch_->stop();
  // Closing waits for the work; a window destroyed without closing stops it
  // here, since the work refers to it.
  if (busy_) {
    closeWhenDone_ = false;
    keyboard_->RequestCancel();
    while (busy_) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                      QEventLoop::WaitForMoreEvents);
    }
  }
  SettingsStore::Values saved = values_;
  // The simulator chosen for this run only does not replace the saved choice.
  if (options_.simulator) {
    if (saved.inputName == MidiSystem::kBuiltInName) {
      saved.inputDevice = loaded_.inputDevice;
      saved.inputName = loaded_.inputName;
    }
    if (saved.outputName == MidiSystem::kBuiltInName) {
      saved.outputDevice = loaded_.outputDevice;
      saved.outputName = loaded_.outputName;
    }
  }
  try {
    store_->Save(saved);
    store_->SaveLayout(CurrentLayout());
  } catch (const std::exception& e) {
    // Else the user's choice of devices is lost without a word.
    const QString location = QDir::toNativeSeparators(store_->Location());
    ShowError(QString::fromStdString(msg_->FileText(true, EncodedPath(location))) + "\n" +
              QString::fromLocal8Bit(e.what()));
  }
  ui->KbdFileView->Clear();
  ui->KbdDirView->clear();
  monitor_.reset();
  QnKbdDrv::Destroy();  // and with it the device on this window's driver
  MidiDev::UseDriver(nullptr);
  driver_.reset();
  keyboard_ = nullptr;
  kbd_.reset();
  msg_.reset();
  observer_.reset();
}

// ---------------------------------------------------------------------------
// The two sides

QString TPcLinkForm::LocalNodePath(const QTreeWidgetItem* node) const {
  return PcFolderTree::NodePath(node);
}

QnData* TPcLinkForm::KbdItemEntry(int row) const { return kbd_->RowEntry(row); }

std::string TPcLinkForm::KbdNodePath(const QTreeWidgetItem* node) const {
  return kbd_->NodePath(node);
}

void TPcLinkForm::RebuildKbdTree() { kbd_->Rebuild(); }

void TPcLinkForm::FillKbdFileView(QTreeWidgetItem* node) {
  // A folder offers Delete when it holds items that can be deleted.
  deletable_ = kbd_->Fill(node) && keyboard_->IsConnected();
  UpdateCommands();
}

void TPcLinkForm::KbdDirViewChange(QTreeWidgetItem* node) {
  ui->KbdFileView->Clear();
  if (node) {
    FillKbdFileView(node);
  } else {
    deletable_ = false;
    UpdateCommands();
  }
}

// ---------------------------------------------------------------------------
// Commands

void TPcLinkForm::RunCommand(int statusIndex, Task<void> work) {
  if (busy_) return;
  // The work starts on the ports as they are now.
  WatchDevices();
  busy_ = true;
  UpdateCommands();
  MidiDev& device = *MidiDev::Instance();
  device.ClearCancel();
  cancelButton_->setVisible(true);
  cancelAction_->setEnabled(true);
  ResetProgress();
  ui->StatusBar->showMessage(QString::fromStdString(msg_->StatusText(statusIndex)));
  job_ = std::move(work);
  device.Driver().Start(device, job_, [this] { EndCommand(); });
}

void TPcLinkForm::EndCommand() {
  // The work's frame stays until its failure has been shown.
  Task<void> job = std::move(job_);
  // A port that went during the work explains its failure.
  const auto note = [this] {
    if (devices_->Refresh(values_.inputDevice, values_.outputDevice)) portsChangedWhenDone_ = true;
    ShowDevices();
    const QString gone = GoneDevices();
    if (gone.isEmpty() || batchNote_.isEmpty()) return gone + batchNote_;
    return batchNote_ + QStringLiteral("\n") + gone;
  };
  bool cancelled = false;
  bool failed = false;
  try {
    job.Result();
  } catch (...) {
    const JobFailure failure(std::current_exception(), *msg_);
    cancelled = failure.Cancelled();
    failed = !cancelled;
    if (failed) ShowFailure(failure, note());
  }
  // The note belongs to this command's box only.
  batchNote_.clear();
  cancelButton_->setVisible(false);
  cancelAction_->setEnabled(false);
  MidiDev::Instance()->ClearCancel();
  ui->StatusBar->clearMessage();
  // A stop the user asked for is no error: the status line says so, also
  // when the item under way was the last.
  if (stopAfterItem_ && !failed) {
    ui->StatusBar->showMessage(Word(*msg_, MsgStr::kWordCancelledAfter));
  } else if (cancelled) {
    ui->StatusBar->showMessage(QString::fromStdString(msg_->SysExText(QnSysEx::kCancelled)));
  } else if (!closingStatus_.isEmpty()) {
    ui->StatusBar->showMessage(closingStatus_);
  }
  closingStatus_.clear();
  stopAfterItem_ = false;
  ResetProgress();
  busy_ = false;
  UpdateCommands();

  if (std::exchange(portsChangedWhenDone_, false)) keyboard_->CloseDevices();
  if (std::exchange(activateWhenDone_, false)) FormActivate();
  if (const QString file = std::exchange(fileWhenDone_, QString()); !file.isEmpty())
    ShowLocalFile(file);
  if (std::exchange(closeWhenDone_, false)) close();
}

void TPcLinkForm::CancelWork() {
  if (!busy_) return;
  keyboard_->RequestCancel();
  // A send finishes the item it has begun.
  if (MidiDev::Instance()->CancelHeldOff()) {
    stopAfterItem_ = true;
    ui->StatusBar->showMessage(Word(*msg_, MsgStr::kWordStoppingAfterItem));
  }
}

void TPcLinkForm::UpdateCommands() {
  const bool idle = !busy_;
  for (QAction* action :
       {ui->ConnectAction, ui->DisconnectAction, ui->BackupAction, ui->RestoreAction})
    action->setEnabled(idle);
  ui->SendBtn->setEnabled(idle && listed_);
  ui->LocalSendMenuItem->setEnabled(idle && listed_);
  ui->ReceiveBtn->setEnabled(idle && listed_);
  ui->KbdReceiveItem->setEnabled(idle && listed_);
  ui->KbdPropertyItem->setEnabled(listed_);
  ui->DeleteBtn->setEnabled(idle && deletable_);
  ui->KbdDeleteItem->setEnabled(idle && deletable_);
}

void TPcLinkForm::closeEvent(QCloseEvent* event) {
  if (!busy_) {
    QMainWindow::closeEvent(event);
    return;
  }
  event->ignore();
  if (closeWhenDone_) return;
  const QMessageBox::StandardButton answer =
      QMessageBox::question(this, windowTitle(), Word(*msg_, MsgStr::kWordCloseWhileWorking),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  // The work may have ended while the question was open.
  if (!busy_) {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return;
  }
  closeWhenDone_ = true;
  CancelWork();
}

void TPcLinkForm::ResetProgress() {
  ui->ProgressBar->setValue(ui->ProgressBar->minimum());
  ui->ProgressBar->repaint();
}

// Shows the failure's text, and under it `note`.
void TPcLinkForm::ShowFailure(const JobFailure& failure, const QString& note) {
  if (!failure.FileFailed()) {
    ShowError(QString::fromStdString(failure.Text()), note);
    return;
  }
  const QString path = QDir::toNativeSeparators(QFile::decodeName(failure.Path().c_str()));
  const QString reason = QString::fromStdString(failure.Reason());
  if (failure.FolderNotSynced()) {
    ShowError(QString::fromStdString(failure.Text()) + "\n" + path + "\n" + reason);
    return;
  }
  ShowError(QString::fromStdString(failure.Text(EncodedPath(path))) + "\n" + reason, note);
}

void TPcLinkForm::ShowError(const QString& text, const QString& note) {
  QMessageBox box(QMessageBox::Critical, Word(*msg_, MsgStr::kWordError),
                  note.isEmpty() ? text : text + QStringLiteral("\n\n") + note, QMessageBox::Ok,
                  this);
  box.exec();
}

void TPcLinkForm::ConnectActionExecute() { RunCommand(kStatusGetList, GetList()); }

Task<void> TPcLinkForm::GetList() {
  bar_->SetRange(0, 100);
  Task<void> list = keyboard_->Connect(values_.inputDevice, values_.outputDevice);
  co_await list;
  RebuildKbdTree();
  listed_ = true;
  UpdateCommands();
}

std::string TPcLinkForm::PickFolder() {
  TDirBrowseForm picker(this);
  const QTreeWidgetItem* node = ui->LocalDirView->currentItem();
  picker.SetStartFolder(node != nullptr ? LocalNodePath(node) : values_.defaultFolder);
  if (picker.exec() != QDialog::Accepted || picker.Result().isEmpty()) return {};
  return EncodedPath(picker.Result());
}

void TPcLinkForm::BackupActionExecute() {
  if (busy_) return;
  const std::string folder = PickFolder();
  if (folder.empty()) return;
  RunCommand(kStatusImport, BackupJob(folder));
}

Task<void> TPcLinkForm::BackupJob(std::string folder) {
  // The ports stay those of the start: Preferences may be changed meanwhile.
  const KeyboardBackup::Link link{values_.inputDevice, values_.outputDevice, observer_.get()};
  // The list is read anew: the keyboard may have changed since the last one.
  Task<void> list = GetList();
  co_await list;
  BackupStatus status(ui->StatusBar, *bar_, *msg_);
  KeyboardBackup backup(&status);
  try {
    Task<void> whole = backup.Backup(*keyboard_, link, folder);
    co_await whole;
  } catch (...) {
    batchNote_ = status.FailureNote(backup);
    throw;
  }
  LocalUpdateActionExecute();
}

void TPcLinkForm::RestoreActionExecute() {
  if (busy_) return;
  const std::string folder = PickFolder();
  if (folder.empty() || !RestoreConfirmed(folder)) return;
  RunCommand(kStatusSend, RestoreJob(folder));
}

// A folder that cannot be restored asks nothing: the restore says what is
// wrong with it.
bool TPcLinkForm::RestoreConfirmed(const std::string& folder) {
  KeyboardBackup backup;
  try {
    backup.Load(folder);
  } catch (...) {
    return true;
  }
  const QString made =
      QLocale().toString(QDateTime::fromSecsSinceEpoch(backup.Made()), QLocale::ShortFormat);
  const QString question = Word(*msg_, MsgStr::kWordRestoreQuestion).arg(backup.Count()).arg(made);
  return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

Task<void> TPcLinkForm::RestoreJob(std::string folder) {
  const KeyboardBackup::Link link{values_.inputDevice, values_.outputDevice, observer_.get()};
  BackupStatus status(ui->StatusBar, *bar_, *msg_);
  KeyboardBackup backup(&status);
  try {
    backup.Load(folder);
  } catch (...) {
    batchNote_ = status.FailureNote(backup);
    throw;
  }
  Task<void> list = GetList();
  co_await list;
  try {
    Task<void> whole = backup.Restore(*keyboard_, link);
    co_await whole;
  } catch (...) {
    batchNote_ = status.FailureNote(backup);
    // Songs and rhythms go before their upload: the list must not show
    // what is gone.
    KbdUpdateActionExecute();
    throw;
  }
  KbdUpdateActionExecute();
}

void TPcLinkForm::DisconnectActionExecute() {
  if (busy_) return;
  keyboard_->Disconnect();
  RebuildKbdTree();
}

void TPcLinkForm::SendActionExecute() { RunCommand(kStatusSend, SendJob()); }

Task<void> TPcLinkForm::SendJob() {
  QTreeWidgetItem* localNode = ui->LocalDirView->currentItem();
  const std::vector<int> localRows = ui->LocalFileView->SelectedRows();
  if (localNode == nullptr || localRows.empty())
    throw OperateException(OperateException::kNoSendSource);
  QTreeWidgetItem* kbdNode = ui->KbdDirView->currentItem();
  const int kbdRow = ui->KbdFileView->SelectedRow();
  if (kbdNode == nullptr || kbdRow < 0) throw OperateException(OperateException::kNoSendTarget);
  QStringList paths;
  for (int row : localRows) paths << LocalNodePath(localNode) + ui->LocalFileView->Caption(row);
  Task<void> send = SendFiles(paths, kbdNode, kbdRow);
  co_await send;
}

Task<void> TPcLinkForm::SendDroppedJob(QStringList paths, int kbdRow) {
  QTreeWidgetItem* kbdNode = ui->KbdDirView->currentItem();
  if (kbdNode == nullptr) throw OperateException(OperateException::kNoSendTarget);
  Task<void> send = SendFiles(paths, kbdNode, kbdRow);
  co_await send;
}

// The files go into the slot at `kbdRow` and the slots after it, in order.
// A batch is read and checked whole before the first exchange; a single
// file is checked by its send, as it always was. The keyboard list is read
// again at the end if it still shows the folder sent into.
Task<void> TPcLinkForm::SendFiles(QStringList paths, QTreeWidgetItem* kbdNode, int kbdRow) {
  const int32_t in = values_.inputDevice;
  const int32_t out = values_.outputDevice;
  std::vector<QnData*> targets;
  for (int i = 0; i < paths.size(); ++i) {
    QnData* target = KbdItemEntry(kbdRow + i);
    // A folder is no slot: sending into it would write a folder's item number.
    if (target == nullptr || IsFolder(target))
      throw OperateException(OperateException::kNotAcceptable);
    targets.push_back(target);
  }
  std::vector<std::unique_ptr<QnDataFile>> files;
  std::vector<TransferBatch::Send> sends;
  uint64_t total = 0;
  for (int i = 0; i < paths.size(); ++i) {
    std::unique_ptr<QnDataFile> file = DataFile::Read(EncodedPath(paths[i]));
    total += file->Size();
    sends.push_back({targets[static_cast<size_t>(i)], file.get()});
    files.push_back(std::move(file));
  }
  bar_->SetRange(0, static_cast<int>(std::min<uint64_t>(total, INT32_MAX)));

  const bool shown = ui->KbdDirView->currentItem() == kbdNode;
  // A batch is checked whole on the free space read afresh: the list may be
  // old, and the keyboard's memory used since.
  JobStatus status(
      [this](size_t index, size_t count) { ShowBatchStatus(kStatusSend, index, count); });
  TransferJob job(*keyboard_, {in, out, observer_.get()}, &status);
  try {
    Task<void> sending = job.Send(sends, true);
    co_await sending;
  } catch (...) {
    const size_t i = job.Current();
    if (i != TransferJob::kWhole) {
      // A song or rhythm goes before its upload: after a failure the slot may
      // be empty, and the list must not show what is gone.
      if (shown && ui->KbdDirView->currentItem() == kbdNode) {
        ui->KbdFileView->Clear();
        FillKbdFileView(kbdNode);
        ui->KbdFileView->SelectRow(kbdRow + static_cast<int>(i));
      }
      NoteBatchFailure(i, sends.size(), paths[static_cast<int>(i)]);
    }
    throw;
  }
  if (shown && ui->KbdDirView->currentItem() == kbdNode) {
    ui->KbdFileView->Clear();
    FillKbdFileView(kbdNode);
    ui->KbdFileView->SelectRow(files.back()->SlotNumber());
    ui->KbdFileView->CurrentView()->setFocus();
  }
}

void TPcLinkForm::ShowBatchStatus(int statusIndex, size_t done, size_t count) {
  QString text = QString::fromStdString(msg_->StatusText(statusIndex));
  if (count > 1) text += ' ' + Word(*msg_, MsgStr::kWordOfCount).arg(done + 1).arg(count);
  ui->StatusBar->showMessage(text);
  ui->StatusBar->repaint();
}

void TPcLinkForm::NoteBatchFailure(size_t failed, size_t count, const QString& item) {
  if (count > 1) batchNote_ = BatchNote(*msg_, failed, count, item);
}

void TPcLinkForm::ReceiveActionExecute() { RunCommand(kStatusImport, ReceiveJob()); }

Task<void> TPcLinkForm::ReceiveJob() {
  QTreeWidgetItem* kbdNode = ui->KbdDirView->currentItem();
  const int kbdRow = ui->KbdFileView->SelectedRow();
  if (kbdNode == nullptr || kbdRow < 0) throw OperateException(OperateException::kNoImportSource);
  QTreeWidgetItem* localNode = ui->LocalDirView->currentItem();
  if (localNode == nullptr) throw OperateException(OperateException::kNoImportTarget);
  Task<void> import = ImportInto(LocalNodePath(localNode));
  co_await import;
}

// The PC side may be browsed meanwhile: the folder goes by its path, and the
// PC list is read again only if it still shows it.
Task<void> TPcLinkForm::ImportInto(QString folder) {
  const int32_t in = values_.inputDevice;
  const int32_t out = values_.outputDevice;
  std::vector<QnData*> sources;
  uint64_t total = 0;
  int empty = 0;
  for (int row : ui->KbdFileView->SelectedRows()) {
    QnData* source = KbdItemEntry(row);
    // A folder holds no data of its own to import.
    if (source == nullptr || IsFolder(source))
      throw OperateException(OperateException::kNoImportSource);
    // An empty slot would give a file without data.
    if (!source->IsPresent()) {
      ++empty;
      continue;
    }
    sources.push_back(source);
    total += source->Size();
  }
  if (sources.empty() && empty == 0) throw OperateException(OperateException::kNoImportSource);
  if (empty > 0)
    closingStatus_ = QString::fromStdString(msg_->StatusText(kStatusEmptySkipped)).arg(empty);
  if (sources.empty()) co_return;
  bar_->SetRange(0, static_cast<int>(std::min<uint64_t>(total, INT32_MAX)));

  JobStatus status(
      [this](size_t index, size_t count) { ShowBatchStatus(kStatusImport, index, count); });
  TransferJob job(*keyboard_, {in, out, observer_.get()}, &status);
  try {
    Task<void> import = job.Import(sources, EncodedPath(folder));
    co_await import;
  } catch (...) {
    const size_t i = job.Current();
    NoteBatchFailure(i, sources.size(), Caption(sources[i]));
    if (i > 0) RefreshLocalList(folder);
    throw;
  }
  const std::string prefix = EncodedPath(folder);
  const QString lastFile = QFile::decodeName(status.lastPath.substr(prefix.size()).c_str());

  if (RefreshLocalList(folder)) {
    ui->LocalFileView->SelectRow(ui->LocalFileView->FindCaption(lastFile));
    ui->LocalFileView->CurrentView()->setFocus();
  }
}

bool TPcLinkForm::RefreshLocalList(const QString& folder) { return local_->Refresh(folder); }

void TPcLinkForm::DeleteActionExecute() { RunCommand(kStatusDelete, DeleteJob()); }

Task<void> TPcLinkForm::DeleteJob() {
  QTreeWidgetItem* kbdNode = ui->KbdDirView->currentItem();
  std::vector<QnData*> entries;
  for (int row : ui->KbdFileView->SelectedRows()) entries.push_back(KbdItemEntry(row));
  if (kbdNode == nullptr || entries.empty() ||
      std::find(entries.begin(), entries.end(), nullptr) != entries.end()) {
    throw OperateException(OperateException::kNoData);
  }
  if (!keyboard_->IsConnected()) throw OperateException(OperateException::kListFirst);
  JobStatus status(
      [this](size_t index, size_t count) { ShowBatchStatus(kStatusDelete, index, count); });
  TransferJob job(*keyboard_, {values_.inputDevice, values_.outputDevice, nullptr}, &status);
  try {
    Task<void> deleting = job.Delete(entries);
    co_await deleting;
  } catch (...) {
    const size_t i = job.Current();
    NoteBatchFailure(i, entries.size(), Caption(entries[i]));
    if (i > 0) KbdUpdateActionExecute();
    throw;
  }
  KbdUpdateActionExecute();
}

void TPcLinkForm::ExitActionExecute() { close(); }

void TPcLinkForm::PrefOpenExecute() {
  if (!RunPreferences(values_)) return;
  // The ports may have changed while the dialog was open: its choice holds
  // by name. Ports in use by the work are closed once it has ended.
  if (FollowDevices()) {
    if (busy_) {
      portsChangedWhenDone_ = true;
    } else {
      keyboard_->CloseDevices();
    }
  }
  ShowDevices();
}

void TPcLinkForm::MidiMonitorActionExecute() {
  if (!monitor_) monitor_ = std::make_unique<TMidiMonitorForm>(*msg_, this);
  monitor_->show();
  monitor_->raise();
  monitor_->activateWindow();
}

void TPcLinkForm::KbdDrvPropOpenExecute() {
  QnData* entry = KeyboardSide::NodeEntry(ui->KbdDirView->currentItem());
  if (entry == nullptr || !(entry->Kind() & (QnData::kKindDrive | QnData::kKindDirectory))) return;
  const auto* drive = static_cast<const QnDataDrive*>(entry);
  TKbdDrivePropertyForm dialog(this);
  dialog.ShowDriveName(drive->Name());
  dialog.ShowUsed(drive->UsedBytes());
  dialog.ShowFree(drive->FreeBytes());
  dialog.ShowCapacity(drive->Capacity());
  dialog.exec();
}

void TPcLinkForm::PropOpenExecute() {
  ItemListView* list = focusedList_;
  const int row = list ? list->SelectedRow() : -1;
  if (row < 0) return;
  const bool keyboard = list->objectName().contains(QLatin1String("Kbd"));
  QTreeWidgetItem* folder = (keyboard ? ui->KbdDirView : ui->LocalDirView)->currentItem();
  if (folder == nullptr) return;
  const QString caption = list->Caption(row);
  const QString path = keyboard ? QString::fromLatin1(KbdNodePath(folder)) : LocalNodePath(folder);
  try {
    TQnDataPropertyForm dialog(this);
    dialog.SetFileName(caption);
    dialog.SetLocation(path);
    dialog.ShowNameField(!keyboard);
    QnData* entry = keyboard ? KbdItemEntry(row) : nullptr;
    // The command's own share of the PC entry: the list may be read anew
    // while the dialog is open, which lets go of the entries it carried.
    std::shared_ptr<QnDataFile> file;
    if (!keyboard) {
      file = local_->FileEntry(row);
      entry = file.get();
    }
    if (entry) {
      dialog.SetDataType(entry->Type());
      dialog.SetDataSize(entry->Size());
      dialog.SetDataName(entry->Name());
    }
    if (!dialog.Execute() || file == nullptr) return;
    file->StoreDataName(dialog.DataName());
    DataFile::Write(EncodedPath(path + caption), *file);
  } catch (...) {
    ShowFailure(JobFailure(std::current_exception(), *msg_));
  }
}

void TPcLinkForm::KbdUpdateActionExecute() {
  ui->KbdFileView->Clear();
  if (QTreeWidgetItem* node = ui->KbdDirView->currentItem()) FillKbdFileView(node);
}

void TPcLinkForm::LocalUpdateActionExecute() { local_->Update(); }

void TPcLinkForm::ShellOpenExecute() {
  QTreeWidgetItem* node = ui->LocalDirView->currentItem();
  if (node == nullptr) return;
  const QString folder = LocalNodePath(node);
  const FileManager manager;
  // A folder that is gone is reported first, whatever would open it.
  const QString failure = manager.HasProgram() || !QFileInfo(folder).isDir()
                              ? manager.Open(folder)
                              : Word(*msg_, MsgStr::kWordNoFileManager);
  if (!failure.isEmpty()) ShowError(failure);
}

// ---------------------------------------------------------------------------
// Drag and drop

// Drops run their command once the drag is over, so that an error box does
// not open inside the drag.
void TPcLinkForm::LocalFileViewDragDrop(int row) {
  const QString caption = row >= 0 ? ui->LocalFileView->Caption(row) : QString();
  QMetaObject::invokeMethod(
      this,
      [this, caption] {
        if (busy_) return;
        try {
          local_->OpenFolder(caption);
        } catch (const std::exception&) {
          ShowFailure(JobFailure(std::current_exception(), *msg_));
        }
        ReceiveActionExecute();
      },
      Qt::QueuedConnection);
}

void TPcLinkForm::KbdFileViewDragDrop(const QDropEvent& event, int row) {
  const QStringList external =
      ListDrag::Source(event).isEmpty() ? ListDrag::LqdFiles(event.mimeData()) : QStringList();
  QnData* target = KbdItemEntry(row);
  QMetaObject::invokeMethod(
      this,
      [this, external, target] {
        if (busy_) return;
        int row = -1;
        for (int i = 0; i < ui->KbdFileView->Count() && target; ++i) {
          if (KbdItemEntry(i) == target) row = i;
        }
        try {
          if (row < 0) throw OperateException(OperateException::kNoSendTarget);
          if (IsFolder(target)) throw OperateException(OperateException::kNotAcceptable);
        } catch (const OperateException&) {
          ShowFailure(JobFailure(std::current_exception(), *msg_));
          return;
        }
        ui->KbdFileView->SelectRow(row);
        if (external.isEmpty()) {
          SendActionExecute();
          return;
        }
        RunCommand(kStatusSend, SendDroppedJob(external, row));
      },
      Qt::QueuedConnection);
}

void TPcLinkForm::ShowLocalFile(const QString& path) {
  if (busy_) {
    fileWhenDone_ = path;
    return;
  }
  if (!local_->ShowFile(path)) return;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}
