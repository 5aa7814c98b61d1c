#include "platform/DeviceWatch.h"

namespace {

bool Listed(const std::vector<std::string>& names, int32_t device) {
  return device >= 0 && static_cast<size_t>(device) < names.size();
}

}  // namespace

int32_t DeviceWatch::Find(const std::vector<std::string>& names, const std::string& name,
                          int32_t device) {
  if (Listed(names, device) && names[static_cast<size_t>(device)] == name) return device;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int32_t>(i);
  return kGone;
}

DeviceWatch::DeviceWatch(NameList inputs, NameList outputs) {
  in_.list = std::move(inputs);
  out_.list = std::move(outputs);
}

bool DeviceWatch::Follow(int32_t& in, int32_t& out, const std::string& inName,
                         const std::string& outName) {
  const bool inChanged = in_.Follow(in, inName);
  const bool outChanged = out_.Follow(out, outName);
  return inChanged || outChanged;
}

bool DeviceWatch::Refresh(int32_t& in, int32_t& out) {
  const bool inChanged = in_.Refresh(in);
  const bool outChanged = out_.Refresh(out);
  return inChanged || outChanged;
}

bool DeviceWatch::Side::Follow(int32_t& device, const std::string& wanted) {
  name = wanted;
  if (name.empty()) {
    const std::vector<std::string> names = list();
    if (Listed(names, device)) name = names[static_cast<size_t>(device)];
  }
  return Refresh(device);
}

bool DeviceWatch::Side::Refresh(int32_t& device) {
  std::vector<std::string> names = list();
  const bool changed = names != seen;
  seen = std::move(names);
  if (name.empty()) {
    missing = !Listed(seen, device);
    return changed;
  }
  device = Find(seen, name, device);
  missing = device == kGone;
  return changed;
}
