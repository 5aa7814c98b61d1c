#pragma once

#include <stdexcept>
#include <string>

// A failure the command-line tool finds itself: a wrong command line (exit
// status 2) or a refused operation that has no text in the catalog (exit 1).
class CliError : public std::runtime_error {
 public:
  enum class Kind { Usage, Failure };

  CliError(Kind kind, const std::string& text);
  static CliError Usage(const std::string& text) { return CliError(Kind::Usage, text); }
  static CliError Failure(const std::string& text) { return CliError(Kind::Failure, text); }

  Kind ErrorKind() const { return kind_; }

 private:
  Kind kind_;
};
