#include "TPcLinkForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCollator>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "ContextMenuKey.h"
#include "ElidedLabel.h"
#include "FocusHighlight.h"
#include "IconSet.h"
#include "ItemListView.h"
#include "QtMidiDriver.h"
#include "WideTree.h"
#include "WindowJobEvents.h"
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
#include "platform/ShellInfo.h"
#include "platform/midi/MidiSystem.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"
#include "ui_TPcLinkForm.h"

namespace {

constexpr int kEntryRole = Qt::UserRole;
// How often the port lists are read for a port that comes or goes.
constexpr int kDeviceWatchMs = 1000;
constexpr uint8_t kMaskFolders = QnData::kKindDirectory;
constexpr uint8_t kMaskAll = QnData::kKindEntry | QnData::kKindDirectory | QnData::kKindFile;

QString Word(const MsgStr& msg, MsgStr::Word word) {
  return QString::fromStdString(msg.WordText(word));
}

QTreeWidgetItem* ChildWithCaption(QTreeWidgetItem* node, const QString& caption) {
  for (int i = 0; i < node->childCount(); ++i) {
    if (node->child(i)->text(0) == caption) return node->child(i);
  }
  return nullptr;
}

bool IsUnder(const QTreeWidgetItem* item, const QTreeWidgetItem* node) {
  for (const QTreeWidgetItem* p = item ? item->parent() : nullptr; p; p = p->parent()) {
    if (p == node) return true;
  }
  return false;
}

QString Caption(const QnData* entry) {
  return QString::fromStdString(EntryView::Caption(entry->Name()));
}

QVariant EntryValue(QnData* entry) {
  return QVariant::fromValue(reinterpret_cast<quintptr>(entry));
}

QnData* EntryFrom(const QVariant& value) {
  return reinterpret_cast<QnData*>(value.value<quintptr>());
}

bool IsFolder(const QnData* entry) { return (entry->Kind() & QnData::kKindDirectory) != 0; }

// The list's picture of an item of each type.
int TypeImage(uint16_t type) {
  switch (type) {
    case QnData::kTypeTone:
      return 6;
    case QnData::kTypeDsp:
      return 7;
    case QnData::kTypeSong:
      return 9;
    case QnData::kTypeRhythm:
      return 10;
    case QnData::kTypeRegistration:
      return 8;
    default:
      return 5;
  }
}

std::string EncodedPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

TPcLinkForm::TPcLinkForm(const Options& options, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::TPcLinkForm), options_(options) {
  Q_INIT_RESOURCE(icons);
  ui->setupUi(this);
  setWindowTitle(QString::fromLatin1(kCaption));
  ShowCaptions();
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
  struct Image {
    QAction* action;
    int index;
  };
  for (const Image& image : {Image{ui->ConnectAction, 6}, Image{ui->SendAction, 5},
                             Image{ui->ReceiveAction, 7}, Image{ui->DeleteAction, 8},
                             Image{ui->KbdUpdateAction, 6}, Image{ui->LocalUpdateAction, 4}}) {
    image.action->setIcon(IconSet::Tool(image.index));
  }

  // Menu items are objects of their own so that they can be disabled while
  // their action stays enabled.
  struct Carrier {
    QAction* item;
    QAction* action;
  };
  for (const Carrier& c :
       {Carrier{ui->PropertyMenuItem, ui->PrefOpen}, Carrier{ui->Exit1, ui->ExitAction},
        Carrier{ui->LocalSendMenuItem, ui->SendAction}, Carrier{ui->Property1, ui->PropOpen},
        Carrier{ui->OpenExplorer, ui->ShellOpen}, Carrier{ui->KbdReceiveItem, ui->ReceiveAction},
        Carrier{ui->KbdDeleteItem, ui->DeleteAction}, Carrier{ui->KbdPropertyItem, ui->PropOpen},
        Carrier{ui->KbdDrvPropItem, ui->KbdDrvPropOpen}}) {
    c.item->setIcon(c.action->icon());
    connect(c.item, &QAction::triggered, c.action, &QAction::trigger);
  }
  struct Button {
    QToolButton* button;
    QAction* action;
  };
  for (const Button& b :
       {Button{ui->LocalUpdateBtn, ui->LocalUpdateAction}, Button{ui->SendBtn, ui->SendAction},
        Button{ui->KbdUpdateBtn, ui->ConnectAction}, Button{ui->ReceiveBtn, ui->ReceiveAction},
        Button{ui->DeleteBtn, ui->DeleteAction}}) {
    b.button->setDefaultAction(b.action);
  }
  for (QAbstractButton* button : ui->LocalViewStyleGroup->buttons())
    button->setIcon(IconSet::Tool(button->property("Tag").toInt()));
  for (QAbstractButton* button : ui->KbdViewStyleGroup->buttons())
    button->setIcon(IconSet::Tool(button->property("Tag").toInt()));

  // Actions without a carrier still belong to the window.
  addActions({ui->DisconnectAction, ui->SendAction, ui->ReceiveAction, ui->DeleteAction,
              ui->PropOpen, ui->ExitAction, ui->KbdUpdateAction, ui->PrefOpen, ui->KbdDrvPropOpen,
              ui->ShellOpen});

  // Keys sit on what the menus show, so that the menus name them. Each also
  // belongs to the part of the window where its key works, so that the key
  // works with the menus closed; a menu item that is disabled takes its key
  // with it. F5 and Alt+Enter mean the side or the view with the focus.
  struct Key {
    QAction* item;
    QList<QKeySequence> keys;  // the menu names the first
    QWidget* scope;
  };
  const QList<QKeySequence> altEnter{QKeySequence(Qt::ALT | Qt::Key_Enter),
                                     QKeySequence(Qt::ALT | Qt::Key_Return)};
  // Retrieve and Get/Update List share the View menu, which names F5 only at
  // Get/Update List: on the PC side an action of its own carries the key.
  auto* retrieveKey = new QAction(this);
  connect(retrieveKey, &QAction::triggered, ui->LocalUpdateAction, &QAction::trigger);
  for (const Key& k :
       {Key{retrieveKey, {QKeySequence(Qt::Key_F5)}, ui->LocalPanel},
        Key{ui->ConnectAction, {QKeySequence(Qt::Key_F5)}, ui->KbdPanel},
        Key{ui->LocalSendMenuItem, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, this},
        Key{ui->KbdReceiveItem, {QKeySequence(Qt::CTRL | Qt::Key_I)}, this},
        Key{ui->KbdDeleteItem, {QKeySequence(Qt::Key_Delete)}, ui->KbdFileView},
        Key{ui->Property1, altEnter, ui->LocalFileView},
        Key{ui->KbdPropertyItem, altEnter, ui->KbdFileView},
        Key{ui->KbdDrvPropItem, altEnter, ui->KbdDirView},
        Key{ui->Exit1, {QKeySequence(QKeySequence::Quit)}, this}}) {
    k.item->setShortcuts(k.keys);
    k.item->setShortcutContext(k.scope == this ? Qt::WindowShortcut
                                               : Qt::WidgetWithChildrenShortcut);
    k.scope->addAction(k.item);
  }
  // The view style buttons take no focus; from the keyboard the styles
  // apply to the side that has it.
  const QList<QAction*> styles{ui->LargeIconAction, ui->SmallIconAction, ui->ListAction,
                               ui->ReportAction};
  for (int tag = 0; tag < styles.size(); ++tag) {
    connect(styles[tag], &QAction::triggered, this, [this, tag] {
      ChooseStyle(kbdSideFocused_ ? ui->KbdViewStyleGroup : ui->LocalViewStyleGroup, tag);
    });
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

  connect(ui->LocalViewStyleGroup, &QButtonGroup::buttonClicked, this,
          &TPcLinkForm::LocalFileViewBtnsClick);
  connect(ui->KbdViewStyleGroup, &QButtonGroup::buttonClicked, this,
          &TPcLinkForm::KbdFileViewBtnsClick);
}

void TPcLinkForm::WireViews() {
  ui->Splitter->setStretchFactor(0, 0);
  ui->Splitter->setStretchFactor(1, 1);
  ui->Splitter->setSizes({233, 250});
  ui->Splitter1->setStretchFactor(1, 1);
  ui->Splitter1->setSizes({177, 418});
  ui->Splitter2->setStretchFactor(1, 1);
  ui->Splitter2->setSizes({177, 418});

  localExpanding_ = connect(ui->LocalDirView, &QTreeWidget::itemExpanded, this,
                            &TPcLinkForm::LocalDirViewExpanding);
  connect(ui->LocalDirView, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { LocalDirViewChange(current); });
  connect(ui->KbdDirView, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { KbdDirViewChange(current); });
  connect(ui->LocalFileView, &ItemListView::itemOpened, this, &TPcLinkForm::LocalFileViewDblClick);
  connect(ui->KbdFileView, &ItemListView::itemOpened, this, &TPcLinkForm::KbdFileViewDblClick);

  connect(ui->LocalFileView, &ItemListView::contextMenuRequested, ui->LocalPopupMenu,
          [this](const QPoint& pos) { ui->LocalPopupMenu->popup(pos); });
  connect(ui->KbdFileView, &ItemListView::contextMenuRequested, ui->KbdPopupMenu,
          [this](const QPoint& pos) { ui->KbdPopupMenu->popup(pos); });
  connect(ui->KbdDirView, &QWidget::customContextMenuRequested, ui->KbdDirPopup,
          [this](const QPoint& pos) {
            ui->KbdDirPopup->popup(ui->KbdDirView->viewport()->mapToGlobal(pos));
          });

  // The property command works on the list that has the focus; a popup
  // menu takes the focus away for a moment, so the last list is kept.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    for (ItemListView* list : {ui->LocalFileView, ui->KbdFileView})
      if (now && (now == list || list->isAncestorOf(now))) focusedList_ = list;
    if (now && ui->KbdPanel->isAncestorOf(now)) kbdSideFocused_ = true;
    if (now && ui->LocalPanel->isAncestorOf(now)) kbdSideFocused_ = false;
  });

  new WideTree(ui->LocalDirView);
  new WideTree(ui->KbdDirView);
  auto* menuKey = new ContextMenuKey(this);
  menuKey->Watch(ui->KbdDirView);
  for (ItemListView* list : {ui->LocalFileView, ui->KbdFileView}) {
    menuKey->Watch(list->ViewAt(ItemListView::LargeIcon));
    menuKey->Watch(list->ViewAt(ItemListView::Report));
  }
  new FocusHighlight({ui->LocalDirView, ui->LocalFileView, ui->KbdDirView, ui->KbdFileView}, this);
  setTabOrder(ui->LocalDirView, ui->LocalFileView);
  setTabOrder(ui->LocalFileView, ui->KbdDirView);
  setTabOrder(ui->KbdDirView, ui->KbdFileView);
  ui->LocalFileView->SetResolver([this](ItemListModel::Row& row) {
    const QFileInfo info(localListed_ + row.caption);
    row.icon = shell_->Icon(info);
    row.sub1 = shell_->TypeName(info);
  });
  ui->LocalFileView->canDrag = [](int) { return true; };
  ui->LocalFileView->dragData = [this](int) { return DragData(ui->LocalFileView); };
  ui->LocalFileView->acceptsDrop = [this](const QDropEvent& e) { return LocalFileViewAccepts(e); };
  ui->LocalFileView->dropped = [this](const QDropEvent&, int row) { LocalFileViewDragDrop(row); };
  ui->KbdFileView->canDrag = [this](int row) { return KbdFileViewCanDrag(row); };
  ui->KbdFileView->dragData = [this](int) { return DragData(ui->KbdFileView); };
  ui->KbdFileView->acceptsDrop = [this](const QDropEvent& e) { return KbdFileViewAccepts(e); };
  ui->KbdFileView->dropped = [this](const QDropEvent& e, int row) { KbdFileViewDragDrop(e, row); };

  UpdateCommands();
}

// ---------------------------------------------------------------------------
// Start and end

void TPcLinkForm::FormCreate() {
  shell_ = std::make_unique<ShellInfo>();
  modelName_ = QString::fromLatin1(QnKbdDrv::kModelName);
  driver_ = std::make_unique<QtMidiDriver>();
  MidiDev::UseDriver(driver_.get());
  keyboard_ = QnKbdDrv::Instance(modelName_.toStdString());
  LoadSettings();
  msg_ = std::make_unique<MsgStr>();
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
  deviceIcon_ = new QLabel(ui->Panel1);
  deviceField_ = new ElidedLabel(ui->Panel1);
  deviceField_->setObjectName(QStringLiteral("DeviceField"));
  deviceField_->setFrameShape(QFrame::StyledPanel);
  deviceField_->setFrameShadow(QFrame::Sunken);
  deviceField_->setMaximumWidth(360);
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
  ui->Panel1Layout->addWidget(deviceIcon_);
  ui->Panel1Layout->addWidget(deviceField_);
  ShowDevices();
  deviceWatch_ = new QTimer(this);
  deviceWatch_->setInterval(kDeviceWatchMs);
  connect(deviceWatch_, &QTimer::timeout, this, &TPcLinkForm::WatchDevices);
  deviceWatch_->start();

  localTree_ =
      std::make_unique<PcFolderTree>(ui->LocalDirView, *shell_, PcFolderTree::Order::ByCaption);
  localTree_->BuildDriveLevel();
  SelectDefaultFolder();
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

// Every caption, tool tip and column header in the user's language; before
// the buttons take their actions, so that a caption changed later does not
// enable a button that waits for a list.
void TPcLinkForm::ShowCaptions() {
  const MsgStr msg;
  ui->FileMenu->setTitle(Word(msg, MsgStr::kWordFileMenu));
  ui->ViewMenu->setTitle(Word(msg, MsgStr::kWordViewMenu));
  struct Caption {
    QAction* action;
    MsgStr::Word text;
    MsgStr::Word hint;
  };
  for (const Caption& c :
       {Caption{ui->ConnectAction, MsgStr::kWordGetListMenu, MsgStr::kWordGetList},
        Caption{ui->KbdUpdateAction, MsgStr::kWordGetListMenu, MsgStr::kWordGetList},
        Caption{ui->DisconnectAction, MsgStr::kWordDisconnect, MsgStr::kWordDisconnect},
        Caption{ui->SendAction, MsgStr::kWordSendMenu, MsgStr::kWordSend},
        Caption{ui->LocalSendMenuItem, MsgStr::kWordSendMenu, MsgStr::kWordSend},
        Caption{ui->ReceiveAction, MsgStr::kWordImportMenu, MsgStr::kWordImport},
        Caption{ui->KbdReceiveItem, MsgStr::kWordImportMenu, MsgStr::kWordImport},
        Caption{ui->DeleteAction, MsgStr::kWordDeleteMenu, MsgStr::kWordDelete},
        Caption{ui->KbdDeleteItem, MsgStr::kWordDeleteMenu, MsgStr::kWordDelete},
        Caption{ui->PropOpen, MsgStr::kWordPropertiesMenu, MsgStr::kWordProperties},
        Caption{ui->Property1, MsgStr::kWordPropertiesMenu, MsgStr::kWordProperties},
        Caption{ui->KbdPropertyItem, MsgStr::kWordPropertiesMenu, MsgStr::kWordProperties},
        Caption{ui->KbdDrvPropOpen, MsgStr::kWordProperiesMenu, MsgStr::kWordProperties},
        Caption{ui->KbdDrvPropItem, MsgStr::kWordProperiesMenu, MsgStr::kWordProperties},
        Caption{ui->ExitAction, MsgStr::kWordExitMenu, MsgStr::kWordExit},
        Caption{ui->Exit1, MsgStr::kWordExitMenu, MsgStr::kWordExit},
        Caption{ui->LocalUpdateAction, MsgStr::kWordRetrieveMenu, MsgStr::kWordRetrieve},
        Caption{ui->PrefOpen, MsgStr::kWordPreferenceMenu, MsgStr::kWordPreference},
        Caption{ui->PropertyMenuItem, MsgStr::kWordPreferenceMenu, MsgStr::kWordPreference},
        Caption{ui->ShellOpen, MsgStr::kWordExplorerMenu, MsgStr::kWordExplorer},
        Caption{ui->OpenExplorer, MsgStr::kWordExplorerMenu, MsgStr::kWordExplorer},
        Caption{ui->LargeIconAction, MsgStr::kWordLargeIconMenu, MsgStr::kWordLargeIcon},
        Caption{ui->SmallIconAction, MsgStr::kWordSmallIconMenu, MsgStr::kWordSmallIcon},
        Caption{ui->ListAction, MsgStr::kWordListMenu, MsgStr::kWordList},
        Caption{ui->ReportAction, MsgStr::kWordDetailedMenu, MsgStr::kWordDetailed},
        Caption{ui->MidiMonitorAction, MsgStr::kWordMonitorMenu, MsgStr::kWordMonitor},
        Caption{ui->BackupAction, MsgStr::kWordBackUpMenu, MsgStr::kWordBackUp},
        Caption{ui->RestoreAction, MsgStr::kWordRestoreMenu, MsgStr::kWordRestore}}) {
    c.action->setText(Word(msg, c.text));
    c.action->setToolTip(Word(msg, c.hint));
  }
  // The view style buttons by their Tag.
  const MsgStr::Word styles[] = {MsgStr::kWordLargeIcon, MsgStr::kWordSmallIcon, MsgStr::kWordList,
                                 MsgStr::kWordDetailed};
  for (const QButtonGroup* group : {ui->LocalViewStyleGroup, ui->KbdViewStyleGroup}) {
    for (QAbstractButton* button : group->buttons())
      button->setToolTip(Word(msg, styles[button->property("Tag").toInt()]));
  }
  ui->LocalFileView->SetColumns(
      {Word(msg, MsgStr::kWordColumnFileName), Word(msg, MsgStr::kWordColumnTypeName),
       Word(msg, MsgStr::kWordColumnSize)},
      {200, 100, 100}, 2);
  ui->KbdFileView->SetColumns(
      {Word(msg, MsgStr::kWordColumnName), Word(msg, MsgStr::kWordColumnTypeName),
       Word(msg, MsgStr::kWordColumnSizeBytes)},
      {193, 100, 100}, 2);
}

void TPcLinkForm::RestoreLayout() {
  const SettingsStore::Layout layout = store_->LoadLayout();
  if (!layout.geometry.isEmpty()) restoreGeometry(layout.geometry);
  ui->Splitter->restoreState(layout.splitter);
  ui->Splitter1->restoreState(layout.localSplitter);
  ui->Splitter2->restoreState(layout.kbdSplitter);
  ChooseStyle(ui->LocalViewStyleGroup, layout.localStyle);
  ChooseStyle(ui->KbdViewStyleGroup, layout.kbdStyle);
}

// As a click on the style's button does; a style without a button changes nothing.
void TPcLinkForm::ChooseStyle(QButtonGroup* group, int style) {
  for (QAbstractButton* button : group->buttons())
    if (button->property("Tag").toInt() == style) button->click();
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

void TPcLinkForm::ShowDevices() {
  const auto shown = [this](const std::string& name) {
    return name.empty() ? Word(*msg_, MsgStr::kWordNoDevice) : QString::fromStdString(name);
  };
  const QString in = shown(devices_->InputName());
  const QString out = shown(devices_->OutputName());
  const QString text = in == out ? in : in + QStringLiteral(" / ") + out;
  deviceField_->setText(text);
  QStringList tip{Word(*msg_, MsgStr::kWordMidiInput).arg(in),
                  Word(*msg_, MsgStr::kWordMidiOutput).arg(out)};
  const bool missing = devices_->InputMissing() || devices_->OutputMissing();
  if (devices_->InputMissing()) tip[0] += Word(*msg_, MsgStr::kWordNotConnected);
  if (devices_->OutputMissing()) tip[1] += Word(*msg_, MsgStr::kWordNotConnected);
  deviceField_->setToolTip(tip.join('\n'));
  deviceIcon_->setToolTip(deviceField_->toolTip());
  const int size = deviceField_->fontMetrics().height();
  deviceIcon_->setPixmap(missing ? style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size)
                                 : QPixmap());
  deviceIcon_->setVisible(missing);
}

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
  ShowDevices();
  const QString gone = GoneDevices();
  if (gone == goneBefore) return;
  if (!gone.isEmpty()) {
    ui->StatusBar->showMessage(gone);
  } else if (ui->StatusBar->currentMessage() == goneBefore) {
    ui->StatusBar->clearMessage();
  }
}

QString TPcLinkForm::GoneDevices() const {
  QStringList names;
  if (devices_->InputMissing()) names << QString::fromStdString(devices_->InputName());
  if (devices_->OutputMissing() && !names.contains(QString::fromStdString(devices_->OutputName())))
    names << QString::fromStdString(devices_->OutputName());
  if (names.isEmpty()) return QString();
  return Word(*msg_, MsgStr::kWordPortGone).arg(names.join(QStringLiteral(" / ")));
}

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
  msg_.reset();
}

void TPcLinkForm::LocalFileViewBtnsClick(QAbstractButton* button) {
  const int tag = button->property("Tag").toInt();
  if (tag >= ItemListView::LargeIcon && tag <= ItemListView::Report)
    ui->LocalFileView->SetStyle(tag);
}

void TPcLinkForm::KbdFileViewBtnsClick(QAbstractButton* button) {
  const int tag = button->property("Tag").toInt();
  if (tag >= ItemListView::LargeIcon && tag <= ItemListView::Report) ui->KbdFileView->SetStyle(tag);
}

// ---------------------------------------------------------------------------
// PC side

QString TPcLinkForm::LocalNodePath(const QTreeWidgetItem* node) const {
  return PcFolderTree::NodePath(node);
}

void TPcLinkForm::SelectDefaultFolder() {
  // No node is current yet; without this the tree would make its first node
  // current when it gets the focus.
  ui->LocalDirView->setCurrentItem(nullptr);
  // A folder that is gone selects nothing rather than some folder above it.
  if (!QFileInfo(values_.defaultFolder).isDir()) return;
  if (QTreeWidgetItem* found = localTree_->Find(values_.defaultFolder)) SelectLocalNode(found);
}

void TPcLinkForm::FillLocalFileView(QTreeWidgetItem* node) {
  const QString path = LocalNodePath(node);
  QFileInfoList entries =
      QDir(path).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
  QCollator collator;
  std::sort(entries.begin(), entries.end(), [&](const QFileInfo& a, const QFileInfo& b) {
    return collator.compare(a.fileName(), b.fileName()) < 0;
  });
  // Icons and type names are looked up only for the items on screen.
  localListed_ = path;
  ItemListView* view = ui->LocalFileView;
  view->BeginFill();
  for (const QFileInfo& info : entries) {
    QString size;
    if (!info.isDir()) size = QString::number(std::max<qint64>(info.size() / 1024, 1)) + "KB";
    view->AddUnresolvedItem(info.fileName(), size);
  }
  view->EndFill();
}

void TPcLinkForm::ClearLocalFileView() {
  ui->LocalFileView->Clear();
  localEntries_.clear();
}

void TPcLinkForm::SelectLocalNode(QTreeWidgetItem* node) {
  QObject::disconnect(localExpanding_);
  for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) p->setExpanded(true);
  ui->LocalDirView->setCurrentItem(node);
  ui->LocalDirView->scrollToItem(node);
  localExpanding_ = connect(ui->LocalDirView, &QTreeWidget::itemExpanded, this,
                            &TPcLinkForm::LocalDirViewExpanding);
}

void TPcLinkForm::LocalDirViewChange(QTreeWidgetItem* node) {
  ClearLocalFileView();
  if (node == nullptr) return;
  localTree_->ListSubfolders(node);
  FillLocalFileView(node);
}

void TPcLinkForm::LocalDirViewExpanding(QTreeWidgetItem* node) {
  // Removing the selected node would move the selection somewhere while the
  // children are being replaced.
  if (IsUnder(ui->LocalDirView->currentItem(), node)) ui->LocalDirView->setCurrentItem(node);
  localTree_->ListSubfolders(node);
}

void TPcLinkForm::LocalFileViewDblClick(int row) {
  QTreeWidgetItem* node = ui->LocalDirView->currentItem();
  if (node == nullptr || row < 0) return;
  const QString caption = ui->LocalFileView->Caption(row);
  if (!QFileInfo(LocalNodePath(node) + caption).isDir()) return;
  if (QTreeWidgetItem* child = ChildWithCaption(node, caption)) SelectLocalNode(child);
}

// ---------------------------------------------------------------------------
// Keyboard side

QnData* TPcLinkForm::EntryOf(const QTreeWidgetItem* node) {
  return node ? EntryFrom(node->data(0, kEntryRole)) : nullptr;
}

QnData* TPcLinkForm::KbdItemEntry(int row) const {
  return row >= 0 && row < ui->KbdFileView->Count() ? EntryFrom(ui->KbdFileView->Data(row))
                                                    : nullptr;
}

std::string TPcLinkForm::KbdNodePath(const QTreeWidgetItem* node) const {
  std::vector<std::string> captions;
  for (const QTreeWidgetItem* n = node; n; n = n->parent())
    captions.insert(captions.begin(), n->text(0).toLatin1().toStdString());
  std::string path;
  for (const std::string& caption : captions) {
    path += caption;
    if (path.empty() || path.back() != '\\') path += '\\';
  }
  const std::string model = modelName_.toStdString();
  if (path.compare(0, model.size(), model) == 0) path.erase(0, model.size() + 1);
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

void TPcLinkForm::RebuildKbdTree() {
  ui->KbdFileView->Clear();
  ui->KbdDirView->clear();
  auto* root = new QTreeWidgetItem(ui->KbdDirView, {modelName_});
  root->setIcon(0, IconSet::Kbd(11));
  const int driveImage = keyboard_->IsConnected() ? 1 : 0;
  for (int i = 0; i < keyboard_->GetDriveCount(); ++i) {
    const std::string name = keyboard_->GetDriveName(i);
    auto* node = new QTreeWidgetItem(root, {QString::fromLatin1(name) + QLatin1Char('\\')});
    node->setData(0, kEntryRole, EntryValue(keyboard_->GetDrive(name)));
    node->setIcon(0, IconSet::Kbd(driveImage));
    const bool folders = keyboard_->HasSubDirectory(name);
    node->setChildIndicatorPolicy(folders ? QTreeWidgetItem::ShowIndicator
                                          : QTreeWidgetItem::DontShowIndicator);
    AddKbdFolders(node);
  }
  root->setExpanded(true);
  if (root->childCount() > 0) ui->KbdDirView->setCurrentItem(root->child(0));
}

void TPcLinkForm::AddKbdFolders(QTreeWidgetItem* node) {
  const std::string path = KbdNodePath(node);
  QnData* entry = nullptr;
  if (!keyboard_->FindFirst(path, kMaskFolders, entry)) return;
  do {
    if (!IsFolder(entry)) continue;
    auto* child = new QTreeWidgetItem(node, {Caption(entry)});
    child->setData(0, kEntryRole, EntryValue(entry));
    const bool present = entry->IsPresent();
    child->setIcon(0, present ? IconSet::KbdPair(3, 4) : IconSet::Kbd(2));
    const bool folders = keyboard_->HasSubDirectory(path + entry->Name());
    child->setChildIndicatorPolicy(folders ? QTreeWidgetItem::ShowIndicator
                                           : QTreeWidgetItem::DontShowIndicator);
    if (folders) AddKbdFolders(child);
  } while (keyboard_->FindNext(entry));
  keyboard_->FindClose();
}

void TPcLinkForm::FillKbdFileView(QTreeWidgetItem* node) {
  ItemListView* view = ui->KbdFileView;
  // A folder offers Delete when it holds items that can be deleted.
  bool deletable = false;
  QnData* entry = nullptr;
  if (keyboard_->FindFirst(KbdNodePath(node), kMaskAll, entry)) {
    view->BeginFill();
    do {
      const EntryView row(*entry);
      const QString caption = QString::fromStdString(row.Caption());
      deletable = deletable || row.IsDeletable();
      if (row.IsFolder()) {
        view->AddItem(caption, IconSet::Kbd(row.IsPresent() ? 3 : 2),
                      QString::fromStdString(msg_->FolderText(0)), QString(), EntryValue(entry));
      } else if (row.IsPresent()) {
        view->AddItem(caption, IconSet::Kbd(TypeImage(row.Type())),
                      QString::fromLatin1(row.TypeWord(EntryView::Spelling::List)),
                      QString::number(row.Size()), EntryValue(entry));
      } else {
        view->AddItem(caption, IconSet::Kbd(5), QString(), QString(), EntryValue(entry));
      }
    } while (keyboard_->FindNext(entry));
    keyboard_->FindClose();
    view->EndFill();
  }
  deletable_ = deletable && keyboard_->IsConnected();
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

void TPcLinkForm::KbdFileViewDblClick(int row) {
  QTreeWidgetItem* node = ui->KbdDirView->currentItem();
  QnData* entry = KbdItemEntry(row);
  if (node == nullptr || entry == nullptr || !IsFolder(entry)) return;
  if (QTreeWidgetItem* child = ChildWithCaption(node, ui->KbdFileView->Caption(row))) {
    node->setExpanded(true);
    ui->KbdDirView->setCurrentItem(child);
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

bool TPcLinkForm::RefreshLocalList(const QString& folder) {
  QTreeWidgetItem* node = ui->LocalDirView->currentItem();
  if (node == nullptr || localListed_ != folder) return false;
  ClearLocalFileView();
  FillLocalFileView(node);
  return true;
}

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
  QnData* entry = EntryOf(ui->KbdDirView->currentItem());
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
      const QnData* attached = EntryFrom(list->Data(row));
      for (const auto& held : localEntries_)
        if (held.get() == attached) file = held;
      if (file == nullptr && caption.endsWith(QLatin1String(".lqd"))) {
        file = DataFile::Read(EncodedPath(path + caption));
        list->SetData(row, EntryValue(file.get()));
        localEntries_.push_back(file);
      }
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

void TPcLinkForm::LocalUpdateActionExecute() {
  ClearLocalFileView();
  if (QTreeWidgetItem* node = ui->LocalDirView->currentItem()) FillLocalFileView(node);
}

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

bool TPcLinkForm::KbdFileViewCanDrag(int row) const {
  const QnData* entry = KbdItemEntry(row);
  return keyboard_->IsConnected() && entry != nullptr && !IsFolder(entry);
}

QMimeData* TPcLinkForm::DragData(const ItemListView* view) const {
  auto* data = new QMimeData;
  data->setData(QString::fromLatin1(kSourceMimeType), view->objectName().toLatin1());
  return data;
}

namespace {

// The control a drag of this window comes from. A drag that crossed over
// from elsewhere names no control of this window.
QString DragSource(const QDropEvent& event) {
  const QMimeData* data = event.mimeData();
  if (data == nullptr || !data->hasFormat(QString::fromLatin1(TPcLinkForm::kSourceMimeType)))
    return QString();
  const QString name =
      QString::fromLatin1(data->data(QString::fromLatin1(TPcLinkForm::kSourceMimeType)));
  if (event.source() && event.source()->objectName() != name) return QString();
  return name;
}

}  // namespace

bool TPcLinkForm::LocalFileViewAccepts(const QDropEvent& event) const {
  return !busy_ && DragSource(event) == QLatin1String("KbdFileView");
}

bool TPcLinkForm::KbdFileViewAccepts(const QDropEvent& event) const {
  if (busy_ || !keyboard_->IsConnected()) return false;
  return DragSource(event) == QLatin1String("LocalFileView") ||
         !DroppedLqdFiles(event.mimeData()).isEmpty();
}

// Local ".lqd" files only, all of them or none.
QStringList TPcLinkForm::DroppedLqdFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  QStringList paths;
  for (const QUrl& url : data->urls()) {
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (!path.endsWith(QLatin1String(".lqd")) || !QFileInfo(path).isFile()) return {};
    paths << QDir::toNativeSeparators(path);
  }
  return paths;
}

// Drops run their command once the drag is over, so that an error box does
// not open inside the drag.
void TPcLinkForm::LocalFileViewDragDrop(int row) {
  const QString caption = row >= 0 ? ui->LocalFileView->Caption(row) : QString();
  QMetaObject::invokeMethod(
      this,
      [this, caption] {
        if (busy_) return;
        try {
          QTreeWidgetItem* node = ui->LocalDirView->currentItem();
          if (node && !caption.isEmpty() && QFileInfo(LocalNodePath(node) + caption).isDir()) {
            if (QTreeWidgetItem* child = ChildWithCaption(node, caption)) SelectLocalNode(child);
          }
        } catch (const std::exception&) {
          ShowFailure(JobFailure(std::current_exception(), *msg_));
        }
        ReceiveActionExecute();
      },
      Qt::QueuedConnection);
}

void TPcLinkForm::KbdFileViewDragDrop(const QDropEvent& event, int row) {
  const QStringList external =
      DragSource(event).isEmpty() ? DroppedLqdFiles(event.mimeData()) : QStringList();
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
  const QFileInfo info(path);
  // Nothing current while the way is listed afresh, so that a folder shown
  // already is read again too: the file may be new.
  ui->LocalDirView->setCurrentItem(nullptr);
  QTreeWidgetItem* node = localTree_->Find(info.absolutePath());
  if (node == nullptr) return;
  SelectLocalNode(node);
  ui->LocalFileView->SelectRow(ui->LocalFileView->FindCaption(info.fileName()));
  ui->LocalFileView->CurrentView()->setFocus();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}
