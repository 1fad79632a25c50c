// The driver's hold on the real window: one QApplication, and a way for jobs
// to tell the window's thread that they have ended.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <functional>

#include "ui/job_context.h"

namespace tessaly::bench {

// Counts ended jobs. A job's wrapper calls JobEnded() as its routine's last
// step; the window's thread waits with WaitForEnded(). The end is counted by
// a queued event that travels behind every window call the job has sent, so
// once the window's thread has counted it, it has applied all of them.
class JobEndSignal {
 public:
  // Job's thread.
  void JobEnded();
  // Window's thread. Runs the event loop until at least count jobs have
  // ended.
  void WaitForEnded(int count);
  int Ended() const { return ended_; }

  // routine, then JobEnded().
  JobRoutine Around(JobRoutine routine);

  // Runs the event loop until done() holds; done is looked at after each
  // Wake(), which any thread may call.
  void WaitUntil(const std::function<bool()>& done);
  void Wake();

 private:
  QObject receiver_;
  QEventLoop* loop_ = nullptr;
  std::function<bool()> done_;
  int ended_ = 0;  // window's thread only
};

}  // namespace tessaly::bench
