#include "jobs/TransferJob.h"

#include <algorithm>

#include "files/LqdFileStream.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "jobs/EntryView.h"
#include "keyboard/QnKbdDrv.h"

namespace {

constexpr char kSongRhythm[] = "Song Rhythm:";

bool IsSongOrRhythm(const QnData& slot) {
  return slot.Type() == QnData::kTypeSong || slot.Type() == QnData::kTypeRhythm;
}

JobEvents::Item ItemOf(const QnData* slot, size_t index, size_t count, std::string name,
                       uint32_t size, bool sending) {
  return {index, count, std::move(name), SlotAddress::FromEntry(*slot), slot, size, sending};
}

}  // namespace

TransferJob::TransferJob(QnKbdDrv& keyboard, Link link, JobEvents* events)
    : keyboard_(keyboard), link_(link), events_(events != nullptr ? events : &silent_) {}

Task<void> TransferJob::Import(std::vector<QnData*> entries, std::string folder) {
  TransferBatch::ImportNames names(folder);
  for (size_t i = 0; i < entries.size(); ++i) {
    current_ = i;
    keyboard_.Kbd().CheckCancel();
    LqdMidiStream job(entries[i], link_.inDevice, link_.outDevice);
    if (link_.progress != nullptr) job.Attach(link_.progress);
    QnDataFile file(QnData::kTypeUnknown);
    file.SetSize(job.TargetSize());
    const JobEvents::Item item = ItemOf(entries[i], i, entries.size(),
                                        EntryView::Caption(entries[i]->Name()), file.Size(), false);
    {
      const JobEvents::Transfer transfer(*events_, item);
      Task<void> received = job.Receive(file);
      co_await received;
    }
    // Stopped after the last exchange: still nothing is written.
    keyboard_.Kbd().CheckCancel();
    writing_ = folder + names.Next(LqdFileStream::ImportFileName(file));
    LqdFileStream stream(writing_, LqdFileStream::Create);
    stream.Write(file);
    stream.Commit();
    events_->Done(item, JobEvents::Kind::Imported, writing_);
    writing_.clear();
  }
}

Task<void> TransferJob::Check(std::vector<TransferBatch::Send> sends, bool freshFreeSpace) {
  if (sends.size() <= 1) co_return;
  const bool songs = std::any_of(sends.begin(), sends.end(), [](const TransferBatch::Send& send) {
    return send.slot != nullptr && IsSongOrRhythm(*send.slot);
  });
  if (songs && freshFreeSpace) {
    Task<void> free = keyboard_.UpdateFreeSpace(kSongRhythm);
    co_await free;
  }
  TransferBatch::CheckSends(sends, *keyboard_.GetDrive(kSongRhythm));
}

Task<void> TransferJob::Send(std::vector<TransferBatch::Send> sends, bool freshFreeSpace) {
  Task<void> check = Check(sends, freshFreeSpace);
  co_await check;
  for (size_t i = 0; i < sends.size(); ++i) {
    current_ = i;
    keyboard_.Kbd().CheckCancel();
    LqdMidiStream job(sends[i].slot, link_.inDevice, link_.outDevice);
    if (link_.progress != nullptr) job.Attach(link_.progress);
    const JobEvents::Item item =
        ItemOf(sends[i].slot, i, sends.size(), sends[i].path, sends[i].file->Size(), true);
    {
      const JobEvents::Transfer transfer(*events_, item);
      Task<void> sent = job.Send(*sends[i].file);
      co_await sent;
    }
    events_->Done(item, JobEvents::Kind::Sent, sends[i].path);
  }
}

Task<void> TransferJob::Delete(std::vector<QnData*> entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    current_ = i;
    keyboard_.Kbd().CheckCancel();
    const JobEvents::Item item =
        ItemOf(entries[i], i, entries.size(), EntryView::Caption(entries[i]->Name()), 0, false);
    {
      const JobEvents::Transfer transfer(*events_, item);
      Task<void> deleted = keyboard_.DeleteData(entries[i]);
      co_await deleted;
    }
    events_->Done(item, JobEvents::Kind::Deleted, {});
  }
}
