#include "jobs/TransferBatch.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "midi/QnException.h"

namespace {

bool IsSongOrRhythm(uint16_t type) {
  return type == QnData::kTypeSong || type == QnData::kTypeRhythm;
}

std::string Folded(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

}  // namespace

void TransferBatch::CheckSends(const std::vector<Send>& sends, const QnDataDrive& songRhythm) {
  std::set<const QnData*> targets;
  for (const Send& send : sends) {
    if (send.slot == nullptr || send.file == nullptr ||
        (send.slot->Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0 ||
        !targets.insert(send.slot).second) {
      throw OperateException(OperateException::kNotAcceptable);
    }
    if (send.file->Type() != send.slot->Type()) {
      throw LqdStreamException(LqdMidiStream::kTypeDiffers);
    }
  }
  uint64_t free = songRhythm.FreeBytes();
  for (const Send& send : sends) {
    if (!IsSongOrRhythm(send.slot->Type())) continue;
    const uint64_t size = send.file->Size();
    if (free < size) throw LqdStreamException(LqdMidiStream::kNoMemory);
    // A size the keyboard reported past its memory frees no more than all of it.
    const uint64_t old =
        send.slot->IsPresent() ? std::min<uint64_t>(send.slot->Size(), songRhythm.Capacity()) : 0;
    free = free + old - size;
  }
}

TransferBatch::ImportNames::ImportNames(std::string folder) : folder_(std::move(folder)) {}

bool TransferBatch::ImportNames::Exists(const std::string& name) const {
  std::error_code error;
  // A link counts as a file even when it leads nowhere.
  return std::filesystem::exists(
      std::filesystem::symlink_status(std::filesystem::path(folder_) / name, error));
}

std::string TransferBatch::ImportNames::Next(const std::string& natural) {
  if (taken_.insert(Folded(natural)).second) return natural;
  const size_t dot = natural.rfind('.');
  const std::string stem = dot == std::string::npos ? natural : natural.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : natural.substr(dot);
  for (int n = 2;; ++n) {
    std::string candidate = stem + "_" + std::to_string(n) + extension;
    if (!Exists(candidate) && taken_.insert(Folded(candidate)).second) return candidate;
  }
}
