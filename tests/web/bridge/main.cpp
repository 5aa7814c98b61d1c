// webmidi-bridge: the JACK server's MIDI ports offered to a page over a
// WebSocket on 127.0.0.1 (see WebMidiBridge.h), until SIGINT or SIGTERM.
// Prints the port it listens on, one line, once it is ready.

#include <pthread.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "WebMidiBridge.h"
#include "platform/midi/JackMidiService.h"

namespace {

int Usage() {
  std::fputs("Usage: webmidi-bridge [--port PORT] [--client NAME]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Every thread started from here on inherits the blocked signals; one of
  // the bridge's own takes them and ends the event loop, so that the JACK
  // client closes as it should.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  QCoreApplication app(argc, argv);
  unsigned long port = 0;
  std::string client = "Ravlin";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage();
    if (option == "--port") {
      char* end = nullptr;
      port = std::strtoul(argv[++i], &end, 10);
      if (*end != '\0' || port > 65535) return Usage();
    } else if (option == "--client") {
      client = argv[++i];
    } else {
      return Usage();
    }
  }

  JackMidiService service(client);
  if (!service.Works()) {
    std::fputs("webmidi-bridge: no JACK server answers\n", stderr);
    return 1;
  }
  WebMidiBridge bridge(service);
  if (!bridge.Listen(static_cast<uint16_t>(port))) {
    std::fprintf(stderr, "webmidi-bridge: cannot listen on 127.0.0.1:%lu\n", port);
    return 1;
  }
  std::printf("%u\n", static_cast<unsigned>(bridge.Port()));
  std::fflush(stdout);

  std::thread stopper([&app, &stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  stopper.detach();
  return app.exec();
}
