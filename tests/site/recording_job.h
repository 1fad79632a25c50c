// A window that records what a job does to it, and a job frame that runs the
// job on the test's own thread, so that the site jobs can be checked call by
// call without Qt.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "text/text.h"
#include "ui/job_context.h"
#include "ui/window_operations.h"

namespace tessaly::testing {

struct RecordedMessage {
  Text text;
  Text title;
  friend bool operator==(const RecordedMessage&, const RecordedMessage&) = default;
};

class RecordingWindow : public WindowOperations {
 public:
  using Row = std::array<Text, 4>;

  std::vector<Row> rows;
  std::array<Text, 4> headers{"col0", "col1", "col2", "col3"};
  std::array<Text, 5> panels{Text(), Text("P1"), Text(), Text("P3"), Text()};
  bool searchEnabled = false;
  bool crawlEnabled = false;
  Text editText{"AV"};
  std::vector<RecordedMessage> messages;
  std::vector<Text> headerHistory;  // every title set into column 0, in order

  int ListInsertRow() override {
    rows.emplace_back();
    return static_cast<int>(rows.size()) - 1;
  }
  void ListSetCell(int row, int column, const Text& text) override {
    if (ValidRow(row) && ValidColumn(column)) rows[row][column] = text;
  }
  Text ListGetCell(int row, int column) override {
    return ValidRow(row) && ValidColumn(column) ? rows[row][column] : Text();
  }
  void ListClear() override { rows.clear(); }
  int ListRowCount() override { return static_cast<int>(rows.size()); }
  void ListSetHeader(int column, const Text& text) override {
    if (!ValidColumn(column)) return;
    headers[column] = text;
    if (column == 0) headerHistory.push_back(text);
  }
  int ListSelectedRow() override { return -1; }
  void StatusSetPanel(int panel, const Text& text) override {
    if (panel >= 0 && panel < 5) panels[panel] = text;
  }
  Text StatusGetPanel(int panel) override {
    return panel >= 0 && panel < 5 ? panels[panel] : Text();
  }
  void SetControlEnabled(JobButton button, bool enabled) override {
    (button == JobButton::Search ? searchEnabled : crawlEnabled) = enabled;
  }
  Text EditGetText() override { return editText; }
  void ShowMessage(const Text& text, const Text& title) override {
    messages.push_back({text, title});
  }
  void ShowPopupMenu() override {}

 private:
  bool ValidRow(int row) const { return row >= 0 && row < static_cast<int>(rows.size()); }
  static bool ValidColumn(int column) { return column >= 0 && column < 4; }
};

// Runs a job synchronously. With stopAtYield = n the stop request is set at
// the job's n-th yield point (1-based), the way "停止" would be clicked there;
// from then on nothing reaches the window, as in the real frame.
class RecordingJob final : public JobContext {
 public:
  explicit RecordingJob(RecordingWindow& window, int stopAtYield = 0)
      : window_(window), stopAtYield_(stopAtYield) {}

  WindowOperations& Window() override { return stopped_ ? dropped_ : window_; }
  bool TakeBusyLock() override {
    lockHeld = !stopped_;
    return lockHeld;
  }
  void ReleaseBusyLock() override {
    lockHeld = false;
    released = true;
  }
  bool YieldToUi() override {
    ++yields;
    if (yields == stopAtYield_) stopped_ = true;
    return !stopped_;
  }
  bool StopRequested() const override { return stopped_; }

  int yields = 0;
  bool lockHeld = false;
  bool released = false;

 private:
  RecordingWindow& window_;
  RecordingWindow dropped_;  // absorbs the calls of a stopped job
  int stopAtYield_;
  bool stopped_ = false;
};

}  // namespace tessaly::testing
