#include "protocol/Cancellation.h"

#include "midi/QnException.h"
#include "protocol/QnSysEx.h"

void Cancellation::Check() {
  if (Requested()) throw QnSysExException(QnSysEx::kCancelled);
}
