// What the window tests share: one QApplication for the whole test program,
// prompts that record instead of blocking, and a way to let the event loop
// run until something has happened.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "ui/window_prompts.h"

namespace tessaly::testing {

class QtApplicationEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "tessaly-ui-test";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<QApplication> application_;
};

struct ShownMessage {
  QString text;
  QString title;
};

// What the window asked of the user; tests pick the popup entry to choose.
struct PromptLog {
  std::vector<ShownMessage> messages;
  std::vector<QPoint> popupsAt;
  QString entryToChoose;  // empty: the menu is dismissed
};

class RecordingPrompts final : public WindowPrompts {
 public:
  explicit RecordingPrompts(PromptLog& log) : log_(log) {}
  void ShowModalMessage(const QString& text, const QString& title) override {
    log_.messages.push_back({text, title});
  }
  QAction* RunPopupMenu(QMenu& menu, const QPoint& topLeft) override {
    log_.popupsAt.push_back(topLeft);
    for (QAction* action : menu.actions()) {
      if (!log_.entryToChoose.isEmpty() && action->text() == log_.entryToChoose) return action;
    }
    return nullptr;
  }

 private:
  PromptLog& log_;
};

// Lets the window's event loop run until done() holds. The limit only keeps
// a broken build from hanging; it is not a timing requirement.
inline bool ProcessEventsUntil(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, 60000);
}

}  // namespace tessaly::testing
