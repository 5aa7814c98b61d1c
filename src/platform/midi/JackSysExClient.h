#pragma once

#include <jack/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/SysExRing.h"

// One JACK client of the program holding all of its MIDI ports, SysEx only.
// The client runs (and its thread wakes at every period) only while a port
// is open. The process callback moves messages through one SysExRing per
// port; a thread of the client's own hands what came in to the receivers.
class JackSysExClient {
 public:
  // Called on the client's own thread with each whole message and the
  // moment its last event came in (steady clock).
  using Receiver = std::function<void(const uint8_t* message, size_t size,
                                      std::chrono::steady_clock::time_point arrived)>;
  // Ports of each direction that may be open at once (detection opens all).
  static constexpr size_t kPorts = 16;

  // The client called `name` (the server makes it unique), or nullptr when
  // no JACK server answers.
  static std::unique_ptr<JackSysExClient> Open(const std::string& name);
  ~JackSysExClient();
  JackSysExClient(const JackSysExClient&) = delete;
  JackSysExClient& operator=(const JackSysExClient&) = delete;

  std::string Name() const;
  // Other clients' MIDI ports that send (sources) or take (sinks) messages,
  // full names in the server's order. Read afresh once ports have come or
  // gone, which the server tells a running client.
  std::vector<std::string> Sources();
  std::vector<std::string> Sinks();

  // Open a port of this client ("in", "in-2", ...; "out", ...), connected
  // from `source` or to `sink` unless that is empty. -1 when the port cannot
  // be had or the connection cannot be made.
  int OpenInput(const std::string& source, Receiver receiver);
  int OpenOutput(const std::string& sink);
  void CloseInput(int port);
  void CloseOutput(int port);
  // Queues one whole message for the port; false when it does not fit.
  bool Send(int port, const uint8_t* message, size_t size);
  std::string InputName(int port) const;
  std::string OutputName(int port) const;

 private:
  struct Slot {
    std::atomic<jack_port_t*> port{nullptr};
    std::atomic<bool> open{false};
    SysExRing ring;
    Receiver receiver;  // input only, under receiversMutex_
    // Output only, the process callback's: the message being written out,
    // in pieces when a period's buffer has not room for all of it.
    std::array<uint8_t, SysExRing::kMaxMessage> pending{};
    size_t pendingSize = 0;
    size_t pendingSent = 0;
  };

  explicit JackSysExClient(jack_client_t* client);
  static int OnProcess(jack_nframes_t frames, void* self);
  static void OnRegistration(jack_port_id_t, int, void* self);
  static void OnClientRegistration(const char*, int, void* self);
  static void OnShutdown(void* self);
  void Process(jack_nframes_t frames);
  void ReadInputs();
  int OpenSlot(std::array<Slot, kPorts>& slots, bool input, const std::string& peer);
  void CloseSlot(Slot& slot);
  bool AnyOpen() const;
  bool StartLocked();
  void StopLocked();
  std::vector<std::string> Listed(std::vector<std::string>& cache, unsigned long flags);
  bool ListsFresh() const;

  jack_client_t* client_;
  std::string name_;
  std::mutex mutex_;  // everything below but the callback's own
  bool running_ = false;
  std::array<Slot, kPorts> inputs_;
  std::array<Slot, kPorts> outputs_;
  std::mutex receiversMutex_;
  std::counting_semaphore<> wake_{0};
  std::atomic<bool> stopping_{false};
  std::thread reader_;
  // The server tells of a port that comes or goes before its graph shows
  // it, which it does from its next period on: the lists are read afresh
  // until they have been read in a period after `changedBy_`.
  std::atomic<uint64_t> periods_{0};
  std::atomic<uint64_t> changedBy_{0};
  uint64_t listedIn_ = 0;
  std::atomic<bool> gone_{false};  // the server shut the client down
  std::vector<std::string> sources_;
  std::vector<std::string> sinks_;
};
