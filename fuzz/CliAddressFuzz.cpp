// Any text given on the command line as a slot's address or a backup file's
// name, and any --in or --out value against any port names: an address that
// is taken names itself again in both spellings, and a port value gives a
// port of the list or a usage error.
//
// Input: the text, a NUL, then the port names, one a line.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "CliError.h"
#include "DeviceSelector.h"
#include "files/SlotAddress.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void CheckAddress(const std::optional<SlotAddress>& address) {
  if (!address) return;
  Check(SlotAddress::Parse(address->ToString()) == address, "an address named otherwise");
  Check(SlotAddress::FromBackupFileName(address->BackupFileName()) == address,
        "a backup file named otherwise");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t end = input.find('\0');
  const std::string text = input.substr(0, end);
  CheckAddress(SlotAddress::Parse(text));
  CheckAddress(SlotAddress::FromBackupFileName(text));

  std::vector<std::string> names;
  for (size_t at = end == std::string::npos ? input.size() : end + 1; at < input.size();) {
    const size_t line = std::min(input.find('\n', at), input.size());
    names.push_back(input.substr(at, line - at));
    at = line + 1;
  }
  try {
    const int32_t port = DeviceSelector::Resolve(QString::fromStdString(text), names, "--in");
    Check(port >= 0 && static_cast<size_t>(port) < names.size(), "a port the list does not have");
  } catch (const CliError& error) {
    Check(error.ErrorKind() == CliError::Kind::Usage, "a port value that is no usage error");
  }
  return 0;
}
