#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The two MIDI ports the window talks to, followed by their names. Ports
// renumber as devices are plugged in and out, so each time the lists are
// read again a followed port is found by its name; one that is gone is known
// at once, and gets a number that opens nothing until it is back.
class DeviceWatch {
 public:
  using NameList = std::function<std::vector<std::string>()>;

  DeviceWatch(NameList inputs, NameList outputs);

  // Follows these device numbers from now on, by the names their ports have
  // now. A number that names no port follows `storedIn` or `storedOut`
  // instead: the name the settings keep for a port that was gone at start.
  void Follow(int32_t in, int32_t out, const std::string& storedIn = {},
              const std::string& storedOut = {});
  // Follows the ports of these names, as a dialog that listed them earlier
  // chose them; Refresh gives their numbers now.
  void FollowNames(const std::string& in, const std::string& out);
  // Reads the lists afresh and sets each number to where its port stands
  // now. True when a list differs from the last reading: open ports may then
  // be stale and are best opened again.
  bool Refresh(int32_t& in, int32_t& out);

  const std::string& InputName() const { return in_.name; }
  const std::string& OutputName() const { return out_.name; }
  bool InputMissing() const { return in_.missing; }
  bool OutputMissing() const { return out_.missing; }

 private:
  struct Side {
    NameList list;
    std::string name;
    bool missing = false;
    std::vector<std::string> seen;
    void Follow(int32_t device, const std::string& stored);
    bool Refresh(int32_t& device);
  };

  Side in_;
  Side out_;
};
