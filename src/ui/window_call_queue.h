// Carries the jobs' window calls to the window's thread.
//
// Every call goes into one ordered queue shared by all jobs, so calls reach
// the window in the order they were made. A job that pushes onto an empty
// queue posts one drain task; the drain applies the whole batch. A call with a
// result (a read, a job's message) queues itself like a write and the job
// waits for the reply, so it sees every earlier write. An insert is a write:
// the job numbers its rows itself (see JobWindow). Before applying a call the
// window's thread looks at its job's stop flag: after a stop nothing of that
// job reaches the window, even a call already queued.
//
// A queued call is a small record; its texts are appended to one byte buffer
// per batch. Two batches take turns, one filled by the jobs while the window
// applies the other, so a write allocates nothing on the job's thread once
// the buffers have grown. The job's state is
// kept alive once per run of calls of the same job rather than once per call,
// so the two threads do not share a reference count per call.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"
#include "ui/job_state.h"
#include "ui/window_operations.h"
#include "ui/window_thread.h"

namespace tessaly {

// One window call as a job makes it. The texts are only read while the call
// is being queued.
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
  const Text* text = nullptr;
  const Text* title = nullptr;
};

class WindowCallQueue {
 public:
  WindowCallQueue(WindowThread& windowThread, WindowOperations& window);
  WindowCallQueue(const WindowCallQueue&) = delete;
  WindowCallQueue& operator=(const WindowCallQueue&) = delete;

  // Job's thread. Queues a call without a result; nothing when stopped.
  void Send(const std::shared_ptr<JobState>& job, const WindowCall& call);
  // Job's thread. Queues a call and waits for its reply; nullopt as soon as
  // the job is stopped, whether the call was applied or not.
  std::optional<CallReply> Ask(const std::shared_ptr<JobState>& job, const WindowCall& call);

  // Window's thread, after the job's stop flag has been set: ends the job's
  // waits here and closes its open message box.
  void WakeStoppedJob(JobState& job);

 private:
  struct QueuedCall {
    WindowCall::Kind kind;
    int first;
    int second;
    // The call's text and then its title follow the texts of the calls
    // before it in the batch's buffer.
    std::uint32_t textSize;
    std::uint32_t titleSize;
    JobState* job;  // kept alive by the batch's owners
  };
  struct Batch {
    std::vector<QueuedCall> calls;
    std::string texts;
    std::vector<std::shared_ptr<JobState>> owners;
    void Clear();
  };

  void Enqueue(const std::shared_ptr<JobState>& job, const WindowCall& call);
  void Drain();
  void Apply(const QueuedCall& call, std::string_view text, std::string_view title,
             const Batch& batch);
  static void Reply(JobState& job, CallReply reply);

  // A job that only writes would otherwise grow the queue without bound
  // while the window's thread is busy.
  static constexpr std::size_t kMaxQueuedCalls = 1 << 16;
  static constexpr std::size_t kCacheLineBytes = 64;
  static constexpr std::size_t kMaxQueuedTextBytes = 4 * 1024 * 1024;

  // Window's thread only: the storage of the batch applied last, which goes
  // back to the jobs at the next drain, and a text refilled for each call.
  WindowThread& windowThread_;
  WindowOperations& window_;
  Batch spare_;
  Text scratchText_;
  // What the jobs share with the window's thread starts a cache line of its
  // own: the lock is taken for every call a job makes, and when it shared a
  // line with what the window's thread reads for every call it applies, the
  // line went back and forth between the two cores twice a call.
  alignas(kCacheLineBytes) std::mutex mutex_;
  std::condition_variable hasRoom_;
  Batch queued_;
};

}  // namespace tessaly
