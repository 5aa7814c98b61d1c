#include "platform/midi/RtMidiService.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

#ifdef RAVLIN_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace {

// Every RtMidi object of the program is a client of this name; a service
// may make it unique by appending "-01", "-02" and so on.
constexpr char kClientName[] = "Ravlin";

bool IsOwnPort(const std::string& name) {
  const size_t length = std::strlen(kClientName);
  if (name.compare(0, length, kClientName) != 0) return false;
  size_t i = length;
  if (i < name.size() && name[i] == '-') {
    const size_t digits = ++i;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
    if (i == digits) return false;
  }
  return i < name.size() && name[i] == ':';
}

MidiResult ToResult(RtMidiError::Type type) {
  switch (type) {
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE:
      return midi_result::kBadDeviceId;
    case RtMidiError::MEMORY_ERROR:
      return midi_result::kNoMemory;
    case RtMidiError::INVALID_PARAMETER:
      return midi_result::kInvalidParam;
    case RtMidiError::DRIVER_ERROR:
      return midi_result::kNotEnabled;
    default:
      return midi_result::kError;
  }
}

// With an error callback installed RtMidi neither prints nor throws; it
// reports here, and each call checks what was reported during it.
class RtErrors {
 public:
  static void Report(RtMidiError::Type type, const std::string&, void* self) {
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
    static_cast<RtErrors*>(self)->last_ = type;
  }

  void Attach(RtMidi& rt) { rt.setErrorCallback(&RtErrors::Report, this); }

  template <class Call>
  MidiResult Check(Call&& call) {
    last_ = -1;
    try {
      call();
    } catch (const RtMidiError& e) {
      return ToResult(e.getType());
    } catch (const std::bad_alloc&) {
      return midi_result::kNoMemory;
    }
    const int last = last_;
    return last < 0 ? midi_result::kOk : ToResult(static_cast<RtMidiError::Type>(last));
  }

 private:
  std::atomic<int> last_{-1};
};

std::vector<std::string> ListPorts(RtMidi& rt, RtErrors& errors) {
  std::vector<std::string> names;
  errors.Check([&] {
    const unsigned count = rt.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
      std::string name = rt.getPortName(i);
      if (!name.empty() && !IsOwnPort(name)) names.push_back(std::move(name));
    }
  });
  return names;
}

// Opens the port called `name` as this object sees the list now.
MidiResult OpenByName(RtMidi& rt, RtErrors& errors, const std::string& name,
                      const std::string& portName) {
  unsigned index = 0;
  bool found = false;
  MidiResult result = errors.Check([&] {
    const unsigned count = rt.getPortCount();
    for (; index < count && !found; ++index) found = rt.getPortName(index) == name;
  });
  if (result != midi_result::kOk) return result;
  if (!found) return midi_result::kBadDeviceId;
  return errors.Check([&] { rt.openPort(index - 1, portName); });
}

class RtInPort : public MidiInPort {
 public:
  explicit RtInPort(MidiReceiver receiver) : receiver_(std::move(receiver)) {}

  // RtMidi's thread has stopped calling once its port is gone.
  ~RtInPort() override { rt_.reset(); }

  MidiResult Open(RtMidi::Api api, const std::string& name) {
    MidiResult result = errors_.Check([&] { rt_ = std::make_unique<RtMidiIn>(api, kClientName); });
    if (result != midi_result::kOk) return result;
    errors_.Attach(*rt_);
    rt_->ignoreTypes(false, true, true);
    rt_->setCallback(&RtInPort::OnMessage, this);
    return OpenByName(*rt_, errors_, name, "in");
  }

 private:
  // On RtMidi's thread, with one complete message.
  static void OnMessage(double sincePrevious, std::vector<unsigned char>* message, void* self) {
    auto* port = static_cast<RtInPort*>(self);
    const MidiArrival arrived = port->Arrival(sincePrevious);
    if (message == nullptr || message->empty() || message->front() != 0xF0) return;
    port->receiver_(message->data(), message->size(), arrived);
  }

  // RtMidi tells each message's distance from the port's previous one, as
  // the service measured them when they came. Added up, they place a
  // message at its arrival even when RtMidi's thread hands it on late. The
  // sum is never put after the hand-over, which pulls it back to a message
  // handed on at once; after a second of silence it starts afresh there.
  MidiArrival Arrival(double sincePrevious) {
    const MidiArrival now = std::chrono::steady_clock::now();
    if (!started_ || !(sincePrevious >= 0.0 && sincePrevious < 1.0)) {
      started_ = true;
      last_ = now;
    } else {
      last_ = std::min(now, last_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(sincePrevious)));
    }
    return last_;
  }

  MidiReceiver receiver_;
  bool started_ = false;
  MidiArrival last_{};
  RtErrors errors_;
  std::unique_ptr<RtMidiIn> rt_;
};

class RtOutPort : public MidiOutPort {
 public:
  MidiResult Open(RtMidi::Api api, const std::string& name) {
    MidiResult result = errors_.Check([&] { rt_ = std::make_unique<RtMidiOut>(api, kClientName); });
    if (result != midi_result::kOk) return result;
    errors_.Attach(*rt_);
    return OpenByName(*rt_, errors_, name, "out");
  }

  // RtMidi has handed the message to the service when sendMessage returns.
  MidiResult Send(const uint8_t* data, size_t size, std::function<void()> sent) override {
    if (size == 0) return midi_result::kInvalidParam;
    const MidiResult result = errors_.Check([&] { rt_->sendMessage(data, size); });
    if (result != midi_result::kOk) return result;
    if (sent) sent();
    return midi_result::kOk;
  }

 private:
  RtErrors errors_;
  std::unique_ptr<RtMidiOut> rt_;
};

#ifdef RAVLIN_HAVE_ALSA
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif

// libasound prints its complaints (no sequencer) on standard error unless
// given a handler of its own.
void SilenceLibraries() {
#ifdef RAVLIN_HAVE_ALSA
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsa); });
#endif
}

// Asks the service itself first: RtMidi complains on standard error when it
// finds no service.
bool ServiceAnswers(RtMidi::Api api) {
  switch (api) {
#ifdef RAVLIN_HAVE_ALSA
    case RtMidi::LINUX_ALSA: {
      snd_seq_t* seq = nullptr;
      if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return false;
      snd_seq_close(seq);
      return true;
    }
#endif
    default:
      return true;
  }
}

std::string ApiFromEnvironment() {
  const char* name = std::getenv("RAVLIN_MIDI_API");
  return name != nullptr ? name : "";
}

}  // namespace

// The ports as the lists number them, in the order RtMidi lists them.
struct RtMidiService::Listers {
  RtErrors inErrors;
  RtErrors outErrors;
  std::unique_ptr<RtMidiIn> in;
  std::unique_ptr<RtMidiOut> out;

  std::vector<std::string> Inputs() { return ListPorts(*in, inErrors); }
  std::vector<std::string> Outputs() { return ListPorts(*out, outErrors); }
};

RtMidiService::RtMidiService() : RtMidiService(ApiFromEnvironment()) {}

RtMidiService::RtMidiService(const std::string& apiName) {
  SilenceLibraries();
  if (!apiName.empty()) {
    const RtMidi::Api api = RtMidi::getCompiledApiByName(apiName);
    if (api != RtMidi::UNSPECIFIED) TryApi(api);
    return;
  }
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api api : apis) {
    if (TryApi(api)) return;
  }
}

RtMidiService::~RtMidiService() = default;

// JACK is JackMidiService's: RtMidi would open a client for every port.
bool RtMidiService::TryApi(RtMidi::Api api) {
  if (api == RtMidi::UNSPECIFIED || api == RtMidi::RTMIDI_DUMMY || api == RtMidi::UNIX_JACK)
    return false;
  if (!ServiceAnswers(api)) return false;
  auto listers = std::make_unique<Listers>();
  try {
    listers->in = std::make_unique<RtMidiIn>(api, kClientName);
    listers->out = std::make_unique<RtMidiOut>(api, kClientName);
  } catch (const RtMidiError&) {
    return false;
  }
  listers->inErrors.Attach(*listers->in);
  listers->outErrors.Attach(*listers->out);
  if (listers->inErrors.Check([&] { listers->in->getPortCount(); }) != midi_result::kOk ||
      listers->outErrors.Check([&] { listers->out->getPortCount(); }) != midi_result::kOk) {
    return false;
  }
  api_ = api;
  listers_ = std::move(listers);
  return true;
}

std::vector<std::string> RtMidiService::InputNames() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!listers_) return {};
  return listers_->Inputs();
}

std::vector<std::string> RtMidiService::OutputNames() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!listers_) return {};
  return listers_->Outputs();
}

MidiResult RtMidiService::OpenIn(unsigned device, MidiReceiver receiver,
                                 std::unique_ptr<MidiInPort>& port) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!listers_) return midi_result::kNoDriver;
  const std::vector<std::string> names = listers_->Inputs();
  if (device >= names.size()) return midi_result::kBadDeviceId;
  auto opened = std::make_unique<RtInPort>(std::move(receiver));
  const MidiResult result = opened->Open(api_, names[device]);
  if (result == midi_result::kOk) port = std::move(opened);
  return result;
}

MidiResult RtMidiService::OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!listers_) return midi_result::kNoDriver;
  const std::vector<std::string> names = listers_->Outputs();
  if (device >= names.size()) return midi_result::kBadDeviceId;
  auto opened = std::make_unique<RtOutPort>();
  const MidiResult result = opened->Open(api_, names[device]);
  if (result == midi_result::kOk) port = std::move(opened);
  return result;
}

std::string RtMidiService::ApiName() const {
  return listers_ ? RtMidi::getApiName(api_) : std::string();
}
