#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/LqdMidiStream.h"
#include "files/SlotAddress.h"

class QnKbdDrv;
class QnSysExObserver;

// The whole keyboard in one folder: one ".lqd" file for every slot that holds
// data, named by the slot's address ("tone-0.lqd", "reg-1-2.lqd"). Both
// directions work on a keyboard whose list was just got. The work stops on a
// cancel between two items and before a file is written, so that it never
// leaves a file half written. Failures throw the exceptions of the transfer and file classes;
// Context() then names the file or slot.
class KeyboardBackup {
 public:
  // Codes carried by LqdStreamException, after those of LqdMidiStream.
  enum : int32_t { kNoBackupFiles = LqdMidiStream::kNoSlot + 1, kCannotRemove };

  // What the work reports as it goes; every call is optional.
  class Listener {
   public:
    struct Step {
      size_t index;  // from 0
      size_t count;
      SlotAddress address;
      uint32_t size;
      bool sending;
    };
    virtual ~Listener() = default;
    virtual void Starting(const Step& /*step*/) {}
    // After each transfer, also one that failed.
    virtual void Ended() {}
    virtual void Written(const std::string& /*path*/) {}
    virtual void Removed(const std::string& /*path*/) {}
    virtual void Restored(const std::string& /*path*/, const SlotAddress& /*address*/) {}
  };

  // The keyboard's devices, and the observer that follows each transfer.
  struct Link {
    int32_t inDevice;
    int32_t outDevice;
    QnSysExObserver* progress;
  };

  explicit KeyboardBackup(Listener* listener = nullptr);
  ~KeyboardBackup();
  KeyboardBackup(const KeyboardBackup&) = delete;
  KeyboardBackup& operator=(const KeyboardBackup&) = delete;

  // Writes the file of every slot that holds data and removes the file of
  // every slot that is empty now: a file left from an earlier backup would
  // bring that slot back on a restore. `folder` must exist; "" is the
  // current folder.
  void Backup(QnKbdDrv& keyboard, const Link& link, const std::string& folder);
  // Reads and checks every file of the folder, without a word to the keyboard.
  void Load(const std::string& folder);
  // Checks the memory the loaded songs and rhythms need, then fills the
  // slots; nothing is changed on the keyboard before both checks passed.
  void Restore(QnKbdDrv& keyboard, const Link& link);

  // The file or slot the work was on when it stopped.
  const std::string& Context() const { return context_; }

 private:
  struct Item;

  Listener* listener_;
  std::vector<Item> items_;  // what Load read
  Listener silent_;
  std::string context_;
};
