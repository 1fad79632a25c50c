// Qt-free stand-ins for the window side of the worker frame: a window that
// keeps and logs its state, and a window's thread that is the test's own
// thread running whatever tasks have been posted to it.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "text/text.h"
#include "ui/window_operations.h"
#include "ui/window_thread.h"

namespace tessaly::testing {

class LoggingWindow final : public WindowOperations {
 public:
  std::vector<std::array<Text, 4>> rows;
  std::array<Text, 5> panels{Text(), Text("P1"), Text(), Text("P3"), Text()};
  bool searchEnabled = false;
  bool crawlEnabled = false;
  int selectedRow = -1;
  int popupsShown = 0;
  std::vector<std::string> log;  // one entry per write, in the order applied

  int ListInsertRow() override {
    rows.emplace_back();
    log.push_back("insert");
    return static_cast<int>(rows.size()) - 1;
  }
  void ListSetCell(int row, int column, const Text& text) override {
    log.push_back("cell " + text.bytes());
    if (HasRow(row) && column >= 0 && column < 4) rows[row][column] = text;
  }
  Text ListGetCell(int row, int column) override {
    return HasRow(row) && column >= 0 && column < 4 ? rows[row][column] : Text();
  }
  void ListClear() override {
    log.push_back("clear");
    rows.clear();
  }
  int ListRowCount() override { return static_cast<int>(rows.size()); }
  void ListSetHeader(int, const Text& text) override { log.push_back("header " + text.bytes()); }
  int ListSelectedRow() override { return selectedRow; }
  void StatusSetPanel(int panel, const Text& text) override {
    log.push_back("panel " + text.bytes());
    if (panel >= 0 && panel < 5) panels[panel] = text;
  }
  Text StatusGetPanel(int panel) override {
    return panel >= 0 && panel < 5 ? panels[panel] : Text();
  }
  void SetControlEnabled(JobButton button, bool enabled) override {
    (button == JobButton::Search ? searchEnabled : crawlEnabled) = enabled;
  }
  Text EditGetText() override { return Text("AV"); }
  void ShowMessage(const Text&, const Text&) override {}
  void ShowPopupMenu() override { ++popupsShown; }

 private:
  bool HasRow(int row) const { return row >= 0 && row < static_cast<int>(rows.size()); }
};

class TestWindowThread final : public WindowThread {
 public:
  struct Message {
    Text text;
    Text title;
    std::function<void()> onClosed;
    bool open = true;
  };

  void PostToWindow(std::function<void()> task) override {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
      ++postedCount_;
    }
    posted_.notify_all();
  }
  int OpenJobMessage(const Text& text, const Text& title, std::function<void()> onClosed) override {
    const int id = static_cast<int>(messages.size());
    messages.emplace(id, Message{text, title, std::move(onClosed)});
    return id;
  }
  void CloseJobMessage(int id) override { messages.at(id).open = false; }

  // The user closes the box.
  void CloseByUser(int id) {
    Message& message = messages.at(id);
    message.open = false;
    message.onClosed();
  }

  int PostedCount() {
    std::lock_guard lock(mutex_);
    return postedCount_;
  }

  // Runs the tasks posted so far.
  void RunPending() {
    std::deque<std::function<void()>> due;
    {
      std::lock_guard lock(mutex_);
      due.swap(tasks_);
    }
    for (auto& task : due) task();
  }

  // Runs posted tasks until done() holds, then whatever was posted up to
  // then (a job may post its last call just before it ends). done may depend
  // on the jobs' threads, which do not notify here, hence the short wait
  // between looks.
  void RunUntil(const std::function<bool()>& done) {
    for (;;) {
      RunPending();
      if (done()) {
        RunPending();
        return;
      }
      std::unique_lock lock(mutex_);
      posted_.wait_for(lock, std::chrono::milliseconds(1), [&] { return !tasks_.empty(); });
    }
  }

  std::map<int, Message> messages;  // touched on the test's thread only

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
  int postedCount_ = 0;
};

}  // namespace tessaly::testing
