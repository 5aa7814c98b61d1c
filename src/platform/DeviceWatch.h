#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The two MIDI ports the window talks to, followed by their names. Ports
// renumber as devices are plugged in and out, so each time the lists are
// read again a followed port is found by its name; one that is gone is known
// at once and gets kGone until it is back.
class DeviceWatch {
 public:
  using NameList = std::function<std::vector<std::string>()>;

  // The number of a port that is gone. No MIDI service opens a negative
  // number, so it never reaches another port, however the lists grow.
  static constexpr int32_t kGone = -1;

  // Where the port called `name` stands in `names`: at `device` while that
  // number still names it (two ports may share a name), else at the first
  // port of that name, else kGone.
  static int32_t Find(const std::vector<std::string>& names, const std::string& name,
                      int32_t device);

  DeviceWatch(NameList inputs, NameList outputs);

  // Follows the ports of these names from now on and sets the numbers to
  // where they stand now. An empty name follows the port that has the number
  // now (a store written without names); a number that names no port then
  // stays as it is. True when a list differs from the last reading.
  bool Follow(int32_t& in, int32_t& out, const std::string& inName, const std::string& outName);
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
    bool Follow(int32_t& device, const std::string& wanted);
    bool Refresh(int32_t& device);
  };

  Side in_;
  Side out_;
};
