#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/PBarObserver.h"
#include "files/ProgressBar.h"
#include "jobs/JobEvents.h"
#include "jobs/JobFailure.h"
#include "jobs/TransferBatch.h"
#include "midi/Task.h"
#include "protocol/KeyboardProbe.h"

class HistoryStore;
class KeyboardBackup;
class MsgStr;
class QnData;
class QnKbdDrv;
enum class SnapshotReason : int32_t;

// The keyboard work of every front end, each use case written once: it reads
// and checks its request before the first message, decides what it leaves
// out and where items go, and tells the front end what happens through one
// JobEvents. The window, the page and the command line turn clicks, page
// events and commands into these requests, start the task on their driver,
// and show what the events and End() tell them. One job runs at a time. The
// protocol keeps its observers: the keyboard object goes (QnKbdDrv::Destroy)
// before this does.
class KeyboardJobs {
 public:
  struct Ports {
    int32_t in;
    int32_t out;
  };

  // An empty slot among those chosen for an import. The window and the page
  // import a selection, which may span empty slots: they are left out, and
  // the job's closing note counts them. The command line names each slot:
  // an empty one refuses the command before the first message.
  enum class EmptySlot { Skip, Refuse };

  struct ImportRequest {
    std::vector<QnData*> entries;       // entries of the keyboard tree
    std::optional<std::string> folder;  // "" or ending in a separator; none chosen
    EmptySlot empty = EmptySlot::Skip;
  };
  struct SendRequest {
    std::vector<std::string> files;
    // Each file's slot, or only the first: the files then go into it and the
    // slots after it in its folder.
    std::vector<QnData*> entries;
    // A batch is checked against the free space read afresh, unless the list
    // was read just before.
    bool freshFreeSpace = true;
    // The command line reads the list in the job, once the checks that need
    // no keyboard have passed (and the files are read): a request that
    // cannot succeed then costs no exchange.
    bool listFirst = false;
  };
  struct DeleteRequest {
    std::vector<QnData*> entries;
    bool listFirst = false;  // as for a send
  };

  // The history the jobs write: before a send, a delete or a restore replaces
  // an item, it is read from its slot and kept (`keep`), and that failing
  // stops the job before it changes anything; every list and backup is a
  // snapshot too, and a store that cannot take one is noted once while the
  // job goes on. No store, no history. The ports' names tell this keyboard
  // from others met before; the store outlives the jobs.
  struct HistoryUse {
    HistoryStore* store = nullptr;
    std::string inPort;
    std::string outPort;
    bool keep = true;
  };

  // How a front end writes a path in a note (the page names only the file).
  using ShownPath = std::function<std::string(const std::string&)>;

  KeyboardJobs(QnKbdDrv& keyboard, const MsgStr& messages, JobEvents& events, ShownPath shown = {});
  ~KeyboardJobs();
  KeyboardJobs(const KeyboardJobs&) = delete;
  KeyboardJobs& operator=(const KeyboardJobs&) = delete;

  // The ports the next jobs use; List takes its own.
  void UsePorts(Ports ports) { ports_ = ports; }
  Ports CurrentPorts() const { return ports_; }
  void UseHistory(HistoryUse use);
  // Whether the last list was read whole: after a failed one the tree holds
  // part of the old list and part of the new.
  bool Listed() const { return listed_; }

  Task<void> List(Ports ports);
  Task<void> Import(ImportRequest request);
  Task<void> Send(SendRequest request);
  Task<void> Delete(DeleteRequest request);
  // The free space of one drive, read afresh.
  Task<void> FreeSpace(std::string drive);
  // The keyboards that answered, of the model served; none is a failure,
  // several a closing note.
  Task<std::vector<KeyboardProbe::Keyboard>> Detect(KeyboardProbe& probe);
  // The list is read anew first: the keyboard may have changed since.
  Task<void> Backup(std::string folder);
  // The folder is read and checked whole before the first message.
  Task<void> Restore(std::string folder);

  // What a restore of `folder` would send, for the question before it: how
  // many items, and when the backup was made. None for a folder that cannot
  // be restored: the restore then says why, without a question.
  struct BackupSummary {
    size_t count;
    std::time_t made;
  };
  static std::optional<BackupSummary> Summary(const std::string& folder);

  // Asks the job under way to stop; a send finishes the item it has begun,
  // and the status line says so.
  void Cancel();

  // How the job that just ended is shown: its failure, if it failed (with
  // the note of the item and batch), and the status line it leaves (its
  // closing note, or that it was cancelled). `stopSignal` as for JobFailure.
  struct Ending {
    std::optional<JobFailure> failure;
    bool cancelled = false;
    std::string status;
  };
  Ending End(Task<void>& job, int stopSignal = 0);
  // As End, for a job whose value the front end takes itself.
  Ending End(std::exception_ptr error, int stopSignal = 0);

  // The file or slot the last job stopped on, as the command line names it.
  const std::string& Where() const { return where_; }

 private:
  class Relay;

  void Begin(int32_t status, bool eachItem);
  Task<void> ListOn(Ports ports);
  static std::vector<QnData*> Targets(const QnKbdDrv& keyboard, const SendRequest& request);
  static std::string WholeBatchFailure(std::exception_ptr error,
                                       const std::vector<TransferBatch::Send>& sends);
  std::string BackupNote(const KeyboardBackup& backup);
  bool Keeping() const { return history_.store != nullptr && history_.keep; }
  // Reads the items of the occupied ones of `slots` and keeps them in one
  // snapshot, before anything replaces them.
  Task<void> Keep(std::vector<QnData*> slots, SnapshotReason why);
  int64_t KeyboardId();
  // Writes what `write` writes into the history; a failure is noted, once.
  void Record(const std::function<void()>& write);
  void RecordList();
  void RecordBackup(const std::string& folder);

  QnKbdDrv& keyboard_;
  const MsgStr& messages_;
  JobEvents& events_;
  ShownPath shown_;
  std::unique_ptr<Relay> relay_;
  PBarObserver observer_;
  Ports ports_{-1, -1};
  Ports listedOn_{-1, -1};
  std::string where_;
  std::string note_;     // under a failure
  std::string closing_;  // after success
  bool stopAfterItem_ = false;
  bool listed_ = false;
  HistoryUse history_;
  int64_t keyboardId_ = 0;  // in the store, once per list
  bool noted_ = false;
};
