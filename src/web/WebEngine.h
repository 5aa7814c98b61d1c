#pragma once

#include <emscripten/val.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "WebDriver.h"
#include "WebMonitor.h"
#include "WebProbePorts.h"
#include "jobs/JobEvents.h"
#include "jobs/KeyboardJobs.h"
#include "midi/Task.h"
#include "protocol/MsgStr.h"

class QnData;
class QnKbdDrv;

// The keyboard work the page starts, one job at a time: Detect, Get/Update
// List, import, send, delete, backup, restore and cancel, as the job layer
// runs them. The page shows what it is told through `host`:
//   host.send(Uint8Array), host.wake(delayMs)   the driver's MIDI out and timer
//   host.probe...                               the ports of a detection (WebProbePorts)
//   host.event(kind, json)                       "status", "progress", "imported" (a
//                                                file or .zip to hand out),
//                                                "detected", "failed", "cancelled",
//                                                "listChanged", "ended"
// Slots are named by their address ("song/0"); files pass through the
// in-memory file system under /import, /offer and /send.
class WebEngine : private JobEvents {
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
  void Status(const std::string& text) override;
  void Progressed(const Progress& progress) override;
  void Done(const Item& item, Kind kind, const std::string& path) override;
  void ListChanged() override { Event("listChanged", "{}"); }

  void Run(Task<void> job);
  void JobEnded();
  void Event(const char* kind, const std::string& json) const;
  void Offer(const std::string& name, const std::string& path) const;
  void OfferArchive(const std::string& folder, const std::string& name) const;
  QnData* Slot(const std::string& address) const;

  Task<void> DetectJob();
  Task<void> ImportJob(KeyboardJobs::ImportRequest request);
  Task<void> BackupJob(KeyboardJobs::Ports ports);
  Task<void> RestoreJob(std::vector<uint8_t> archive, KeyboardJobs::Ports ports);

  emscripten::val host_;
  MsgStr msg_;
  WebDriver driver_;
  QnKbdDrv& keyboard_;
  KeyboardJobs jobs_;
  WebProbePorts probePorts_;
  KeyboardProbe probe_;
  WebMonitor monitor_;
  bool busy_ = false;
  size_t batchWritten_ = 0;  // files of a batch of imports, handed out as one .zip
  Task<void> job_;
};
