// The window as a job sees it from its own thread: every operation travels
// through the window call queue and is carried out on the window's thread.
// After a stop nothing reaches the window and reads give empty values (-1
// for a row index, 0 for a count).
//
// ListInsertRow does not wait for the window's thread. Only the job holding
// BusyLock ever adds or removes rows (the window's own commands never do), so
// the proxy asks for the row count once and then numbers the new rows itself
// while their inserts travel in the queue like any other write. What it knows
// is forgotten whenever the job takes or releases BusyLock.
#pragma once

#include <memory>
#include <optional>

#include "ui/window_call_queue.h"
#include "ui/window_operations.h"

namespace tessaly {

class JobWindow final : public WindowOperations {
 public:
  JobWindow(WindowCallQueue& queue, std::shared_ptr<JobState> job);

  int ListInsertRow() override;
  void ListSetCell(int row, int column, const Text& text) override;
  Text ListGetCell(int row, int column) override;
  void ListClear() override;
  int ListRowCount() override;
  void ListSetHeader(int column, const Text& text) override;
  int ListSelectedRow() override;
  void StatusSetPanel(int panel, const Text& text) override;
  Text StatusGetPanel(int panel) override;
  void SetControlEnabled(JobButton button, bool enabled) override;
  Text EditGetText() override;
  // Opens a modeless box and waits until the user closes it or the job is
  // stopped (the stop closes the box).
  void ShowMessage(const Text& text, const Text& title) override;
  // The popup belongs to the window's own right-click handler; a job has no
  // business opening it, so this does nothing.
  void ShowPopupMenu() override;

  // The row count learnt earlier may be out of date: ask again before the
  // next insert.
  void ForgetRowCount() { rowCount_.reset(); }

 private:
  void Send(WindowCall::Kind kind, int first = 0, int second = 0, const Text* text = nullptr);
  int AskNumber(WindowCall::Kind kind, int whenStopped, int first = 0);
  Text AskText(WindowCall::Kind kind, int first = 0, int second = 0);

  WindowCallQueue& queue_;
  std::shared_ptr<JobState> job_;
  // The list's rows as this job's calls leave them, once learnt.
  std::optional<int> rowCount_;
};

}  // namespace tessaly
