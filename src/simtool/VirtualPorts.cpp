#include "VirtualPorts.h"

#include <stdexcept>

#ifdef SIMTOOL_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#ifdef SIMTOOL_HAVE_JACK
#include "platform/midi/JackSysExClient.h"
#endif

namespace {

#ifdef SIMTOOL_HAVE_ALSA
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif

// Asks the service itself first: RtMidi complains on standard error when
// there is none, and for JACK its constructor does not even fail.
bool ServiceAnswers(RtMidi::Api api) {
  switch (api) {
#ifdef SIMTOOL_HAVE_ALSA
    case RtMidi::LINUX_ALSA: {
      snd_lib_error_set_handler(&QuietAlsa);
      snd_seq_t* seq = nullptr;
      if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return false;
      snd_seq_close(seq);
      return true;
    }
#endif
#ifdef SIMTOOL_HAVE_JACK
    // Opening the client tells (TryOpenJack).
    case RtMidi::UNIX_JACK:
      return true;
#endif
    default:
      return api != RtMidi::RTMIDI_DUMMY && api != RtMidi::UNSPECIFIED;
  }
}

}  // namespace

VirtualPorts::VirtualPorts() = default;

VirtualPorts::~VirtualPorts() { Close(); }

void VirtualPorts::Open(const std::string& api, const std::string& name, Receiver receiver) {
  Close();
  receiver_ = std::move(receiver);
  std::vector<RtMidi::Api> apis;
  if (!api.empty()) {
    const RtMidi::Api chosen = RtMidi::getCompiledApiByName(api);
    if (chosen == RtMidi::UNSPECIFIED) {
      throw std::runtime_error("the MIDI API '" + api + "' is not available");
    }
    apis.push_back(chosen);
  } else {
    RtMidi::getCompiledApi(apis);
  }
  std::string reasons;
  for (RtMidi::Api candidate : apis) {
    if (!ServiceAnswers(candidate)) {
      reasons += "\n  " + RtMidi::getApiName(candidate) + ": the service does not answer";
      continue;
    }
#ifdef SIMTOOL_HAVE_JACK
    const std::string why =
        candidate == RtMidi::UNIX_JACK ? TryOpenJack(name) : TryOpen(candidate, name);
#else
    const std::string why = TryOpen(candidate, name);
#endif
    if (why.empty()) return;
    reasons += "\n  " + RtMidi::getApiName(candidate) + ": " + why;
  }
  throw std::runtime_error("cannot open the virtual MIDI ports" +
                           (reasons.empty() ? std::string(": no MIDI API") : reasons));
}

std::string VirtualPorts::TryOpen(RtMidi::Api api, const std::string& name) {
  inClient_ = name + " In";
  outClient_ = name + " Out";
  std::string why;
  try {
    in_ = std::make_unique<RtMidiIn>(api, inClient_);
    in_->setErrorCallback(&VirtualPorts::OnError, this);
    in_->ignoreTypes(false, true, true);
    in_->setCallback(&VirtualPorts::OnMessage, this);
    in_->openVirtualPort("in");
    why = TakeError();
    if (why.empty()) {
      out_ = std::make_unique<RtMidiOut>(api, outClient_);
      out_->setErrorCallback(&VirtualPorts::OnError, this);
      out_->openVirtualPort("out");
      why = TakeError();
    }
  } catch (const RtMidiError& error) {
    why = error.getMessage();
  }
  if (!why.empty()) {
    Close();
    return why;
  }
  api_ = api;
  return {};
}

#ifdef SIMTOOL_HAVE_JACK
std::string VirtualPorts::TryOpenJack(const std::string& name) {
  jack_ = JackSysExClient::Open(name);
  if (!jack_) return "the service does not answer";
  jackIn_ = jack_->OpenInput({}, [this](const uint8_t* message, size_t size, Time arrived) {
    if (size == 0 || !receiver_) return;
    receiver_(std::vector<uint8_t>(message, message + size), arrived);
  });
  jackOut_ = jack_->OpenOutput({});
  if (jackIn_ < 0 || jackOut_ < 0) {
    Close();
    return "cannot register the ports";
  }
  inClient_ = outClient_ = jack_->Name();
  api_ = RtMidi::UNIX_JACK;
  return {};
}
#else
std::string VirtualPorts::TryOpenJack(const std::string&) { return "not built in"; }
#endif

void VirtualPorts::Close() {
  if (in_) {
    in_->cancelCallback();
    in_->closePort();
  }
  in_.reset();
  if (out_) out_->closePort();
  out_.reset();
  jack_.reset();
  jackIn_ = jackOut_ = -1;
  api_ = RtMidi::UNSPECIFIED;
}

bool VirtualPorts::Send(const std::vector<uint8_t>& message) {
#ifdef SIMTOOL_HAVE_JACK
  if (jack_) return jack_->Send(jackOut_, message.data(), message.size());
#endif
  if (!out_) return false;
  out_->sendMessage(message.data(), message.size());
  return TakeError().empty();
}

std::string VirtualPorts::ApiName() const {
  return api_ == RtMidi::UNSPECIFIED ? std::string() : RtMidi::getApiName(api_);
}

void VirtualPorts::OnMessage(double, std::vector<unsigned char>* message, void* self) {
  auto* ports = static_cast<VirtualPorts*>(self);
  if (message == nullptr || message->empty() || !ports->receiver_) return;
  ports->receiver_(std::vector<uint8_t>(message->begin(), message->end()),
                   std::chrono::steady_clock::now());
}

void VirtualPorts::OnError(RtMidiError::Type type, const std::string& text, void* self) {
  if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
  auto* ports = static_cast<VirtualPorts*>(self);
  ports->errorText_ = text;
  ports->failed_ = true;
}

std::string VirtualPorts::TakeError() {
  if (!failed_.exchange(false)) return {};
  return errorText_.empty() ? std::string("failed") : errorText_;
}
