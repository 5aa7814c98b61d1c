#include "files/TransferBatch.h"

#include <set>

#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "midi/QnException.h"

namespace {

constexpr int32_t kNotAcceptable = 5;

bool IsSongOrRhythm(uint16_t type) {
  return type == QnData::kTypeSong || type == QnData::kTypeRhythm;
}

}  // namespace

void TransferBatch::CheckSends(const std::vector<Send>& sends, const QnDataDrive& songRhythm) {
  uint64_t needed = 0;
  uint64_t available = songRhythm.FreeBytes();
  std::set<const QnData*> targets;
  for (const Send& send : sends) {
    if (send.slot == nullptr || send.file == nullptr ||
        (send.slot->Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0 ||
        !targets.insert(send.slot).second) {
      throw OperateException(kNotAcceptable);
    }
    if (send.file->Type() != send.slot->Type()) {
      throw LqdStreamException(LqdMidiStream::kTypeDiffers);
    }
    if (IsSongOrRhythm(send.slot->Type())) {
      needed += send.file->Size();
      if (send.slot->IsPresent()) available += send.slot->Size();
    }
  }
  if (needed > available) throw LqdStreamException(LqdMidiStream::kNoMemory);
}

std::vector<std::string> TransferBatch::ImportNames(const std::vector<std::string>& names) {
  std::vector<std::string> unique;
  std::set<std::string> taken;
  for (const std::string& name : names) {
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::string candidate = name;
    for (int n = 2; !taken.insert(candidate).second; ++n) {
      candidate = stem + "_" + std::to_string(n) + extension;
    }
    unique.push_back(candidate);
  }
  return unique;
}
