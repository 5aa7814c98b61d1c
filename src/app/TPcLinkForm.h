#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ListDrag.h"
#include "midi/Task.h"
#include "platform/SettingsStore.h"

class ItemListView;
class JobFailure;
class KeyboardSide;
class MsgStr;
class KeyboardJobs;
class PcSide;
class QAction;
class QCloseEvent;
class QDropEvent;
class QTreeWidgetItem;
class QnData;
class QnKbdDrv;
class QtMidiDriver;
class DeviceStatus;
class DeviceWatch;
class QPushButton;
class QTimer;
class StyleButtons;
class TMidiMonitorForm;
class WindowJobEvents;

namespace Ui {
class TPcLinkForm;
}

// The main window: the PC's folders and files above, the keyboard's drives,
// folders and slots below, and the commands that move data between them.
class TPcLinkForm : public QMainWindow {
  Q_OBJECT

 public:
  struct Options {
    bool simulator = false;  // use the built-in simulator for this run
    QString settingsFile;    // empty: the user's store
  };

  explicit TPcLinkForm(const Options& options, QWidget* parent = nullptr);
  ~TPcLinkForm() override;

  static constexpr const char* kCaption = "TRV-408 MUSIC DATA MANAGEMENT SOFTWARE";
  static constexpr const char* kApplicationTitle = "VARDO Keyboard Data File Manager";

  // The application's names and the toolkit's texts in the user's language,
  // set before the window is made.
  static void SetUpApplication();
  static constexpr const char* kSourceMimeType = ListDrag::kSourceMimeType;

  int32_t InputDevice() const { return values_.inputDevice; }
  int32_t OutputDevice() const { return values_.outputDevice; }
  QString DefaultFolder() const { return values_.defaultFolder; }

  // Node paths as the commands use them.
  QString LocalNodePath(const QTreeWidgetItem* node) const;
  std::string KbdNodePath(const QTreeWidgetItem* node) const;

  // Selects the file's folder in the PC tree and the file in the PC list,
  // and brings the window to the front; once the command that runs has ended.
  void ShowLocalFile(const QString& path);
  // Whether a command that talks to the keyboard runs.
  bool Busy() const { return busy_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormActivate();
  void FormDestroy();
  void WireActions();
  void WireViews();
  void LoadSettings();
  void RestoreLayout();
  SettingsStore::Layout CurrentLayout() const;
  void ChooseSimulator(SettingsStore::Values& values) const;
  // With `detect`, the dialog asks the ports as it opens.
  bool RunPreferences(SettingsStore::Values& values, bool detect = false);
  // Follows the ports values_ names (an unnamed one by its number) and keeps
  // their names there for the save at the end. True when a port list changed.
  bool FollowDevices();
  void ShowDevices();
  // Reads the port lists again and shows a port that has gone at once.
  void WatchDevices();
  // The gone ports' names, for the status line and a failure's box.
  QString GoneDevices() const;

  // Keyboard side.
  void RebuildKbdTree();
  void FillKbdFileView(QTreeWidgetItem* node);
  void KbdDirViewChange(QTreeWidgetItem* node);
  QnData* KbdItemEntry(int row) const;

  // Commands.
  void ConnectActionExecute();
  void DisconnectActionExecute();
  void SendActionExecute();
  void ReceiveActionExecute();
  void DeleteActionExecute();
  void PropOpenExecute();
  void KbdDrvPropOpenExecute();
  void PrefOpenExecute();
  void ExitActionExecute();
  void KbdUpdateActionExecute();
  void LocalUpdateActionExecute();
  void ShellOpenExecute();
  void MidiMonitorActionExecute();
  void BackupActionExecute();
  void RestoreActionExecute();

  // The frame of a command that talks to the keyboard: status text and bar
  // reset, the work started on the driver; once it has ended, every failure
  // shown in an error box, status and bar reset again. Refused while one runs.
  void RunCommand(Task<void> work);
  void EndCommand();
  // The commands that talk to the keyboard wait while one runs.
  void UpdateCommands();
  // The Cancel button and Escape.
  void CancelWork();
  void ShowFailure(const JobFailure& failure, const QString& gone = QString());
  void ShowError(const QString& text, const QString& note = QString());
  void ResetProgress();
  void SendFiles(const QStringList& paths, std::vector<QnData*> targets);
  // After a command: the views show what it did; `whole` when it did all.
  void ShowWhatWasDone(bool whole);
  QStringList SelectedLocalPaths() const;
  std::vector<QnData*> SelectedKbdEntries() const;
  // Reads the PC list again if it still shows `folder`.
  bool RefreshLocalList(const QString& folder);
  // A folder from the folder picker, encoded for the file service; empty
  // when the user cancelled.
  std::string PickFolder();

  // Drag and drop.
  void LocalFileViewDragDrop(int row);
  void KbdFileViewDragDrop(const QDropEvent& event, int row);

  std::unique_ptr<Ui::TPcLinkForm> ui;
  Options options_;
  SettingsStore::Values values_;
  SettingsStore::Values loaded_;
  QnKbdDrv* keyboard_ = nullptr;
  std::unique_ptr<WindowJobEvents> events_;
  std::unique_ptr<KeyboardJobs> jobs_;
  std::unique_ptr<QtMidiDriver> driver_;
  Task<void> job_;  // the command that runs
  // Where the command that runs was started, for the views once it ends.
  struct After {
    QTreeWidgetItem* kbdNode = nullptr;
    int kbdRow = -1;
    std::optional<QString> importFolder;
    bool localList = false;
  } after_;
  std::unique_ptr<MsgStr> msg_;
  std::unique_ptr<TMidiMonitorForm> monitor_;  // made when first opened
  std::unique_ptr<DeviceWatch> devices_;       // the ports in use, by name
  QPushButton* cancelButton_ = nullptr;        // asks the running work to stop
  QAction* cancelAction_ = nullptr;            // Escape, while the work runs
  QTimer* deviceWatch_ = nullptr;              // notices ports that go and come
  std::unique_ptr<SettingsStore> store_;
  std::unique_ptr<DeviceStatus> deviceStatus_;  // names the ports in use
  std::unique_ptr<PcSide> local_;
  std::unique_ptr<KeyboardSide> kbd_;
  StyleButtons* localStyles_ = nullptr;
  StyleButtons* kbdStyles_ = nullptr;
  ItemListView* focusedList_ = nullptr;  // the list that had the focus last
  bool kbdSideFocused_ = false;          // the side that had the focus last
  bool busy_ = false;
  bool listed_ = false;     // a list has been got: the transfers may run
  bool deletable_ = false;  // the keyboard list shows songs or rhythms
  // What waits for the command that runs to end.
  bool closeWhenDone_ = false;
  bool activateWhenDone_ = false;
  bool portsChangedWhenDone_ = false;
  QString fileWhenDone_;
};
