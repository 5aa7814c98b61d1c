#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "files/SlotAddress.h"

class QnData;

// How a front end follows a job, the same for every job and every front end.
// A job tells, in this order: its status line; for each item, Starting, the
// progress of its blocks, Ended once its transfer is over (also one that
// failed), then Done, or Failed before the job throws; Skipped for an item it
// leaves out; ListChanged whenever the keyboard's memory may differ from the
// list shown; Finished, with the note that closes a job that ended well.
// Every call is optional. Events come on the driver's thread, between two
// exchanges.
class JobEvents {
 public:
  enum class Kind { Imported, Sent, Deleted, Written, Removed, Restored };

  struct Item {
    size_t index;  // from 0
    size_t count;
    // The slot's caption or the file's path, as the job was given it.
    std::string name;
    std::optional<SlotAddress> address;
    const QnData* slot;  // the keyboard tree's entry, while the list stands
    uint32_t size;
    bool sending;
  };

  // The bar: `position` of `maximum` bytes of the job (a backup's or a
  // restore's bar follows each item), and of the item under way.
  struct Progress {
    uint32_t position;
    uint32_t maximum;
    uint32_t itemPosition;
    uint32_t itemSize;
  };

  virtual ~JobEvents() = default;
  virtual void Status(const std::string& /*text*/) {}
  virtual void Progressed(const Progress& /*progress*/) {}
  virtual void Starting(const Item& /*item*/) {}
  virtual void Ended(const Item& /*item*/) {}
  // `path` is the file written, removed or sent from, or "".
  virtual void Done(const Item& /*item*/, Kind /*kind*/, const std::string& /*path*/) {}
  virtual void Skipped(const Item& /*item*/) {}
  virtual void Failed(const Item& /*item*/) {}
  // The list was read anew: drives and folders may show otherwise (before
  // its ListChanged).
  virtual void Listed() {}
  virtual void ListChanged() {}
  // The history could not be written; the job goes on without it. Told once
  // for the jobs' history.
  virtual void Noted(const std::string& /*text*/) {}
  // `note` says what the job left out ("" for nothing).
  virtual void Finished(const std::string& /*note*/) {}

  // One item's transfer: Starting now, Ended however it ends.
  class Transfer {
   public:
    Transfer(JobEvents& events, const Item& item) : events_(events), item_(item) {
      events_.Starting(item_);
    }
    ~Transfer() { events_.Ended(item_); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

   private:
    JobEvents& events_;
    const Item& item_;
  };
};
