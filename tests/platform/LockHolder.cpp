// A second copy of the program as far as the lock goes: takes the lock in
// the folder given, prints what it got and, with "hold", keeps it until its
// standard input closes or it is killed.
#include <QString>
#include <cstdio>
#include <cstring>

#include "platform/SingleInstance.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  SingleInstance instance(QStringLiteral("Ravlin"), QString::fromLocal8Bit(argv[1]));
  const SingleInstance::State state = instance.Acquire();
  std::puts(state == SingleInstance::State::First     ? "first"
            : state == SingleInstance::State::Running ? "running"
                                                      : "failed");
  std::fflush(stdout);
  if (state != SingleInstance::State::First) return 1;
  if (argc > 2 && std::strcmp(argv[2], "hold") == 0)
    while (std::getchar() != EOF) {
    }
  return 0;
}
