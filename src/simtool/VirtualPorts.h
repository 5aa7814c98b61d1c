#pragma once

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class JackSysExClient;

// The simulator's virtual MIDI input and output port on the system's MIDI
// service. On JACK both are ports of one client called NAME ("NAME:in",
// "NAME:out"); elsewhere, through RtMidi, each is a client of its own ("NAME
// In" with port "in", "NAME Out" with port "out"). SysEx is taken whole.
class VirtualPorts {
 public:
  using Time = std::chrono::steady_clock::time_point;
  // Runs on the MIDI service's thread: keep it short.
  using Receiver = std::function<void(std::vector<uint8_t> message, Time at)>;

  VirtualPorts();
  ~VirtualPorts();
  VirtualPorts(const VirtualPorts&) = delete;
  VirtualPorts& operator=(const VirtualPorts&) = delete;

  // Opens both ports on `api` ("jack", "alsa", ...; empty: the first API
  // whose service answers). Throws std::runtime_error saying why not.
  void Open(const std::string& api, const std::string& name, Receiver receiver);
  void Close();
  bool Send(const std::vector<uint8_t>& message);

  std::string ApiName() const;
  std::string InputName() const { return inClient_ + ":in"; }
  std::string OutputName() const { return outClient_ + ":out"; }

 private:
  static void OnMessage(double delta, std::vector<unsigned char>* message, void* self);
  static void OnError(RtMidiError::Type type, const std::string& text, void* self);
  // Empty when both ports are open, else why not.
  std::string TryOpen(RtMidi::Api api, const std::string& name);
  std::string TryOpenJack(const std::string& name);
  std::string TakeError();

  RtMidi::Api api_ = RtMidi::UNSPECIFIED;
  std::string inClient_;
  std::string outClient_;
  Receiver receiver_;
  std::atomic<bool> failed_{false};
  std::string errorText_;  // written by RtMidi's error callback, read after the call
  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;
  std::unique_ptr<JackSysExClient> jack_;
  int jackIn_ = -1;
  int jackOut_ = -1;
};
