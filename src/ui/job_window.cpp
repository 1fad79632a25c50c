#include "ui/job_window.h"

#include <utility>

namespace tessaly {

using Kind = WindowCall::Kind;

JobWindow::JobWindow(WindowCallQueue& queue, std::shared_ptr<JobState> job)
    : queue_(queue), job_(std::move(job)) {}

WindowCall JobWindow::Call(Kind kind, int first, int second, Text text, Text title) const {
  return WindowCall{kind, first, second, std::move(text), std::move(title), job_};
}

int JobWindow::AskNumber(WindowCall call, int whenStopped) {
  const std::optional<CallReply> reply = queue_.Ask(std::move(call));
  return reply ? reply->number : whenStopped;
}

Text JobWindow::AskText(WindowCall call) {
  std::optional<CallReply> reply = queue_.Ask(std::move(call));
  return reply ? std::move(reply->text) : Text();
}

int JobWindow::ListInsertRow() {
  return AskNumber(Call(Kind::InsertRow), -1);
}

void JobWindow::ListSetCell(int row, int column, const Text& text) {
  queue_.Send(Call(Kind::SetCell, row, column, text));
}

Text JobWindow::ListGetCell(int row, int column) {
  return AskText(Call(Kind::GetCell, row, column));
}

void JobWindow::ListClear() {
  queue_.Send(Call(Kind::Clear));
}

int JobWindow::ListRowCount() {
  return AskNumber(Call(Kind::RowCount), 0);
}

void JobWindow::ListSetHeader(int column, const Text& text) {
  queue_.Send(Call(Kind::SetHeader, column, 0, text));
}

int JobWindow::ListSelectedRow() {
  return AskNumber(Call(Kind::SelectedRow), -1);
}

void JobWindow::StatusSetPanel(int panel, const Text& text) {
  queue_.Send(Call(Kind::SetPanel, panel, 0, text));
}

Text JobWindow::StatusGetPanel(int panel) {
  return AskText(Call(Kind::GetPanel, panel));
}

void JobWindow::SetControlEnabled(JobButton button, bool enabled) {
  queue_.Send(Call(Kind::SetEnabled, static_cast<int>(button), enabled ? 1 : 0));
}

Text JobWindow::EditGetText() {
  return AskText(Call(Kind::EditText));
}

void JobWindow::ShowMessage(const Text& text, const Text& title) {
  queue_.Ask(Call(Kind::OpenMessage, 0, 0, text, title));
}

void JobWindow::ShowPopupMenu() {}

}  // namespace tessaly
