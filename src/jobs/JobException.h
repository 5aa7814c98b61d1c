#pragma once

#include "midi/QnException.h"

// A request a job refuses before its first message, for a rule of the job
// layer's own; the class and code name the catalog's text.
class JobException : public QnCodedException<5> {
 public:
  enum : int32_t {
    kSlotEmpty,   // a slot named on its own holds no data to import
    kNoDataName,  // the file's type has no data name to change
  };
  using QnCodedException::QnCodedException;
};
