#include "platform/HistoryLocation.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string Home() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  const passwd* user = ::getpwuid(::getuid());
  return user != nullptr ? user->pw_dir : "";
}

}  // namespace

std::string HistoryLocation::Default() {
  // A relative value is to be ignored, as if it were not set.
  const char* data = std::getenv("XDG_DATA_HOME");
  const std::string folder =
      data != nullptr && data[0] == '/' ? std::string(data) : Home() + "/.local/share";
  return folder + "/Ravlin/history.sqlite";
}
