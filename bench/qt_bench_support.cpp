#include "qt_bench_support.h"

#include <utility>

namespace tessaly::bench {

void JobEndSignal::JobEnded() {
  QMetaObject::invokeMethod(
      &receiver_,
      [this] {
        ++ended_;
        if (loop_ != nullptr && done_ && done_()) loop_->quit();
      },
      Qt::QueuedConnection);
}

void JobEndSignal::Wake() {
  QMetaObject::invokeMethod(
      &receiver_,
      [this] {
        if (loop_ != nullptr && done_ && done_()) loop_->quit();
      },
      Qt::QueuedConnection);
}

void JobEndSignal::WaitUntil(const std::function<bool()>& done) {
  // A wake-up that arrives between the test and exec() stays queued and is
  // seen inside exec().
  while (!done()) {
    QEventLoop loop;
    loop_ = &loop;
    done_ = done;
    loop.exec();
    loop_ = nullptr;
    done_ = nullptr;
  }
}

void JobEndSignal::WaitForEnded(int count) {
  WaitUntil([this, count] { return ended_ >= count; });
}

JobRoutine JobEndSignal::Around(JobRoutine routine) {
  return [this, routine = std::move(routine)](JobContext& job) {
    if (routine) routine(job);
    JobEnded();
  };
}

}  // namespace tessaly::bench
