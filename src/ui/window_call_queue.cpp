#include "ui/window_call_queue.h"

#include <utility>

namespace tessaly {

WindowCallQueue::WindowCallQueue(WindowThread& windowThread, WindowOperations& window)
    : windowThread_(windowThread), window_(window) {}

void WindowCallQueue::Send(WindowCall call) {
  if (call.job->stopRequested.load()) return;
  Enqueue(std::move(call));
}

std::optional<CallReply> WindowCallQueue::Ask(WindowCall call) {
  JobState& job = *call.job;
  if (job.stopRequested.load()) return std::nullopt;
  {
    std::lock_guard lock(job.mutex);
    job.replyReady = false;
  }
  Enqueue(std::move(call));
  std::unique_lock lock(job.mutex);
  job.wake.wait(lock, [&] { return job.replyReady || job.stopRequested.load(); });
  if (job.stopRequested.load()) return std::nullopt;
  return std::move(job.reply);
}

void WindowCallQueue::Enqueue(WindowCall&& call) {
  const JobState& job = *call.job;
  bool firstInBatch = false;
  {
    std::unique_lock lock(mutex_);
    hasRoom_.wait(lock,
                  [&] { return queue_.size() < kMaxQueuedCalls || job.stopRequested.load(); });
    if (job.stopRequested.load()) return;
    firstInBatch = queue_.empty();
    queue_.push_back(std::move(call));
  }
  if (firstInBatch) windowThread_.PostToWindow([this] { Drain(); });
}

void WindowCallQueue::Drain() {
  std::vector<WindowCall> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
  }
  hasRoom_.notify_all();
  for (WindowCall& call : batch) Apply(call);
  // Hand the storage back so that the next batch does not grow it again.
  batch.clear();
  std::lock_guard lock(mutex_);
  if (queue_.empty() && queue_.capacity() < batch.capacity()) queue_.swap(batch);
}

void WindowCallQueue::Reply(JobState& job, CallReply reply) {
  {
    std::lock_guard lock(job.mutex);
    job.reply = std::move(reply);
    job.replyReady = true;
  }
  job.wake.notify_all();
}

void WindowCallQueue::Apply(WindowCall& call) {
  JobState& job = *call.job;
  // The stop flag is only ever set on this thread, so no stop can slip in
  // between this test and the call below.
  if (job.stopRequested.load()) return;
  using Kind = WindowCall::Kind;
  switch (call.kind) {
    case Kind::InsertRow:
      Reply(job, {window_.ListInsertRow(), {}});
      break;
    case Kind::SetCell:
      window_.ListSetCell(call.first, call.second, call.text);
      break;
    case Kind::GetCell:
      Reply(job, {0, window_.ListGetCell(call.first, call.second)});
      break;
    case Kind::Clear:
      window_.ListClear();
      break;
    case Kind::RowCount:
      Reply(job, {window_.ListRowCount(), {}});
      break;
    case Kind::SetHeader:
      window_.ListSetHeader(call.first, call.text);
      break;
    case Kind::SelectedRow:
      Reply(job, {window_.ListSelectedRow(), {}});
      break;
    case Kind::SetPanel:
      window_.StatusSetPanel(call.first, call.text);
      break;
    case Kind::GetPanel:
      Reply(job, {0, window_.StatusGetPanel(call.first)});
      break;
    case Kind::SetEnabled:
      window_.SetControlEnabled(static_cast<JobButton>(call.first), call.second != 0);
      break;
    case Kind::EditText:
      Reply(job, {0, window_.EditGetText()});
      break;
    case Kind::OpenMessage: {
      std::shared_ptr<JobState> owner = call.job;
      job.openMessageId = windowThread_.OpenJobMessage(call.text, call.title, [owner] {
        owner->openMessageId = kNoJobMessage;
        Reply(*owner, {});
      });
      break;
    }
  }
}

void WindowCallQueue::WakeStoppedJob(JobState& job) {
  if (job.openMessageId != kNoJobMessage) {
    const int id = job.openMessageId;
    job.openMessageId = kNoJobMessage;
    windowThread_.CloseJobMessage(id);
  }
  { std::lock_guard lock(job.mutex); }
  job.wake.notify_all();
  { std::lock_guard lock(mutex_); }
  hasRoom_.notify_all();
}

}  // namespace tessaly
