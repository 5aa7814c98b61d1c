#pragma once

#include <cstdint>
#include <vector>

#include "midi/MidiDev.h"
#include "midi/Task.h"
#include "protocol/Subject.h"
#include "protocol/SysExAddress.h"
#include "protocol/SysExParam.h"

// The protocol object: keeps the ten-byte request header, performs one
// transaction per Transact() and notifies its observers after each step.
// A transaction is a coroutine that awaits each of its exchanges.
class QnSysEx : public Subject {
 public:
  enum Command : int8_t { kWrite = 0, kRead = 1, kSendBlocks = 4, kReceiveBlocks = 5 };

  static constexpr uint16_t kModelCode = 0x1101;
  static constexpr uint8_t kDeviceNumber = 0x7F;
  static constexpr int kResendAllowance = 10;
  static constexpr uint32_t kWordsPerBlock = 64;
  // A receive that sees this many unsound answers in a row gives up with
  // code 1 instead of asking again for ever.
  static constexpr int kUnsoundLimit = 100;

  // Error codes carried by QnSysExException.
  // kSizeBeyondMemory: a size the keyboard reported is larger than the memory
  // that holds the item; nothing is transferred or allocated for it.
  enum : int32_t {
    kRejected = 0,
    kCommunication = 1,
    kUnknownAnswer = 2,
    kShortAnswer = 3,
    kSizeBeyondMemory = 4,
    kCancelled = 5,  // the user stopped the work between two exchanges
  };

  static QnSysEx* Instance();
  QnSysEx();
  ~QnSysEx();  // deletes the MidiDev; the next Instance() makes a new object
  QnSysEx(const QnSysEx&) = delete;
  QnSysEx& operator=(const QnSysEx&) = delete;

  void OpenIn(int device);
  void OpenOut(int device);
  void CloseDevices();
  void SetModel(uint16_t model);
  void SetDevice(uint8_t device);
  void SetCommand(uint8_t command);
  void SetAddress(SysExAddress* address);
  void SetParameter(SysExParam* parameter);
  Task<void> Transact();
  // After a read of the keyboard's type: whether its answer repeated bytes
  // 5-9 of the request. From then on, until the ports change, an answer to a
  // read that does not repeat its own request is no answer.
  void LearnWhetherAnswersRepeat();
  // Throws kCancelled when the user asked to stop and no item holds it off;
  // every exchange asks first.
  void CheckCancel() const;
  MidiDev& Device() { return *device_; }
  int BytesInBlock() const { return static_cast<int>(wordsInBlock_ * 2); }
  // After a receive: how many words from the start of the item came in sound
  // blocks without a gap. A keyboard that ends early leaves it short of the
  // buffer's word count.
  uint32_t WordsReceived() const { return wordsReceived_; }

  // Message helpers, public so that they can be tested on their own.
  static int ValueGroups(int width);
  bool DecodeParameter();  // on the device's reply; throws code 3
  bool DecodeBlock();      // on the device's reply; true when sound
  MidiDev::Exchanging Handshake(uint8_t code);

 private:
  Task<void> WriteParameter();
  Task<void> ReadParameter();
  Task<void> SendBlocks();
  Task<void> ReceiveBlocks();

  std::vector<uint8_t>& Header();      // the request, at least its ten header bytes
  std::vector<uint8_t>& CutRequest();  // the request cut back to its header
  MidiDev::Exchanging Exchange(bool answerRepeats = false);
  SysExParam& Parameter() const;
  SysExAddress& Address() const;
  static void AppendParameterHeader(std::vector<uint8_t>& request, const SysExParam& p);

  MidiDev* device_;
  int8_t command_ = 0;
  SysExAddress* address_ = nullptr;
  SysExParam* parameter_ = nullptr;
  uint32_t blockNumber_ = 0;
  uint32_t wordsInBlock_ = 0;
  uint32_t wordsReceived_ = 0;
  bool answersRepeat_ = false;
};
