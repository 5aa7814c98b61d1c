#include "platform/midi/JackSysExClient.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/midi/ShortSlice.h"

namespace {

void Quiet(const char*) {}

std::string SlotName(bool input, size_t index) {
  std::string name = input ? "in" : "out";
  if (index > 0) {
    name += '-';
    name += std::to_string(index + 1);
  }
  return name;
}

}  // namespace

std::unique_ptr<JackSysExClient> JackSysExClient::Open(const std::string& name) {
  // libjack prints its complaints (no server) on standard error unless given
  // a handler of its own.
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&Quiet);
    jack_set_info_function(&Quiet);
  });
  jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
  if (client == nullptr) return nullptr;
  return std::unique_ptr<JackSysExClient>(new JackSysExClient(client));
}

JackSysExClient::JackSysExClient(jack_client_t* client)
    : client_(client), name_(jack_get_client_name(client)) {
  jack_set_process_callback(client_, &JackSysExClient::OnProcess, this);
  jack_set_port_registration_callback(client_, &JackSysExClient::OnRegistration, this);
  // The ports of a client that closes can go without a word of their own
  // (the server spoke of them when the client was deactivated, while they
  // were still there): its leaving says that they went.
  jack_set_client_registration_callback(client_, &JackSysExClient::OnClientRegistration, this);
  jack_on_shutdown(client_, &JackSysExClient::OnShutdown, this);
}

JackSysExClient::~JackSysExClient() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    StopLocked();
  }
  jack_client_close(client_);
}

std::string JackSysExClient::Name() const { return name_; }

std::vector<std::string> JackSysExClient::Listed(std::vector<std::string>& cache,
                                                 unsigned long flags) {
  std::vector<std::string> names;
  if (gone_) return names;
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  const std::string own = name_ + ":";
  for (size_t i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
    if (!std::string_view(ports[i]).starts_with(own)) names.emplace_back(ports[i]);
  }
  jack_free(ports);
  cache = names;
  return names;
}

// A client that is not running hears nothing of ports coming and going, so
// it asks the server each time.
bool JackSysExClient::ListsFresh() const { return running_ && listedIn_ > changedBy_; }

std::vector<std::string> JackSysExClient::Sources() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ListsFresh()) return sources_;
  listedIn_ = periods_;
  Listed(sinks_, JackPortIsInput);
  return Listed(sources_, JackPortIsOutput);
}

std::vector<std::string> JackSysExClient::Sinks() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ListsFresh()) return sinks_;
  listedIn_ = periods_;
  Listed(sources_, JackPortIsOutput);
  return Listed(sinks_, JackPortIsInput);
}

int JackSysExClient::OpenInput(const std::string& source, Receiver receiver) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = OpenSlot(inputs_, true, source);
  if (index >= 0) {
    std::lock_guard<std::mutex> receivers(receiversMutex_);
    inputs_[index].receiver = std::move(receiver);
  }
  return index;
}

int JackSysExClient::OpenOutput(const std::string& sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  return OpenSlot(outputs_, false, sink);
}

int JackSysExClient::OpenSlot(std::array<Slot, kPorts>& slots, bool input,
                              const std::string& peer) {
  if (gone_) return -1;
  const auto free = std::find_if(slots.begin(), slots.end(), [](const Slot& s) { return !s.open; });
  if (free == slots.end()) return -1;
  Slot& slot = *free;
  const size_t index = static_cast<size_t>(free - slots.begin());
  if (slot.port == nullptr) {
    jack_port_t* port =
        jack_port_register(client_, SlotName(input, index).c_str(), JACK_DEFAULT_MIDI_TYPE,
                           input ? JackPortIsInput : JackPortIsOutput, 0);
    if (port == nullptr) return -1;
    slot.port.store(port, std::memory_order_release);
  }
  if (!StartLocked()) return -1;
  if (!peer.empty()) {
    const char* own = jack_port_name(slot.port);
    const int failed =
        input ? jack_connect(client_, peer.c_str(), own) : jack_connect(client_, own, peer.c_str());
    if (failed != 0 && failed != EEXIST) {
      if (!AnyOpen()) StopLocked();
      return -1;
    }
  }
  slot.open.store(true, std::memory_order_release);
  return static_cast<int>(index);
}

void JackSysExClient::CloseInput(int port) {
  std::lock_guard<std::mutex> lock(mutex_);
  {
    std::lock_guard<std::mutex> receivers(receiversMutex_);
    inputs_[port].receiver = nullptr;
  }
  CloseSlot(inputs_[port]);
}

void JackSysExClient::CloseOutput(int port) {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseSlot(outputs_[port]);
}

void JackSysExClient::CloseSlot(Slot& slot) {
  slot.open.store(false, std::memory_order_release);
  if (!gone_) jack_port_disconnect(client_, slot.port);
  if (!AnyOpen()) StopLocked();
}

bool JackSysExClient::AnyOpen() const {
  const auto open = [](const Slot& s) { return s.open.load(); };
  return std::any_of(inputs_.begin(), inputs_.end(), open) ||
         std::any_of(outputs_.begin(), outputs_.end(), open);
}

bool JackSysExClient::Send(int port, const uint8_t* message, size_t size) {
  if (gone_ || port < 0 || static_cast<size_t>(port) >= kPorts) return false;
  return outputs_[port].ring.Push(message, size);
}

std::string JackSysExClient::InputName(int port) const {
  return name_ + ":" + SlotName(true, static_cast<size_t>(port));
}

std::string JackSysExClient::OutputName(int port) const {
  return name_ + ":" + SlotName(false, static_cast<size_t>(port));
}

bool JackSysExClient::StartLocked() {
  if (running_) return true;
  stopping_ = false;
  if (jack_activate(client_) != 0) return false;
  running_ = true;
  changedBy_ = periods_ + 1;
  reader_ = std::thread([this] { ReadInputs(); });
  return true;
}

// Once the client no longer runs, nothing else touches the rings or the
// ports: what is left in them is dropped with the ports.
void JackSysExClient::StopLocked() {
  if (!running_) return;
  if (!gone_) jack_deactivate(client_);
  stopping_ = true;
  wake_.release();
  reader_.join();
  running_ = false;
  uint8_t scrap[SysExRing::kMaxMessage];
  for (auto* slots : {&inputs_, &outputs_}) {
    for (Slot& slot : *slots) {
      while (slot.ring.Pop(scrap) != 0) {
      }
      slot.pendingSize = slot.pendingSent = 0;
      jack_port_t* port = slot.port.exchange(nullptr);
      if (port != nullptr && !gone_) jack_port_unregister(client_, port);
    }
  }
}

void JackSysExClient::ReadInputs() {
  const ShortSlice slice;
  uint8_t message[SysExRing::kMaxMessage];
  SysExRing::Time arrived;
  while (true) {
    wake_.acquire();
    if (stopping_) return;
    for (Slot& slot : inputs_) {
      for (size_t size; (size = slot.ring.Pop(message, &arrived)) != 0;) {
        std::lock_guard<std::mutex> lock(receiversMutex_);
        if (slot.receiver) slot.receiver(message, size, arrived);
      }
    }
  }
}

int JackSysExClient::OnProcess(jack_nframes_t frames, void* self) {
  static_cast<JackSysExClient*>(self)->Process(frames);
  return 0;
}

// The server's real-time thread: no locks, no allocation.
void JackSysExClient::Process(jack_nframes_t frames) {
  periods_.fetch_add(1, std::memory_order_relaxed);
  bool received = false;
  // Each event is stamped with its frame time as far as that has passed,
  // told in the steady clock by its distance from now on the server's clock.
  const auto now = std::chrono::steady_clock::now();
  const jack_time_t serverNow = jack_get_time();
  const jack_nframes_t cycleStart = jack_last_frame_time(client_);
  for (Slot& slot : inputs_) {
    jack_port_t* port = slot.port.load(std::memory_order_acquire);
    if (port == nullptr || !slot.open.load(std::memory_order_acquire)) continue;
    void* buffer = jack_port_get_buffer(port, frames);
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0) continue;
      const jack_time_t at = jack_frames_to_time(client_, cycleStart + event.time);
      const auto age = std::chrono::microseconds(at < serverNow ? serverNow - at : 0);
      slot.ring.Feed(event.buffer, event.size, now - age);
      received = true;
    }
  }
  if (received) wake_.release();
  for (Slot& slot : outputs_) {
    jack_port_t* port = slot.port.load(std::memory_order_acquire);
    if (port == nullptr) continue;
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    while (true) {
      if (slot.pendingSent == slot.pendingSize) {
        slot.pendingSize = slot.ring.Pop(slot.pending.data());
        slot.pendingSent = 0;
        if (slot.pendingSize == 0) break;
      }
      const size_t room = jack_midi_max_event_size(buffer);
      const size_t piece = std::min(room, slot.pendingSize - slot.pendingSent);
      if (piece == 0 ||
          jack_midi_event_write(buffer, 0, slot.pending.data() + slot.pendingSent, piece) != 0)
        break;
      slot.pendingSent += piece;
    }
  }
}

void JackSysExClient::OnRegistration(jack_port_id_t, int, void* self) {
  auto* client = static_cast<JackSysExClient*>(self);
  client->changedBy_ = client->periods_ + 1;
}

void JackSysExClient::OnClientRegistration(const char*, int, void* self) {
  OnRegistration(0, 0, self);
}

void JackSysExClient::OnShutdown(void* self) { static_cast<JackSysExClient*>(self)->gone_ = true; }
