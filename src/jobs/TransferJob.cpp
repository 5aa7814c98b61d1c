#include "jobs/TransferJob.h"

#include <algorithm>

#include "files/LqdFileStream.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"

namespace {

constexpr char kSongRhythm[] = "Song Rhythm:";

// Tells the listener that a transfer ended, however it ended.
class EndGuard {
 public:
  explicit EndGuard(TransferJob::Listener& listener) : listener_(listener) {}
  ~EndGuard() { listener_.Ended(); }
  EndGuard(const EndGuard&) = delete;
  EndGuard& operator=(const EndGuard&) = delete;

 private:
  TransferJob::Listener& listener_;
};

bool IsSongOrRhythm(const QnData& slot) {
  return slot.Type() == QnData::kTypeSong || slot.Type() == QnData::kTypeRhythm;
}

}  // namespace

TransferJob::TransferJob(QnKbdDrv& keyboard, Link link, Listener* listener)
    : keyboard_(keyboard), link_(link), listener_(listener != nullptr ? listener : &silent_) {}

Task<void> TransferJob::Import(std::vector<QnData*> entries, std::string folder) {
  TransferBatch::ImportNames names(folder);
  for (size_t i = 0; i < entries.size(); ++i) {
    current_ = i;
    keyboard_.Kbd().CheckCancel();
    LqdMidiStream job(entries[i], link_.inDevice, link_.outDevice);
    if (link_.progress != nullptr) job.Attach(link_.progress);
    QnDataFile file(QnData::kTypeUnknown);
    file.SetSize(job.TargetSize());
    {
      listener_->Starting({i, entries.size(), entries[i], file.Size(), false});
      EndGuard ended(*listener_);
      Task<void> received = job.Receive(file);
      co_await received;
    }
    // Stopped after the last exchange: still nothing is written.
    keyboard_.Kbd().CheckCancel();
    writing_ = folder + names.Next(LqdFileStream::ImportFileName(file));
    LqdFileStream stream(writing_, LqdFileStream::Create);
    stream.Write(file);
    stream.Commit();
    listener_->Imported(i, writing_);
    writing_.clear();
  }
}

Task<void> TransferJob::Send(std::vector<TransferBatch::Send> sends, bool freshFreeSpace) {
  if (sends.size() > 1) {
    const bool songs = std::any_of(sends.begin(), sends.end(), [](const TransferBatch::Send& send) {
      return send.slot != nullptr && IsSongOrRhythm(*send.slot);
    });
    if (songs && freshFreeSpace) {
      Task<void> free = keyboard_.UpdateFreeSpace(kSongRhythm);
      co_await free;
    }
    TransferBatch::CheckSends(sends, *keyboard_.GetDrive(kSongRhythm));
  }
  for (size_t i = 0; i < sends.size(); ++i) {
    current_ = i;
    keyboard_.Kbd().CheckCancel();
    LqdMidiStream job(sends[i].slot, link_.inDevice, link_.outDevice);
    if (link_.progress != nullptr) job.Attach(link_.progress);
    {
      listener_->Starting({i, sends.size(), sends[i].slot, sends[i].file->Size(), true});
      EndGuard ended(*listener_);
      Task<void> sent = job.Send(*sends[i].file);
      co_await sent;
    }
    listener_->Sent(i);
  }
}

Task<void> TransferJob::Delete(std::vector<QnData*> entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    current_ = i;
    {
      listener_->Starting({i, entries.size(), entries[i], 0, false});
      EndGuard ended(*listener_);
      Task<void> deleted = keyboard_.DeleteData(entries[i]);
      co_await deleted;
    }
    listener_->Deleted(i);
  }
}
