// Worker control: starts each job on a thread of its own, remembers the job
// started last (WorkerHandle), stops it on request, and on the window's close
// stops every job and joins every thread. Used on the window's thread only.
#pragma once

#include <memory>
#include <vector>

#include "ui/busy_lock.h"
#include "ui/job_context.h"
#include "ui/job_state.h"
#include "ui/window_call_queue.h"
#include "ui/window_operations.h"
#include "ui/window_thread.h"

namespace tessaly {

class WorkerControl {
 public:
  // window is the real window, used on the window's thread only.
  WorkerControl(WindowThread& windowThread, WindowOperations& window);
  ~WorkerControl();  // stops and joins whatever still runs
  WorkerControl(const WorkerControl&) = delete;
  WorkerControl& operator=(const WorkerControl&) = delete;

  // Runs routine on a new thread and makes it the job started last. Does not
  // look at other jobs; an empty routine, or a thread that cannot be started,
  // runs nothing and leaves no job to stop.
  void StartJob(JobRoutine routine);
  // Asks the job started last to end; nothing when it has ended already.
  void StopLastJob();
  // Stops every job, then waits for every thread to end. Jobs never wait for
  // the window's thread once stopped, so this cannot deadlock. Later starts
  // run nothing.
  void StopAllAndJoin();

  // Jobs whose routine has not returned yet.
  int RunningJobCount() const;

 private:
  void RunJob(const std::shared_ptr<JobState>& job, const JobRoutine& routine);
  void Stop(JobState& job);
  void JoinEndedJobs();

  WindowCallQueue calls_;
  BusyLock busyLock_;
  std::vector<std::shared_ptr<JobState>> jobs_;
  std::shared_ptr<JobState> workerHandle_;
  bool closed_ = false;
};

}  // namespace tessaly
