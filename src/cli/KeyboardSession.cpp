#include "KeyboardSession.h"

#include <vector>

#include "CliError.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "protocol/MsgStr.h"

namespace {

constexpr int kStatusSend = 1;
constexpr int kStatusReceive = 2;

bool IsFolder(const QnData& entry) {
  return (entry.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0;
}

// The chain of entries from a drive down to the slot, or empty.
bool FindChain(QnDataDrive& folder, const SlotAddress& address, std::vector<QnData*>& chain) {
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    QnData* child = folder.Child(i);
    chain.push_back(child);
    if (IsFolder(*child) ? FindChain(*static_cast<QnDataDrive*>(child), address, chain)
                         : address.Names(*child)) {
      return true;
    }
    chain.pop_back();
  }
  return false;
}

std::vector<QnData*> Chain(QnKbdDrv& keyboard, const SlotAddress& address) {
  std::vector<QnData*> chain;
  if (!FindChain(*keyboard.Root(), address, chain)) {
    throw CliError::Failure("the keyboard has no slot " + address.ToString());
  }
  return chain;
}

std::string FolderPath(const std::vector<QnData*>& chain) {
  std::string path;
  for (size_t i = 0; i + 1 < chain.size(); ++i) path += chain[i]->Name() + "\\";
  return path;
}

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

void KeyboardSession::Connect() { keyboard_->Connect(inDevice_, outDevice_); }

QnData& KeyboardSession::Slot(const SlotAddress& address) const {
  return *Chain(*keyboard_, address).back();
}

std::string KeyboardSession::KeyboardPath(const SlotAddress& address) const {
  std::vector<QnData*> chain = Chain(*keyboard_, address);
  return FolderPath(chain) + chain.back()->Name();
}

std::unique_ptr<LqdMidiStream> KeyboardSession::Job(const SlotAddress& address) {
  std::vector<QnData*> chain = Chain(*keyboard_, address);
  QnData* slot = chain.back();
  const QnDataDrive* folder = static_cast<const QnDataDrive*>(chain[chain.size() - 2]);

  // The job finds its slot by display name, and the first of equal names
  // wins; a slot whose name an earlier slot of its folder also has is looked
  // up under a unique name for that moment.
  const std::string name = slot->Name();
  std::string lookup = name;
  bool shadowed = false;
  for (size_t i = 0; i < folder->ChildCount() && folder->Child(i) != slot; ++i) {
    shadowed = shadowed || folder->Child(i)->Name() == name;
  }
  if (shadowed) {
    lookup = "\x01" + address.ToString();
    for (size_t i = 0; i < folder->ChildCount(); ++i) {
      if (folder->Child(i)->Name() == lookup) lookup += "\x01";
    }
  }
  slot->SetName(lookup);
  std::unique_ptr<LqdMidiStream> job;
  try {
    job = std::make_unique<LqdMidiStream>(FolderPath(chain) + lookup, inDevice_, outDevice_);
  } catch (...) {
    slot->SetName(name);
    throw;
  }
  slot->SetName(name);
  if (job->Target() != slot) {
    throw CliError::Failure("cannot address the slot " + address.ToString());
  }
  job->Attach(&observer_);
  return job;
}

std::unique_ptr<QnDataFile> KeyboardSession::Receive(const SlotAddress& address) {
  std::unique_ptr<LqdMidiStream> job = Job(address);
  auto file = std::make_unique<QnDataFile>(QnData::kTypeUnknown);
  file->SetSize(job->TargetSize());
  BarGuard progress(bar_, messages_.StatusText(kStatusReceive), file->Size());
  job->Receive(*file);
  return file;
}

void KeyboardSession::Send(const SlotAddress& address, QnDataFile& file) {
  std::unique_ptr<LqdMidiStream> job = Job(address);
  BarGuard progress(bar_, messages_.StatusText(kStatusSend), file.Size());
  job->Send(file);
}

void KeyboardSession::Delete(const SlotAddress& address) { keyboard_->DeleteData(&Slot(address)); }
