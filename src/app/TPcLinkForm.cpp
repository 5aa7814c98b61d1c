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
#include "WindowJobEvents.h"
#include "WindowViews.h"
#include "dialogs/PcFolderTree.h"
#include "dialogs/TDirBrowseForm.h"
#include "dialogs/TKbdDrivePropertyForm.h"
#include "dialogs/TMidiMonitorForm.h"
#include "dialogs/TPrefForm.h"
#include "dialogs/TQnDataPropertyForm.h"
#include "files/QnData.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/JobFailure.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/KeyboardJobs.h"
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

QString Word(const MsgStr& msg, MsgStr::Word word) {
  return QString::fromStdString(msg.WordText(word));
}

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
  LoadSettings();
  msg_ = std::make_unique<MsgStr>();
  kbd_ = std::make_unique<KeyboardSide>(ui->KbdDirView, ui->KbdFileView, *keyboard_, *msg_);
  events_ = std::make_unique<WindowJobEvents>(
      ui->StatusBar, ui->ProgressBar,
      [this] {
        RebuildKbdTree();
        listed_ = true;
        UpdateCommands();
      },
      [this] { KbdUpdateActionExecute(); });
  jobs_ = std::make_unique<KeyboardJobs>(*keyboard_, *msg_, *events_);
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
  TPrefForm dialog(*driver_, this);
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
  jobs_.reset();
  events_.reset();
  kbd_.reset();
  msg_.reset();
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

void TPcLinkForm::RunCommand(Task<void> work) {
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
  events_->Clear();
  jobs_->UsePorts({values_.inputDevice, values_.outputDevice});
  job_ = std::move(work);
  device.Driver().Start(device, job_, [this] { EndCommand(); });
}

void TPcLinkForm::EndCommand() {
  // The work's frame stays until its failure has been shown.
  Task<void> job = std::move(job_);
  const KeyboardJobs::Ending ending = jobs_->End(job);
  ShowWhatWasDone(!ending.failure && !ending.cancelled);
  if (ending.failure) {
    // A port that went during the work explains its failure.
    if (devices_->Refresh(values_.inputDevice, values_.outputDevice)) portsChangedWhenDone_ = true;
    ShowDevices();
    ShowFailure(*ending.failure, GoneDevices());
  }
  cancelButton_->setVisible(false);
  cancelAction_->setEnabled(false);
  ui->StatusBar->clearMessage();
  if (!ending.status.empty()) ui->StatusBar->showMessage(QString::fromStdString(ending.status));
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
  if (busy_) jobs_->Cancel();
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

// Shows the failure's text, under it which item of a batch failed, and the
// ports that went during the work.
void TPcLinkForm::ShowFailure(const JobFailure& failure, const QString& gone) {
  const QString batch = QString::fromStdString(failure.Context());
  const QString note = batch.isEmpty() || gone.isEmpty() ? batch + gone : batch + "\n" + gone;
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

void TPcLinkForm::ConnectActionExecute() {
  if (busy_) return;
  after_ = {};
  RunCommand(jobs_->List({values_.inputDevice, values_.outputDevice}));
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
  after_ = {};
  after_.localList = true;
  RunCommand(jobs_->Backup(folder));
}

// A folder that cannot be restored asks nothing: the restore says what is
// wrong with it.
void TPcLinkForm::RestoreActionExecute() {
  if (busy_) return;
  const std::string folder = PickFolder();
  if (folder.empty()) return;
  if (const auto backup = KeyboardJobs::Summary(folder)) {
    const QString made =
        QLocale().toString(QDateTime::fromSecsSinceEpoch(backup->made), QLocale::ShortFormat);
    const QString question = Word(*msg_, MsgStr::kWordRestoreQuestion).arg(backup->count).arg(made);
    if (QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
      return;
  }
  after_ = {};
  RunCommand(jobs_->Restore(folder));
}

void TPcLinkForm::DisconnectActionExecute() {
  if (busy_) return;
  keyboard_->Disconnect();
  RebuildKbdTree();
}

QStringList TPcLinkForm::SelectedLocalPaths() const {
  QStringList paths;
  if (QTreeWidgetItem* node = ui->LocalDirView->currentItem()) {
    for (int row : ui->LocalFileView->SelectedRows())
      paths << LocalNodePath(node) + ui->LocalFileView->Caption(row);
  }
  return paths;
}

std::vector<QnData*> TPcLinkForm::SelectedKbdEntries() const {
  std::vector<QnData*> entries;
  if (ui->KbdDirView->currentItem() != nullptr) {
    for (int row : ui->KbdFileView->SelectedRows()) entries.push_back(KbdItemEntry(row));
  }
  return entries;
}

void TPcLinkForm::SendActionExecute() {
  const int row = ui->KbdFileView->SelectedRow();
  SendFiles(SelectedLocalPaths(), ui->KbdDirView->currentItem() != nullptr && row >= 0
                                      ? std::vector<QnData*>{KbdItemEntry(row)}
                                      : std::vector<QnData*>{});
}

// The files go into the slot and the slots after it.
void TPcLinkForm::SendFiles(const QStringList& paths, std::vector<QnData*> targets) {
  if (busy_) return;
  std::vector<std::string> files;
  for (const QString& path : paths) files.push_back(EncodedPath(path));
  after_ = {};
  after_.kbdNode = ui->KbdDirView->currentItem();
  after_.kbdRow = ui->KbdFileView->SelectedRow();
  RunCommand(jobs_->Send({files, std::move(targets), true}));
}

void TPcLinkForm::ReceiveActionExecute() {
  if (busy_) return;
  const QTreeWidgetItem* node = ui->LocalDirView->currentItem();
  after_ = {};
  std::optional<std::string> folder;
  if (node != nullptr) {
    after_.importFolder = LocalNodePath(node);
    folder = EncodedPath(*after_.importFolder);
  }
  RunCommand(jobs_->Import({SelectedKbdEntries(), folder, KeyboardJobs::EmptySlot::Skip}));
}

// What the views show of a command that has ended: the PC list again if it
// still shows the folder imported into (the PC side may have been browsed
// meanwhile) with the last file, the keyboard list with the last slot sent
// or the one that failed.
void TPcLinkForm::ShowWhatWasDone(bool whole) {
  const std::string folder = after_.importFolder ? EncodedPath(*after_.importFolder) : "";
  if (events_->imported > 0 && RefreshLocalList(*after_.importFolder) && whole) {
    const QString last = QFile::decodeName(events_->lastImported.substr(folder.size()).c_str());
    ui->LocalFileView->SelectRow(ui->LocalFileView->FindCaption(last));
    ui->LocalFileView->CurrentView()->setFocus();
  }
  if (after_.localList) LocalUpdateActionExecute();
  if (after_.kbdNode == nullptr || ui->KbdDirView->currentItem() != after_.kbdNode) return;
  if (events_->failed != WindowJobEvents::kNone) {
    ui->KbdFileView->SelectRow(after_.kbdRow + static_cast<int>(events_->failed));
  } else if (whole && events_->lastSent != nullptr) {
    ui->KbdFileView->SelectRow(events_->lastSent->SlotNumber());
    ui->KbdFileView->CurrentView()->setFocus();
  }
}

bool TPcLinkForm::RefreshLocalList(const QString& folder) { return local_->Refresh(folder); }

void TPcLinkForm::DeleteActionExecute() {
  if (busy_) return;
  after_ = {};
  RunCommand(jobs_->Delete({SelectedKbdEntries()}));
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
    DataFile::Rename(EncodedPath(path + caption), *file, dialog.DataName());
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
        if (row >= 0) ui->KbdFileView->SelectRow(row);
        SendFiles(external.isEmpty() ? SelectedLocalPaths() : external,
                  row >= 0 ? std::vector<QnData*>{target} : std::vector<QnData*>{});
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
