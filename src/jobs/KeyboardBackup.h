#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "files/LqdMidiStream.h"
#include "files/SlotAddress.h"
#include "jobs/JobEvents.h"
#include "midi/Task.h"

class QnKbdDrv;
class QnSysExObserver;

// The whole keyboard in one folder: one ".lqd" file for every slot that holds
// data, named by the slot's address ("tone-0.lqd", "reg-1-2.lqd"), and the
// marker ".ravlin-backup", which says "complete" once the folder holds one
// whole backup. Both directions work on a keyboard whose list was just got.
// The work stops on a cancel between two items. Failures throw the
// exceptions of the transfer and file classes; Context() then names the file
// or slot.
class KeyboardBackup {
 public:
  // Codes carried by LqdStreamException, after those of LqdMidiStream.
  enum : int32_t { kNoBackupFiles = LqdMidiStream::kNoSlot + 1, kCannotRemove, kUnfinished };
  // After those of ZipArchive: a file Load would read that is not a regular
  // file or a link to one.
  enum : int32_t { kNotAFile = 15 };

  // The keyboard's devices, and the observer that follows each transfer.
  // (The work is a coroutine: what it is given by value stays with it.)
  struct Link {
    int32_t inDevice;
    int32_t outDevice;
    QnSysExObserver* progress;
  };

  // `events` may be nullptr; they outlive the work's tasks.
  explicit KeyboardBackup(JobEvents* events = nullptr);
  ~KeyboardBackup();
  KeyboardBackup(const KeyboardBackup&) = delete;
  KeyboardBackup& operator=(const KeyboardBackup&) = delete;

  // Leaves `folder` holding either the backup that was there, byte for byte,
  // or this one: every item is received into a hidden subfolder first and
  // put on the disk; only then are the files moved into place, the files of
  // slots that are empty now removed (they would bring the slot back on a
  // restore) and the marker set to "complete". While files move, the
  // marker says "unfinished". A backup that stops earlier removes its
  // subfolder. No other file of the folder is touched. `folder` must exist;
  // "" is the current folder.
  Task<void> Backup(QnKbdDrv& keyboard, Link link, std::string folder);
  // Puts data files given as their bytes (a history's items) into `folder`
  // as a backup puts what it received: whole or not at all, under the
  // marker, the files of slots not given removed.
  void Place(const std::string& folder,
             const std::vector<std::pair<SlotAddress, std::vector<uint8_t>>>& files);
  // Reads and checks every file of the folder, without a word to the
  // keyboard. A folder whose marker does not say "complete" is refused; one
  // without a marker (written before there was one) is read. The marker and
  // every name of a slot's file are looked at before anything is read: one
  // that is not a regular file (a named pipe would keep the read waiting, a
  // folder or a dangling link would be skipped) refuses the folder.
  void Load(const std::string& folder);
  // Checks the memory the loaded songs and rhythms need, then fills the
  // fixed slots, and only then the songs and rhythms: the ones to be
  // replaced are deleted together just before the first of them is sent, so
  // that a restore that stops earlier leaves every song and rhythm as it was.
  Task<void> Restore(QnKbdDrv& keyboard, Link link);

  // What the loaded backup holds: how many items a restore sends, and when
  // the backup was made (its newest file's time of writing).
  size_t Count() const;
  // The slots a restore of it fills.
  std::vector<SlotAddress> Addresses() const;
  std::time_t Made() const;

  // The marker's name in a backup folder.
  static constexpr char kMarker[] = ".ravlin-backup";

  // The file or slot the work was on when it stopped.
  const std::string& Context() const { return context_; }
  // The item it was on, from 0: a backup's item is the slot it received
  // until every item has come, then the file it put in place.
  size_t Current() const { return current_; }

 private:
  struct Item;

  std::string MakeStaging(const std::string& folder);
  void PutInPlace(const std::string& folder, const std::string& staging,
                  const std::vector<SlotAddress>& received);

  JobEvents* events_;
  std::vector<Item> items_;  // what Load read
  JobEvents silent_;
  std::string context_;
  size_t current_ = 0;
};
