#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

class QnData;
class QnDataDrive;
class QnKbdDrv;

// Round trips through a real MIDI service in one long-running process: each
// round sends an item of random content (songs and rhythms of random sizes,
// tones, DSP settings, registrations) into a slot of trv408-sim and imports
// it back, and the two must be byte for byte the same. The process's
// resident memory is taken after a warm-up and at the end.
class SoakRun {
 public:
  struct Options {
    int rounds = 50;
    uint32_t seed = 1;
    long maxGrowthKiB = -1;  // the most the resident memory may grow; -1: any
  };

  struct Outcome {
    int rounds = 0;
    int failures = 0;
    uint64_t bytes = 0;  // data moved each way
    long rssStartKiB = 0;
    long rssEndKiB = 0;
    long rssPeakKiB = 0;
    double seconds = 0;
  };

  SoakRun(Options options, int32_t inDevice, int32_t outDevice);
  Outcome Run();

  static long ResidentKiB();
  static long PeakResidentKiB();

 private:
  // Throws what the program throws; false when the import differs.
  bool Round(int round);
  QnData* PickSlot();
  uint32_t PickSize(QnData& slot);
  std::string PathOf(const QnData& slot) const;

  Options options_;
  int32_t in_;
  int32_t out_;
  QnKbdDrv* keyboard_;
  std::mt19937 random_;
  std::vector<QnData*> slots_;
  QnDataDrive* songRhythm_ = nullptr;
  uint64_t bytes_ = 0;
};
