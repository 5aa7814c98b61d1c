#pragma once

#include <QStringList>
#include <string>

class MsgStr;

// Reads the command line, runs one command and turns what went wrong into a
// text on standard error and the exit status.
class CliApp {
 public:
  enum ExitStatus { kSuccess = 0, kFailure = 1, kUsage = 2 };

  static int Run(const QStringList& arguments);

 private:
  static void Fail(const std::string& context, const std::string& text);
};
