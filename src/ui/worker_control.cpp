#include "ui/worker_control.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "ui/job_window.h"

namespace tessaly {
namespace {

// The JobContext a routine runs in.
class JobFrame final : public JobContext {
 public:
  JobFrame(WindowCallQueue& calls, BusyLock& busyLock, std::shared_ptr<JobState> job)
      : window_(calls, job), busyLock_(busyLock), job_(std::move(job)) {}
  ~JobFrame() override { ReleaseBusyLock(); }
  JobFrame(const JobFrame&) = delete;
  JobFrame& operator=(const JobFrame&) = delete;

  WindowOperations& Window() override { return window_; }

  // Another job may change the list while this one does not hold the lock,
  // so the row count the window proxy knows is forgotten on both edges.
  bool TakeBusyLock() override {
    if (!holdsBusyLock_) {
      holdsBusyLock_ = busyLock_.Take(job_->stopRequested);
      window_.ForgetRowCount();
    }
    return holdsBusyLock_;
  }

  void ReleaseBusyLock() override {
    if (!holdsBusyLock_) return;
    holdsBusyLock_ = false;
    window_.ForgetRowCount();
    busyLock_.Release();
  }

  // A job's thread owns no window, so there is nothing to process here.
  bool YieldToUi() override { return !StopRequested(); }

  bool StopRequested() const override { return job_->stopRequested.load(); }

 private:
  JobWindow window_;
  BusyLock& busyLock_;
  std::shared_ptr<JobState> job_;
  bool holdsBusyLock_ = false;
};

}  // namespace

WorkerControl::WorkerControl(WindowThread& windowThread, WindowOperations& window)
    : calls_(windowThread, window) {}

WorkerControl::~WorkerControl() {
  StopAllAndJoin();
}

void WorkerControl::StartJob(JobRoutine routine) {
  if (closed_ || !routine) return;
  JoinEndedJobs();
  auto job = std::make_shared<JobState>();
  try {
    job->thread = std::thread([this, job, routine = std::move(routine)] { RunJob(job, routine); });
  } catch (const std::system_error&) {
    workerHandle_.reset();
    return;
  }
  jobs_.push_back(job);
  workerHandle_ = std::move(job);
}

void WorkerControl::RunJob(const std::shared_ptr<JobState>& job, const JobRoutine& routine) {
  {
    CancelScope cancelScope(job->cancel);
    JobFrame frame(calls_, busyLock_, job);
    routine(frame);
  }
  job->ended.store(true);
}

void WorkerControl::StopLastJob() {
  if (workerHandle_ && !workerHandle_->ended.load()) Stop(*workerHandle_);
}

void WorkerControl::Stop(JobState& job) {
  job.stopRequested.store(true);
  job.cancel.Cancel();
  calls_.WakeStoppedJob(job);
  busyLock_.WakeWaiters();
}

void WorkerControl::StopAllAndJoin() {
  closed_ = true;
  for (const auto& job : jobs_) Stop(*job);
  for (const auto& job : jobs_) job->thread.join();
  jobs_.clear();
}

// A job that has ended is past its last window call, so joining it costs
// the window's thread no wait worth the name.
void WorkerControl::JoinEndedJobs() {
  std::erase_if(jobs_, [](const std::shared_ptr<JobState>& job) {
    if (!job->ended.load()) return false;
    job->thread.join();
    return true;
  });
}

int WorkerControl::RunningJobCount() const {
  return static_cast<int>(std::count_if(jobs_.begin(), jobs_.end(),
                                        [](const auto& job) { return !job->ended.load(); }));
}

}  // namespace tessaly
