#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>

#include "protocol/MsgStr.h"

// A failure the command-line tool finds itself: a wrong command line (exit
// status 2), a refused operation (exit 1), or output that could not be
// written (exit 1, named by no file or slot of the command).
class CliError : public std::runtime_error {
 public:
  enum class Kind { Usage, Failure, Output };

  CliError(Kind kind, const std::string& text);
  static CliError Usage(MsgStr::Word word, std::initializer_list<std::string> values = {}) {
    return CliError(Kind::Usage, Text(word, values));
  }
  static CliError Failure(MsgStr::Word word, std::initializer_list<std::string> values = {}) {
    return CliError(Kind::Failure, Text(word, values));
  }

  // The catalog's word in the user's language, "%1", "%2", ... replaced by
  // `values` in order.
  static std::string Text(MsgStr::Word word, std::initializer_list<std::string> values = {});

  Kind ErrorKind() const { return kind_; }

 private:
  Kind kind_;
};
