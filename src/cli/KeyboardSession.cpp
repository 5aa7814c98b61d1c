#include "KeyboardSession.h"

#include "CliError.h"
#include "StopSignals.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"

namespace {

constexpr int kStatusSend = 1;
constexpr int kStatusReceive = 2;

// Ends the progress display however the transfer ends.
class BarGuard {
 public:
  BarGuard(TerminalProgressBar& bar, const std::string& label, uint32_t size) : bar_(bar) {
    bar_.Begin(label, static_cast<int>(size));
  }
  ~BarGuard() { bar_.End(); }
  BarGuard(const BarGuard&) = delete;
  BarGuard& operator=(const BarGuard&) = delete;

 private:
  TerminalProgressBar& bar_;
};

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
void KeyboardSession::Connect() {
  QnSysEx* protocol = QnSysEx::Instance();
  protocol->OpenIn(inDevice_);
  protocol->OpenOut(outDevice_);
  StopSignals::Hold hold;
  Drive(keyboard_->Connect(inDevice_, outDevice_));
}

QnData& KeyboardSession::Slot(const SlotAddress& address) const {
  QnData* slot = address.Find(*keyboard_->Root());
  if (slot == nullptr) throw CliError::Failure("the keyboard has no slot " + address.ToString());
  return *slot;
}

// The job is given the slot entry itself rather than a path: display names
// repeat (a tone sent into two slots, every received registration), and a
// path would then name several slots.
std::unique_ptr<LqdMidiStream> KeyboardSession::Job(const SlotAddress& address) {
  auto job = std::make_unique<LqdMidiStream>(&Slot(address), inDevice_, outDevice_);
  job->Attach(&observer_);
  return job;
}

std::unique_ptr<QnDataFile> KeyboardSession::Receive(const SlotAddress& address) {
  std::unique_ptr<LqdMidiStream> job = Job(address);
  auto file = std::make_unique<QnDataFile>(QnData::kTypeUnknown);
  file->SetSize(job->TargetSize());
  BarGuard progress(bar_, messages_.StatusText(kStatusReceive), file->Size());
  StopSignals::Hold hold;
  Drive(job->Receive(*file));
  return file;
}

void KeyboardSession::Send(const SlotAddress& address, QnDataFile& file) {
  std::unique_ptr<LqdMidiStream> job = Job(address);
  BarGuard progress(bar_, messages_.StatusText(kStatusSend), file.Size());
  StopSignals::Hold hold;
  Drive(job->Send(file));
}

void KeyboardSession::Delete(const SlotAddress& address) {
  StopSignals::Hold hold;
  Drive(keyboard_->DeleteData(&Slot(address)));
}

void KeyboardSession::BeginTransfer(bool sending, uint32_t size) {
  bar_.Begin(messages_.StatusText(sending ? kStatusSend : kStatusReceive), static_cast<int>(size));
}
