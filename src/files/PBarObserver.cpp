#include "files/PBarObserver.h"

#include "files/ProgressBar.h"
#include "protocol/QnSysEx.h"

void PBarObserver::Attach(QnSysEx* protocol) {
  subject_ = protocol;
  protocol->Attach(this);
}

// The window's message loop does not run during a transfer, so the bar is
// repainted here; the bar itself keeps the position inside its range.
void PBarObserver::Update() {
  if (bar_ == nullptr || subject_ == nullptr) return;
  bar_->SetPosition(bar_->Position() + subject_->BytesInBlock());
  bar_->Repaint();
}
