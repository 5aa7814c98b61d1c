#pragma once

#include <memory>
#include <optional>
#include <string>

class ChildProcess;

// The JACK server that the end-to-end tests talk through: the one that
// JACK_DEFAULT_SERVER names (the test script starts it), or else a private
// one started here on the dummy driver, under a name of its own, and
// stopped by its process id when this object goes. Started the way
// scripts/jack-server.sh starts it.
class JackServer {
 public:
  enum class State { Ready, Missing, Failed };

  JackServer();
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // Ready: JACK_DEFAULT_SERVER names a server that answers, for this
  // process and every child. Missing: no server named and no jackd
  // installed. Failed: Why() tells.
  State Ensure();
  // A server of its own whatever JACK_DEFAULT_SERVER says, which names it
  // until this object goes.
  State StartPrivate();
  const std::string& Why() const { return why_; }
  bool Private() const { return jackd_ != nullptr; }

  static std::string Name();
  // Whether the server JACK_DEFAULT_SERVER names answers a client now.
  static bool Answers();

 private:
  void Stop();

  std::unique_ptr<ChildProcess> jackd_;
  std::optional<std::string> previous_;  // JACK_DEFAULT_SERVER before a private server
  std::string log_;
  std::string why_;
};
