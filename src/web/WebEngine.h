#pragma once

#include <emscripten/val.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "WebDriver.h"
#include "WebMonitor.h"
#include "WebProbePorts.h"
#include "files/PBarObserver.h"
#include "files/ProgressBar.h"
#include "midi/Task.h"
#include "protocol/MsgStr.h"

class JobFailure;
class QnData;
class QnKbdDrv;

// The keyboard work the page starts, one job at a time: Detect, Get/Update
// List, import, send, delete and cancel, with the window's rules and the
// catalog's texts. The page shows what it is told through `host`:
//   host.send(Uint8Array), host.wake(delayMs)   the driver's MIDI out and timer
//   host.probe...                               the ports of a detection (WebProbePorts)
//   host.event(kind, json)                       "status", "progress", "imported" (a
//                                                file or .zip to hand out),
//                                                "detected", "failed", "cancelled",
//                                                "listChanged", "ended"
// Slots are named by their address ("song/0"); files pass through the
// in-memory file system under /import and /send.
class WebEngine : private ProgressBar {
 public:
  WebEngine(const std::string& language, emscripten::val host);
  ~WebEngine() override;
  WebEngine(const WebEngine&) = delete;
  WebEngine& operator=(const WebEngine&) = delete;

  // Every text of the page, as JSON: captions, labels and sentences.
  std::string Texts() const;
  // The keyboard's tree as JSON: drives with capacity, used and free; folders
  // and slots with caption, type, size and address.
  std::string Tree() const;
  bool Busy() const { return busy_; }

  void Arrived(const emscripten::val& bytes, double atMs);
  void ProbeArrived(unsigned input, const emscripten::val& bytes);
  void Tick() { driver_.Tick(); }

  // Asks every Web MIDI port for the keyboard; "detected" names the ports
  // of the first that answered.
  void Detect();
  void GetList(int inDevice, int outDevice);
  // Several items come as one .zip.
  void Import(const emscripten::val& addresses);
  // `paths` name the chosen files, put into the file system by the page;
  // they go into the slot at `address` and the slots after it.
  void Send(const std::string& address, const emscripten::val& paths);
  void Delete(const std::string& address);
  void Cancel();
  // The whole keyboard as one .zip, and such a .zip back onto it.
  void BackUp(int inDevice, int outDevice);
  void Restore(const emscripten::val& archive, int inDevice, int outDevice);
  // What a restore of `archive` asks before it replaces the keyboard's
  // items, dated by the file's time (ms since 1970); "" for an archive that
  // cannot be restored, which the restore then reports.
  std::string RestoreQuestion(const emscripten::val& archive, double madeMs) const;

  // The MIDI monitor, recording while `shown`.
  void Watch(bool shown);
  std::string MonitorTake() { return monitor_.Take(); }
  void MonitorClear() { monitor_.Clear(); }
  std::string MonitorLog() const { return monitor_.Log(); }

 private:
  int Position() const override { return position_; }
  void SetPosition(int position) override;
  void SetRange(int minimum, int maximum) override;
  void Repaint() override {}

  void Run(int statusIndex, Task<void> work);
  void Begin(const std::string& status);
  void Ended();
  void Event(const char* kind, const std::string& json) const;
  void Failed(const JobFailure& failure) const;
  void ShowBatchStatus(int statusIndex, size_t index, size_t count);
  void Offer(const std::string& name, const std::string& path) const;
  void OfferArchive(const std::string& folder, const std::string& name) const;
  QnData* Slot(const std::string& address) const;
  std::string Word(MsgStr::Word word) const { return msg_.WordText(word); }

  Task<void> DetectJob();
  Task<void> ListJob(int inDevice, int outDevice);
  Task<void> ImportJob(std::vector<QnData*> slots);
  Task<void> SendJob(QnData* slot, std::vector<std::string> paths);
  Task<void> BackupJob(int inDevice, int outDevice);
  Task<void> RestoreJob(std::vector<uint8_t> archive, int inDevice, int outDevice);
  Task<void> DeleteJob(QnData* slot);

  emscripten::val host_;
  MsgStr msg_;
  WebDriver driver_;
  QnKbdDrv* keyboard_;
  PBarObserver observer_;
  WebProbePorts probePorts_;
  KeyboardProbe probe_;
  WebMonitor monitor_;
  int inDevice_ = -1;
  int outDevice_ = -1;
  int position_ = 0;
  int maximum_ = 0;
  bool busy_ = false;
  bool listed_ = false;
  std::string closingStatus_;
  std::string note_;            // under a batch's failure
  bool stopAfterItem_ = false;  // a cancel waits for the item under way
  Task<void> job_;
};
