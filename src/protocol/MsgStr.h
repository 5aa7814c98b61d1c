#pragma once

#include <cstdint>
#include <string>

// The catalog of every text the program shows for an error or a running
// operation, in Japanese or English (UTF-8) by the user's locale.
class MsgStr {
 public:
  enum class Language { English, Japanese };

  MsgStr();  // language from the user's locale
  explicit MsgStr(Language language);

  // The language the environment's locale asks for (LC_ALL, LC_MESSAGES, LANG).
  static Language LocaleLanguage();
  Language CurrentLanguage() const { return language_; }

  std::string MidiDevText(int32_t code, uint32_t subCode) const;
  std::string SysExText(int32_t code) const;
  std::string KbdDrvText(int32_t code) const;
  std::string StreamText(int32_t code) const;
  std::string OperateText(int32_t code) const;
  std::string StatusText(int32_t index) const;
  std::string FolderText(int32_t index) const;
  // The program's own words beyond the errors and statuses: the cancel
  // button, the devices in the status bar, the count of a batch, the MIDI
  // monitor, detection, backup and restore. "%1", "%2", ... stand for the
  // values the caller fills in.
  enum Word : int32_t {
    kWordCancel,
    kWordCancelHint,
    kWordNoDevice,
    kWordMidiInput,     // %1: the port's name
    kWordMidiOutput,    // %1: the port's name
    kWordNotConnected,  // follows a port's name
    kWordOfCount,       // %1 of %2
    kWordBatchFailed,   // %1 of %2, %3: the item
    kWordNothingBefore,
    kWordDoneBefore,  // %1: how many
    kWordDetecting,
    kWordKeyboardsAnswered,  // %1: how many
    kWordDetect,
    kWordDetectHint,
    kWordAnsweredOn,      // %1: the ports a keyboard answered on
    kWordPortsStay,       // no keyboard answered
    kWordCancelledAfter,  // a cancel that let the item under way finish
    kWordPortGone,        // %1: the port's name
    kWordNoFileManager,
    kWordRestoreQuestion,  // %1: how many items, %2: the backup's date
    kWordSimulatorNote,    // %1: why the page has no MIDI ports
    kWordMessages,         // %1: how many
    kWordSaveAs,
    kWordLogFiles,
    kWordFailure,
    kWordToKeyboard,
    kWordFromKeyboard,
    kWordColumnTime,
    kWordColumnDirection,
    kWordColumnLength,
    kWordColumnMeaning,
    kWordColumnBytes,
    kWordMonitor,
    kWordMonitorMenu,
    kWordPause,
    kWordPauseHint,
    kWordClear,
    kWordCopy,
    kWordCopyHint,
    kWordSaveAsMenu,
    kWordBackUp,
    kWordBackUpMenu,
    kWordRestore,
    kWordRestoreMenu,
    kWordStray,  // a message that answers no request, dropped
    kWordStoppingAfterItem,
    kWordCloseWhileWorking,
    kWordCliKeyboardPorts,  // the command line: %1 input, %2 output port name
    kWordCliPortAskedFor,   // %1: the service's text, %2: the port's name
    kWordCliSlotEmpty,
    kWordCliNoSuchSlot,  // %1: the address
    kWordCliNoAddress,   // %1: the text given, %2: the syntax
    kWordCliSendPairs,
    kWordCliEmpty,  // %1: the argument's name
    kWordCliCannotMakeFolder,
    kWordCliCannotRemoveBackup,
    kWordCliNoBackupFiles,
    kWordCliNoDataName,
    kWordCliEmptyDataName,
    kWordCliNameCut,           // %1: the name given, %2: the name stored
    kWordCliInputNotProbed,    // %1: the port's number, %2: its name
    kWordCliOutputNotProbed,   // %1: the port's number, %2: its name
    kWordCliSettingsUnusable,  // %1: the reason, %2: the built-in simulator's name
    kWordCliNoPortNumber,      // %1: the option, %2: the number
    kWordCliNoPortName,        // %1: the option, %2: the text given
    kWordCliSeveralPorts,      // %1: the option, %2: the text given, %3: the names
    kWordCliNoCommand,
    kWordCliUnknownCommand,  // %1: the command
    kWordCliUsage,           // %1: the synopsis
    kWordCliTryHelp,
    kWordCliOutputFailed,         // %1: the reason
    kWordCliLogFailed,            // %1: the file
    kWordCliProgressBytes,        // %1 of %2 bytes done
    kWordCliProtocolError,        // %1: the code
    kWordCliSimMemoryUnreadable,  // %1: the variable, %2: the file
    kWordCliSimMemoryUnwritable,  // %1: the variable, %2: the file
    // The page in the browser: its captions, labels and the Web MIDI failures.
    kWordGetList,
    kWordImport,
    kWordSend,
    kWordDelete,
    kWordConnect,
    kWordMidiInputPort,
    kWordMidiOutputPort,
    kWordKeyboardMemory,
    kWordItems,
    kWordColumnName,
    kWordColumnType,
    kWordColumnSize,
    kWordDriveSpace,  // %1 capacity, %2 used, %3 free, in bytes
    kWordProgress,
    kWordMidiRefused,
    kWordMidiPortBusy,
    kWordNoWebMidi,
    kWordProperties,
    kWordPropertyTitle,
    kWordTypeLabel,
    kWordSizeLabel,
    kWordNameLabel,
    kWordDataSize,  // %1: the size in bytes
    kWordOk,
    kWordFirefoxPermission,
    // The window's menus, tool tips, column headers and dialogs.
    kWordFileMenu,
    kWordViewMenu,
    kWordPreferenceMenu,
    kWordPreference,
    kWordExitMenu,
    kWordExit,
    kWordRetrieveMenu,
    kWordRetrieve,
    kWordGetListMenu,
    kWordDisconnect,
    kWordSendMenu,
    kWordImportMenu,
    kWordDeleteMenu,
    kWordPropertiesMenu,
    kWordProperiesMenu,
    kWordExplorerMenu,
    kWordExplorer,
    kWordLargeIconMenu,
    kWordLargeIcon,
    kWordSmallIconMenu,
    kWordSmallIcon,
    kWordListMenu,
    kWordList,
    kWordDetailedMenu,
    kWordDetailed,
    kWordColumnFileName,
    kWordColumnTypeName,
    kWordColumnSizeBytes,
    kWordError,
    kWordDirectories,
    kWordInputDevice,
    kWordOutputDevice,
    kWordBrowse,
    kWordDirectries,
    kWordGeneral,
    kWordLocationLabel,
    kWordUsedSpace,
    kWordFreeSpace,
    kWordCapacity,
    kWordCloseMenu,
    // The history store's failures, in the order of HistoryException's codes.
    kWordHistoryBusy,
    kWordHistoryReadOnly,
    kWordHistoryFull,
    kWordHistoryNewer,
    kWordHistoryDamaged,
    kWordHistoryFailed,
    // What the jobs keep in the history before a send or a delete replaces
    // it, the type words they name it by, and a history that was not written.
    kWordKeepingBeforeSend,
    kWordKeepingBeforeDelete,
    kWordKeptTone,
    kWordKeptDsp,
    kWordKeptSong,
    kWordKeptRhythm,
    kWordKeptRegistration,
    kWordHistoryNotRecorded,
    // history commands
    kWordCliHistoryNoNumber,    // %1: the text given
    kWordCliHistoryNoDate,      // %1: the text given
    kWordCliHistoryNoSnapshot,  // %1: the snapshot's number
    kWordCliHistoryNoKeyboard,  // %1: the keyboard's number or name
    kWordCliHistoryNameTaken,   // %1: the name
    kWordCliHistoryNoItem,      // %1: the hash
    kWordCliHistoryForgotten,   // %1: snapshots, %2: items
    kWordCliHistoryBadItem,     // %1: the hash
    kWordCliHistoryProblems,    // %1: how many
    kWordCliHistoryLightSlot,   // %1: the address
    kWordCliHistoryNoData,      // %1: the snapshot's number
    kWordCount
  };
  std::string WordText(Word word) const;
  // Text of a MIDI service result code, for input or output calls.
  std::string MidiResultText(uint32_t result, bool input) const;
  // Text for a file that could not be opened (or created), naming its path.
  std::string FileText(bool create, const std::string& path) const;

 private:
  Language language_;
  const char* const* groups_[8];
};
