#pragma once

#include "midi/QnException.h"

// A failure of the history store. The codes follow the order of their words
// in the catalog, from MsgStr::kWordHistoryBusy on.
class HistoryException : public QnCodedException<6> {
 public:
  enum : int32_t {
    kBusy,          // another program held the store past the busy timeout
    kReadOnly,      // the file or its folder cannot be written
    kFull,          // the disk is full
    kNewerVersion,  // written by a newer Ravlin: left untouched
    kDamaged,       // not a history store, or one that fails its check: left untouched
    kFailed,        // any other failure of the database
  };
  using QnCodedException::QnCodedException;
};
