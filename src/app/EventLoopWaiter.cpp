#include "EventLoopWaiter.h"

#include <QEventLoop>

void EventLoopWaiter::Wait(const std::atomic<bool>& finished) {
  QEventLoop loop;
  loop_ = &loop;
  ++generation_;
  if (!finished.load()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  loop_ = nullptr;
}

void EventLoopWaiter::Finished() {
  const uint64_t generation = generation_.load();
  QMetaObject::invokeMethod(
      this,
      [this, generation] {
        if (loop_ != nullptr && generation == generation_.load()) loop_->quit();
      },
      Qt::QueuedConnection);
}
