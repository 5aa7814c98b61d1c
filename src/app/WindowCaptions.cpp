#include "WindowCaptions.h"

#include <QButtonGroup>

#include "ItemListView.h"
#include "protocol/MsgStr.h"
#include "ui_TPcLinkForm.h"

namespace {

QString Word(const MsgStr& msg, MsgStr::Word word) {
  return QString::fromStdString(msg.WordText(word));
}

}  // namespace

void WindowCaptions::Show(Ui::TPcLinkForm* ui) {
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
