#include "KeyboardSession.h"

#include "CliError.h"
#include "StopSignals.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"

namespace {

constexpr int kStatusSend = 1;
constexpr int kStatusReceive = 2;

}  // namespace

KeyboardSession::KeyboardSession(int32_t inDevice, int32_t outDevice, const MsgStr& messages)
    : inDevice_(inDevice),
      outDevice_(outDevice),
      messages_(messages),
      keyboard_(QnKbdDrv::Instance()),
      bar_(stderr),
      observer_(&bar_) {}

KeyboardSession::~KeyboardSession() {
  // The protocol object keeps notifying its observers until it is gone.
  QnKbdDrv::Destroy();
}

// A port that hangs on open is no exchange with the keyboard: a signal then
// ends the tool at once. The devices stay open, so the list opens nothing.
void KeyboardSession::Open() {
  QnSysEx* protocol = QnSysEx::Instance();
  protocol->OpenIn(inDevice_);
  protocol->OpenOut(outDevice_);
}

void KeyboardSession::Connect() {
  StopSignals::Hold hold;
  Drive(keyboard_->Connect(inDevice_, outDevice_));
}

QnData& KeyboardSession::Slot(const SlotAddress& address) const {
  QnData* slot = address.Find(*keyboard_->Root());
  if (slot == nullptr) throw CliError::Failure(MsgStr::kWordCliNoSuchSlot, {address.ToString()});
  return *slot;
}

void KeyboardSession::Delete(const SlotAddress& address) {
  StopSignals::Hold hold;
  Drive(keyboard_->DeleteData(&Slot(address)));
}

void KeyboardSession::BeginTransfer(bool sending, uint32_t size) {
  bar_.Begin(messages_.StatusText(sending ? kStatusSend : kStatusReceive), static_cast<int>(size));
}
