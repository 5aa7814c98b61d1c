#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "TerminalProgressBar.h"
#include "jobs/KeyboardBackup.h"
#include "files/PBarObserver.h"
#include "files/SlotAddress.h"

class LqdMidiStream;
class MsgStr;
class QnData;
class QnDataFile;
class QnKbdDrv;

// One run's conversation with the keyboard on one pair of open devices: gets
// the list, then sends, receives and deletes slots of the filled tree.
// Destroying the session destroys the keyboard object and closes the devices.
class KeyboardSession {
 public:
  KeyboardSession(int32_t inDevice, int32_t outDevice, const MsgStr& messages);
  ~KeyboardSession();
  KeyboardSession(const KeyboardSession&) = delete;
  KeyboardSession& operator=(const KeyboardSession&) = delete;

  // Opens the devices; then Connect gets the list.
  void Open();
  void Connect();
  QnKbdDrv& Keyboard() { return *keyboard_; }

  // The slot's entry in the filled tree.
  QnData& Slot(const SlotAddress& address) const;

  void Delete(const SlotAddress& address);

  // The devices and the bar's observer, for work that runs its own jobs.
  KeyboardBackup::Link Link() { return {inDevice_, outDevice_, &observer_}; }
  // The bar of one such job, from its first exchange to its end.
  void BeginTransfer(bool sending, uint32_t size);
  void EndTransfer() { bar_.End(); }

 private:
  int32_t inDevice_;
  int32_t outDevice_;
  const MsgStr& messages_;
  QnKbdDrv* keyboard_;
  TerminalProgressBar bar_;
  PBarObserver observer_;
};
