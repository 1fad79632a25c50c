#include "ui/window_call_queue.h"

#include <utility>

namespace tessaly {

WindowCallQueue::WindowCallQueue(WindowThread& windowThread, WindowOperations& window)
    : windowThread_(windowThread), window_(window) {}

void WindowCallQueue::Batch::Clear() {
  calls.clear();
  texts.clear();
  owners.clear();
}

void WindowCallQueue::Send(const std::shared_ptr<JobState>& job, const WindowCall& call) {
  if (job->stopRequested.load()) return;
  Enqueue(job, call);
}

std::optional<CallReply> WindowCallQueue::Ask(const std::shared_ptr<JobState>& job,
                                              const WindowCall& call) {
  if (job->stopRequested.load()) return std::nullopt;
  {
    std::lock_guard lock(job->mutex);
    job->replyReady = false;
  }
  Enqueue(job, call);
  std::unique_lock lock(job->mutex);
  job->wake.wait(lock, [&] { return job->replyReady || job->stopRequested.load(); });
  if (job->stopRequested.load()) return std::nullopt;
  return std::move(job->reply);
}

void WindowCallQueue::Enqueue(const std::shared_ptr<JobState>& job, const WindowCall& call) {
  bool firstInBatch = false;
  {
    std::unique_lock lock(mutex_);
    hasRoom_.wait(lock, [&] {
      return (queued_.calls.size() < kMaxQueuedCalls &&
              queued_.texts.size() < kMaxQueuedTextBytes) ||
             job->stopRequested.load();
    });
    if (job->stopRequested.load()) return;
    firstInBatch = queued_.calls.empty();
    if (queued_.owners.empty() || queued_.owners.back() != job) queued_.owners.push_back(job);
    const std::string_view text = call.text != nullptr ? call.text->view() : std::string_view();
    const std::string_view title = call.title != nullptr ? call.title->view() : std::string_view();
    queued_.texts.append(text).append(title);
    queued_.calls.push_back({call.kind, call.first, call.second,
                             static_cast<std::uint32_t>(text.size()),
                             static_cast<std::uint32_t>(title.size()), job.get()});
  }
  if (firstInBatch) windowThread_.PostToWindow([this] { Drain(); });
}

void WindowCallQueue::Drain() {
  // The jobs go on with the storage of the batch applied last time. The
  // batch is this call's own, so a drain that ran inside one of its calls
  // would find another.
  Batch batch = std::move(spare_);
  {
    std::lock_guard lock(mutex_);
    std::swap(batch, queued_);
  }
  hasRoom_.notify_all();
  const std::string_view texts = batch.texts;
  std::size_t offset = 0;
  for (const QueuedCall& call : batch.calls) {
    const std::string_view text = texts.substr(offset, call.textSize);
    const std::string_view title = texts.substr(offset + call.textSize, call.titleSize);
    offset += call.textSize + call.titleSize;
    Apply(call, text, title, batch);
  }
  batch.Clear();
  spare_ = std::move(batch);
}

void WindowCallQueue::Reply(JobState& job, CallReply reply) {
  {
    std::lock_guard lock(job.mutex);
    job.reply = std::move(reply);
    job.replyReady = true;
  }
  job.wake.notify_all();
}

void WindowCallQueue::Apply(const QueuedCall& call, std::string_view textBytes,
                            std::string_view titleBytes, const Batch& batch) {
  JobState& job = *call.job;
  // The stop flag is only ever set on this thread, so no stop can slip in
  // between this test and the call below.
  if (job.stopRequested.load()) return;
  // The bytes were a Text's; the window's calls copy what they keep, so one
  // text serves call after call without a new allocation each time.
  const auto text = [&]() -> const Text& {
    scratchText_.Assign(textBytes, Text::NoZeroByte{});
    return scratchText_;
  };
  const auto title = [&] { return Text(titleBytes); };
  using Kind = WindowCall::Kind;
  switch (call.kind) {
    case Kind::InsertRow:
      window_.ListInsertRow();
      break;
    case Kind::SetCell:
      window_.ListSetCell(call.first, call.second, text());
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
      window_.ListSetHeader(call.first, text());
      break;
    case Kind::SelectedRow:
      Reply(job, {window_.ListSelectedRow(), {}});
      break;
    case Kind::SetPanel:
      window_.StatusSetPanel(call.first, text());
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
      // The batch's owners keep the job alive only until the drain ends;
      // the box's callback needs its own hold.
      std::shared_ptr<JobState> owner;
      for (const auto& candidate : batch.owners) {
        if (candidate.get() == &job) owner = candidate;
      }
      job.openMessageId = windowThread_.OpenJobMessage(text(), title(), [owner] {
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
