// What a running job sees of the worker frame around it.
#pragma once

#include <functional>

#include "ui/window_operations.h"

namespace tessaly {

class JobContext {
 public:
  virtual ~JobContext() = default;

  // The window as seen from this job: every call is carried out on the
  // window's thread in the job's order; reads see every earlier write. After
  // a stop request nothing reaches the window and reads give empty values.
  virtual WindowOperations& Window() = 0;

  // Takes BusyLock, waiting while another job holds it. False when the job
  // was stopped before or while waiting: the job must then end at once,
  // without doing any of its work. The lock is released by ReleaseBusyLock
  // or when the job's routine returns.
  virtual bool TakeBusyLock() = 0;
  virtual void ReleaseBusyLock() = 0;

  // A yield point. False once a stop was requested: the job ends there.
  virtual bool YieldToUi() = 0;

  virtual bool StopRequested() const = 0;
};

using JobRoutine = std::function<void(JobContext&)>;

// The routines behind the window's three job starts: the site summary at
// start-up, "获取全部礼包" and "搜索礼包". Tests hand in their own.
struct JobRoutines {
  JobRoutine loadSiteSummary;
  JobRoutine crawlCatalogue;
  JobRoutine searchKeyword;
};

}  // namespace tessaly
