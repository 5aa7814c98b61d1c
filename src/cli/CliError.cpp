#include "CliError.h"

CliError::CliError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
