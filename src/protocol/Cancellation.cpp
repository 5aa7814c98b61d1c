#include "protocol/Cancellation.h"

#include "midi/QnException.h"
#include "protocol/QnSysEx.h"

void Cancellation::Check() {
  if (Requested() && deferrals_.load() == 0) throw QnSysExException(QnSysEx::kCancelled);
}
