// Carries the jobs' window calls to the window's thread.
//
// Every call goes into one ordered queue shared by all jobs, so calls reach
// the window in the order they were made. A job that pushes onto an empty
// queue posts one drain task; the drain applies the whole batch. A call with a
// result (a read, ListInsertRow, a job's message) queues itself like a write
// and the job waits for the reply, so it sees every earlier write. Before
// applying a call the window's thread looks at its job's stop flag: after a
// stop nothing of that job reaches the window, even a call already queued.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "text/text.h"
#include "ui/job_state.h"
#include "ui/window_operations.h"
#include "ui/window_thread.h"

namespace tessaly {

struct WindowCall {
  enum class Kind : std::uint8_t {
    InsertRow,
    SetCell,
    GetCell,
    Clear,
    RowCount,
    SetHeader,
    SelectedRow,
    SetPanel,
    GetPanel,
    SetEnabled,
    EditText,
    OpenMessage,
  };
  Kind kind;
  int first = 0;
  int second = 0;
  Text text;
  Text title;
  std::shared_ptr<JobState> job;
};

class WindowCallQueue {
 public:
  WindowCallQueue(WindowThread& windowThread, WindowOperations& window);
  WindowCallQueue(const WindowCallQueue&) = delete;
  WindowCallQueue& operator=(const WindowCallQueue&) = delete;

  // Job's thread. Queues a call without a result; nothing when stopped.
  void Send(WindowCall call);
  // Job's thread. Queues a call and waits for its reply; nullopt as soon as
  // the job is stopped, whether the call was applied or not.
  std::optional<CallReply> Ask(WindowCall call);

  // Window's thread, after the job's stop flag has been set: ends the job's
  // waits here and closes its open message box.
  void WakeStoppedJob(JobState& job);

 private:
  void Enqueue(WindowCall&& call);
  void Drain();
  void Apply(WindowCall& call);
  static void Reply(JobState& job, CallReply reply);

  // A job that only writes would otherwise grow the queue without bound
  // while the window's thread is busy.
  static constexpr std::size_t kMaxQueuedCalls = 1 << 16;

  WindowThread& windowThread_;
  WindowOperations& window_;
  std::mutex mutex_;
  std::condition_variable hasRoom_;
  std::vector<WindowCall> queue_;
};

}  // namespace tessaly
