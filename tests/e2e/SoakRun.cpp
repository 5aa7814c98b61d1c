#include "SoakRun.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <typeinfo>

#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"

namespace {

constexpr uint32_t kMemory = 21504;

bool IsFolder(const QnData& entry) {
  return (entry.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0;
}

bool Shared(const QnData& slot) {
  return slot.Type() == QnData::kTypeSong || slot.Type() == QnData::kTypeRhythm;
}

uint32_t FixedSize(uint16_t type) {
  switch (type) {
    case QnData::kTypeTone:
      return 60;
    case QnData::kTypeDsp:
      return 36;
    default:
      return 176;
  }
}

// The chain of entries from a drive down to `target`.
bool Chain(const QnDataDrive& folder, const QnData* target, std::vector<const QnData*>& chain) {
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    const QnData* child = folder.Child(i);
    chain.push_back(child);
    if (child == target ||
        (IsFolder(*child) && Chain(*static_cast<const QnDataDrive*>(child), target, chain))) {
      return true;
    }
    chain.pop_back();
  }
  return false;
}

void Slots(QnDataDrive& folder, std::vector<QnData*>& slots) {
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    QnData* child = folder.Child(i);
    if (IsFolder(*child)) {
      Slots(*static_cast<QnDataDrive*>(child), slots);
    } else {
      slots.push_back(child);
    }
  }
}

std::string Describe(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const MidiDevException& e) {
    return "MidiDevException " + std::to_string(e.Code()) + "/" + std::to_string(e.SubCode());
  } catch (const QnSysExException& e) {
    return "QnSysExException " + std::to_string(e.Code());
  } catch (const QnKbdDrvException& e) {
    return "QnKbdDrvException " + std::to_string(e.Code());
  } catch (const LqdStreamException& e) {
    return "LqdStreamException " + std::to_string(e.Code());
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an unknown exception";
  }
}

}  // namespace

SoakRun::SoakRun(Options options, int32_t inDevice, int32_t outDevice)
    : options_(options),
      in_(inDevice),
      out_(outDevice),
      keyboard_(QnKbdDrv::Instance()),
      random_(options.seed) {}

long SoakRun::ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long SoakRun::PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

std::string SoakRun::PathOf(const QnData& slot) const {
  std::vector<const QnData*> chain;
  Chain(*keyboard_->Root(), &slot, chain);
  std::string path;
  for (const QnData* entry : chain) path += (path.empty() ? "" : "\\") + entry->Name();
  return path;
}

// Half the rounds go to songs and rhythms, whose sizes vary.
QnData* SoakRun::PickSlot() {
  std::vector<QnData*> shared;
  std::vector<QnData*> fixed;
  for (QnData* slot : slots_) (Shared(*slot) ? shared : fixed).push_back(slot);
  std::vector<QnData*>& from = std::bernoulli_distribution(0.5)(random_) ? shared : fixed;
  return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random_)];
}

// Songs and rhythms: the slot is emptied first (the upload checks the free
// memory before it replaces anything), and now and then the others too, so
// that items up to the whole memory come by; then any even size that fits,
// with block boundaries and the whole room more often.
uint32_t SoakRun::PickSize(QnData& slot) {
  if (!Shared(slot)) return FixedSize(slot.Type());
  const bool clearAll = std::bernoulli_distribution(0.2)(random_);
  for (QnData* other : slots_) {
    if (Shared(*other) && other->IsPresent() &&
        (other == &slot || clearAll || songRhythm_->FreeBytes() < 256)) {
      RunToEnd(keyboard_->DeleteData(other));
    }
  }
  const uint32_t room = std::min(songRhythm_->FreeBytes(), kMemory);
  const uint32_t edges[] = {2, 128, 130, 12800, room & ~1u};
  if (std::bernoulli_distribution(0.15)(random_)) {
    const uint32_t edge = edges[std::uniform_int_distribution<int>(0, 4)(random_)];
    if (edge <= room) return edge;
  }
  return 2 * std::uniform_int_distribution<uint32_t>(1, room / 2)(random_);
}

bool SoakRun::Round(int round) {
  QnData& slot = *PickSlot();
  const uint16_t type = slot.Type();
  const uint32_t size = PickSize(slot);

  QnDataFile sent(type);
  sent.SetSize(size);
  uint8_t* data = sent.Data();
  std::uniform_int_distribution<int> byte(0, 255);
  for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(byte(random_));
  char name[16];
  std::snprintf(name, sizeof name, "R%07d", round);
  sent.StoreDataName(name);

  {
    LqdMidiStream job(PathOf(slot), in_, out_);
    if (job.Target() != &slot) throw std::runtime_error("the job found another slot");
    RunToEnd(job.Send(sent));
  }
  QnDataFile received(QnData::kTypeUnknown);
  {
    LqdMidiStream job(PathOf(slot), in_, out_);
    if (job.Target() != &slot) throw std::runtime_error("the job found another slot");
    received.SetSize(job.TargetSize());
    RunToEnd(job.Receive(received));
  }
  bytes_ += size;
  if (received.Type() != type || received.Size() != size ||
      std::memcmp(received.Data(), sent.Data(), size) != 0) {
    std::printf("round %d: %s of %u bytes came back as type %u, %u bytes%s\n", round,
                PathOf(slot).c_str(), size, received.Type(), received.Size(),
                received.Size() == size ? ", other bytes" : "");
    return false;
  }
  return true;
}

SoakRun::Outcome SoakRun::Run() {
  RunToEnd(keyboard_->Connect(in_, out_));
  Slots(*keyboard_->Root(), slots_);
  songRhythm_ = keyboard_->GetDrive(keyboard_->GetDriveName(keyboard_->GetDriveCount() - 1));

  Outcome outcome;
  const int warmUp = std::max(1, std::min(50, options_.rounds / 10));
  const auto start = std::chrono::steady_clock::now();
  for (int round = 1; round <= options_.rounds; ++round) {
    bool same = false;
    try {
      same = Round(round);
    } catch (...) {
      std::printf("round %d failed: %s\n", round, Describe(std::current_exception()).c_str());
    }
    outcome.failures += same ? 0 : 1;
    outcome.rounds = round;
    if (round == warmUp) outcome.rssStartKiB = ResidentKiB();
    if (round % 100 == 0) {
      std::printf("%d rounds, %d failed, resident %ld KiB\n", round, outcome.failures,
                  ResidentKiB());
      std::fflush(stdout);
    }
    // Past this many failures the link is broken, not flaky: stop.
    if (outcome.failures >= 10) break;
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.rssEndKiB = ResidentKiB();
  outcome.rssPeakKiB = PeakResidentKiB();
  outcome.bytes = bytes_;
  return outcome;
}
