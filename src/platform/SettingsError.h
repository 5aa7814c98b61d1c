#pragma once

#include <stdexcept>
#include <string>

// A failure of the settings store: a device value that is missing or not a
// 32-bit integer, or a store that cannot be read, created or written.
class SettingsError : public std::runtime_error {
 public:
  enum class Reason { Missing, WrongType, Unreadable, Create, Write };
  SettingsError(Reason reason, const std::string& what)
      : std::runtime_error(what), reason_(reason) {}
  Reason What() const { return reason_; }

 private:
  Reason reason_;
};
