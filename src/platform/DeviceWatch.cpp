#include "platform/DeviceWatch.h"

DeviceWatch::DeviceWatch(NameList inputs, NameList outputs) {
  in_.list = std::move(inputs);
  out_.list = std::move(outputs);
}

void DeviceWatch::Follow(int32_t in, int32_t out, const std::string& storedIn,
                         const std::string& storedOut) {
  in_.Follow(in, storedIn);
  out_.Follow(out, storedOut);
}

void DeviceWatch::FollowNames(const std::string& in, const std::string& out) {
  in_.name = in;
  out_.name = out;
}

bool DeviceWatch::Refresh(int32_t& in, int32_t& out) {
  const bool inChanged = in_.Refresh(in);
  const bool outChanged = out_.Refresh(out);
  return inChanged || outChanged;
}

void DeviceWatch::Side::Follow(int32_t device, const std::string& stored) {
  seen = list();
  const bool listed = device >= 0 && static_cast<size_t>(device) < seen.size();
  name = listed ? seen[static_cast<size_t>(device)] : stored;
  missing = !listed;
}

bool DeviceWatch::Side::Refresh(int32_t& device) {
  std::vector<std::string> names = list();
  const bool changed = names != seen;
  seen = std::move(names);
  if (name.empty()) return changed;
  // A number that still names the port stays, even where two ports share
  // a name.
  if (device >= 0 && static_cast<size_t>(device) < seen.size() &&
      seen[static_cast<size_t>(device)] == name) {
    missing = false;
    return changed;
  }
  for (size_t i = 0; i < seen.size(); ++i) {
    if (seen[i] == name) {
      device = static_cast<int32_t>(i);
      missing = false;
      return changed;
    }
  }
  device = static_cast<int32_t>(seen.size());
  missing = true;
  return changed;
}
