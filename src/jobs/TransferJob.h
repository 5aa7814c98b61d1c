#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/JobEvents.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/TransferBatch.h"
#include "midi/Task.h"

class QnData;
class QnKbdDrv;

// Several items in one job, as the window and the command-line tool run
// them: imports into a folder, sends into slots, deletes. Each item is
// whole: a cancel stops the job between two items (an import also between
// two blocks), a file is written only once its item has come whole, and a
// send finishes the item it has begun. The events tell of each item as it is
// done, so a job that stops has told of exactly what it wrote, sent or
// removed.
class TransferJob {
 public:
  using Link = KeyboardBackup::Link;

  // `events` may be nullptr; they and the keyboard outlive the job's tasks.
  TransferJob(QnKbdDrv& keyboard, Link link, JobEvents* events = nullptr);

  // Writes each slot's item into `folder` ("" or ending in a separator)
  // under the names TransferBatch::ImportNames gives.
  Task<void> Import(std::vector<QnData*> entries, std::string folder);
  // A batch is checked whole first (TransferBatch::CheckSends), after the
  // free space is read afresh when `freshFreeSpace` and it holds a song or a
  // rhythm; a single send is checked by the send itself. The files must
  // outlive the task.
  Task<void> Send(std::vector<TransferBatch::Send> sends, bool freshFreeSpace);
  // The batch's check alone, for work that must come between it and the
  // first item; Send after it need not read the free space again.
  Task<void> Check(std::vector<TransferBatch::Send> sends, bool freshFreeSpace);
  Task<void> Delete(std::vector<QnData*> entries);

  // The item the job was on when it stopped, from 0; kWhole while a batch
  // is checked before its first item.
  static constexpr size_t kWhole = static_cast<size_t>(-1);
  size_t Current() const { return current_; }
  // The file the job was writing when it stopped, or "".
  const std::string& Writing() const { return writing_; }

 private:
  QnKbdDrv& keyboard_;
  Link link_;
  JobEvents* events_;
  JobEvents silent_;
  size_t current_ = kWhole;
  std::string writing_;
};
