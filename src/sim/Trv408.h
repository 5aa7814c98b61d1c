#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/Fault.h"
#include "sim/Memory.h"
#include "sim/SlotId.h"
#include "sim/SysExCodec.h"

namespace sim {

using Message = std::vector<uint8_t>;

// The keyboard's side of the SysEx protocol: its user memory (10 tones, 10
// DSP settings, 16 registrations, 2 songs and 4 rhythms sharing 21504 bytes),
// parameter reads and writes, and block transfers in both directions.
// Thread-safe: every public operation takes the object's lock.
class Trv408 {
 public:
  static constexpr uint32_t kSongRhythmMemory = 21504;
  // The name of its port wherever a program offers it beside real ones.
  static constexpr const char* kPortName = "TRV-408 Simulator (built-in)";

  using Kind = SlotKind;
  using SlotId = sim::SlotId;

  Trv408();  // plausible demo contents

  // Takes one message from the program; returns what the keyboard sends back,
  // in order (usually one message or none).
  std::vector<Message> Receive(const Message& message);

  void SetKeyboardType(int type);
  // A fault acts on the next `count` occasions (answers, blocks, messages, as
  // the fault says), then the keyboard behaves again; a count of 0 or less
  // keeps it for good.
  void SetFault(Fault fault, int count = 1);
  Fault CurrentFault() const;

  // Item data in file order (16-bit words high byte first); empty when the
  // slot holds nothing.
  std::vector<uint8_t> Item(SlotId id) const;
  void SetItem(SlotId id, const std::vector<uint8_t>& data);
  void Clear(SlotId id);
  uint32_t FreeBytes() const;

  // The whole memory as a file; Load returns false for a file it cannot read.
  bool Load(const std::string& path);
  bool Save(const std::string& path) const;
  // Saves to this file after every change of the memory (empty: never).
  void SetAutoSave(const std::string& path);

  // Sees every message the keyboard receives, in order, before it is
  // handled; it runs under the keyboard's lock and must not call back.
  void SetMonitor(std::function<void(const Message&)> monitor);

 private:
  friend class SimLink;

  struct Address {
    int category;
    int item;
    SlotId slot;
  };
  // An item going to the program: the block last sent waits for a handshake.
  struct Outgoing {
    Address address;
    std::vector<uint16_t> words;
    int block;
  };
  // An item coming from the program, committed by its end-of-data handshake.
  struct Incoming {
    Address address;
    std::vector<uint16_t> words;
    int nextBlock;
    bool complete;  // a short block has come: nothing may follow
  };

  static std::optional<Address> AddressOf(int category, int item);
  bool ExpectsAnswer(const SysExCodec::Header& header, const Message& message) const;
  static bool Matches(const Address& address, const SysExCodec::Header& header);

  // True when `fault` is in force; uses up one of its occasions.
  bool TakeFault(Fault fault);
  bool TakeFaultLocked(Fault fault);

  std::vector<Message> Handle(const SysExCodec::Header& header, const Message& message);
  std::vector<Message> ReadParameter(const SysExCodec::Header& header, const Message& message);
  std::optional<uint32_t> ParameterValue(const SysExCodec::Header& header, int index) const;
  uint32_t NameValue(SlotId slot, bool secondHalf) const;
  void WriteParameter(const SysExCodec::Header& header, const Message& message);
  std::vector<Message> RequestData(const SysExCodec::Header& header, const Message& message);
  std::vector<Message> TakeBlock(const SysExCodec::Header& header, const Message& message);
  std::vector<Message> TakeHandshake(const SysExCodec::Header& header, const Message& message);
  Message CurrentBlock();
  void Commit(const Incoming& incoming);
  void Changed();

  mutable std::mutex mutex_;
  Memory memory_;
  int keyboardType_ = 0;
  Fault fault_ = Fault::None;
  int faultCount_ = 0;
  std::string autoSavePath_;
  std::function<void(const Message&)> monitor_;
  std::optional<Outgoing> outgoing_;
  std::optional<Incoming> incoming_;
  bool resendNext_ = false;  // Fault::DuplicateAnswer: the next block is asked for again
};

}  // namespace sim
