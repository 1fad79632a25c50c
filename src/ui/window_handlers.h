// The handlers bound to the window's events. They run on the window's thread
// and return at once; none waits for a job.
#pragma once

#include "ui/job_context.h"
#include "ui/window_operations.h"
#include "ui/worker_control.h"

namespace tessaly {

// The window has been created: the site summary starts.
void OnWindowCreated(WorkerControl& workers, const JobRoutines& routines);
// "获取全部礼包".
void OnCrawlClicked(WorkerControl& workers, const JobRoutines& routines);
// "搜索礼包".
void OnSearchClicked(WorkerControl& workers, const JobRoutines& routines);
// "停止": ends the job started last and makes both job buttons usable.
void OnStopClicked(WorkerControl& workers, WindowOperations& window);
// Right click in the list: ends the job started last, then opens the popup
// menu when a row is selected.
void OnListRightClick(WorkerControl& workers, WindowOperations& window);

}  // namespace tessaly
