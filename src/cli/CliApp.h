#pragma once

#include <QStringList>
#include <string>

class CliCommands;
class MsgStr;

// Reads the command line, runs one command and turns what went wrong into a
// text on standard error and the exit status.
class CliApp {
 public:
  enum ExitStatus { kSuccess = 0, kFailure = 1, kUsage = 2 };

  static int Run(const QStringList& arguments);
  // One line on standard error, control characters escaped.
  static void Fail(const std::string& context, const std::string& text);

  struct Command;

 private:
  static int RunCommand(const Command& command, CliCommands& commands,
                        const QStringList& positional, const MsgStr& messages);
};
