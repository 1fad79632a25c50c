#include "ui/job_window.h"

#include <climits>
#include <utility>

namespace tessaly {

using Kind = WindowCall::Kind;

namespace {

WindowCall Call(Kind kind, int first = 0, int second = 0, const Text* text = nullptr,
                const Text* title = nullptr) {
  return WindowCall{kind, first, second, text, title};
}

}  // namespace

JobWindow::JobWindow(WindowCallQueue& queue, std::shared_ptr<JobState> job)
    : queue_(queue), job_(std::move(job)) {}

void JobWindow::Send(Kind kind, int first, int second, const Text* text) {
  queue_.Send(job_, Call(kind, first, second, text));
}

int JobWindow::AskNumber(Kind kind, int whenStopped, int first) {
  const std::optional<CallReply> reply = queue_.Ask(job_, Call(kind, first));
  return reply ? reply->number : whenStopped;
}

Text JobWindow::AskText(Kind kind, int first, int second) {
  std::optional<CallReply> reply = queue_.Ask(job_, Call(kind, first, second));
  return reply ? std::move(reply->text) : Text();
}

int JobWindow::ListInsertRow() {
  if (!rowCount_) {
    const std::optional<CallReply> reply = queue_.Ask(job_, Call(Kind::RowCount));
    if (!reply) return -1;
    rowCount_ = reply->number;
  }
  // The list cannot number a row beyond INT_MAX, and after a stop no row is
  // added.
  if (*rowCount_ == INT_MAX || job_->stopRequested.load()) return -1;
  Send(Kind::InsertRow);
  return (*rowCount_)++;
}

void JobWindow::ListSetCell(int row, int column, const Text& text) {
  Send(Kind::SetCell, row, column, &text);
}

Text JobWindow::ListGetCell(int row, int column) {
  return AskText(Kind::GetCell, row, column);
}

void JobWindow::ListClear() {
  Send(Kind::Clear);
  rowCount_ = 0;
}

int JobWindow::ListRowCount() {
  const std::optional<CallReply> reply = queue_.Ask(job_, Call(Kind::RowCount));
  if (!reply) return 0;
  rowCount_ = reply->number;
  return reply->number;
}

void JobWindow::ListSetHeader(int column, const Text& text) {
  Send(Kind::SetHeader, column, 0, &text);
}

int JobWindow::ListSelectedRow() {
  return AskNumber(Kind::SelectedRow, -1);
}

void JobWindow::StatusSetPanel(int panel, const Text& text) {
  Send(Kind::SetPanel, panel, 0, &text);
}

Text JobWindow::StatusGetPanel(int panel) {
  return AskText(Kind::GetPanel, panel);
}

void JobWindow::SetControlEnabled(JobButton button, bool enabled) {
  Send(Kind::SetEnabled, static_cast<int>(button), enabled ? 1 : 0);
}

Text JobWindow::EditGetText() {
  return AskText(Kind::EditText);
}

void JobWindow::ShowMessage(const Text& text, const Text& title) {
  queue_.Ask(job_, Call(Kind::OpenMessage, 0, 0, &text, &title));
}

void JobWindow::ShowPopupMenu() {}

}  // namespace tessaly
