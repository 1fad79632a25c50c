// The worker frame without Qt: the test's thread plays the window's thread
// and runs the drain tasks the jobs post to it.
#include "ui/worker_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/cancel_token.h"
#include "test_latch.h"
#include "ui/window_handlers.h"
#include "worker_test_window.h"

namespace tessaly {
namespace {

using testing::Latch;
using testing::LoggingWindow;
using testing::TestWindowThread;

class UiWorkerControl : public ::testing::Test {
 protected:
  void TearDown() override {
    for (Latch& latch : latches_) latch.Open();
    workers.StopAllAndJoin();
  }

  Latch& NewLatch() { return latches_.emplace_back(); }
  bool AllJobsEnded() const { return workers.RunningJobCount() == 0; }
  void RunUntilAllJobsEnded() {
    windowThread.RunUntil([&] { return AllJobsEnded(); });
  }

  LoggingWindow window;
  TestWindowThread windowThread;

 private:
  std::deque<Latch> latches_;

 protected:
  WorkerControl workers{windowThread, window};
};

TEST_F(UiWorkerControl, CallsReachTheWindowInTheJobsOrder_ReadsSeeEveryEarlierWrite) {
  int row = -2;
  Text panelRead;
  Text cellRead;
  workers.StartJob([&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    WindowOperations& w = job.Window();
    w.StatusSetPanel(0, Text("a"));
    row = w.ListInsertRow();
    w.ListSetCell(row, 0, Text("x"));
    w.ListSetHeader(0, Text("h"));
    panelRead = w.StatusGetPanel(0);
    cellRead = w.ListGetCell(row, 0);
  });
  RunUntilAllJobsEnded();
  EXPECT_EQ(row, 0);
  EXPECT_EQ(panelRead, Text("a"));
  EXPECT_EQ(cellRead, Text("x"));
  EXPECT_EQ(window.log, (std::vector<std::string>{"panel a", "insert", "cell x", "header h"}));
}

// A job numbers the rows it inserts itself instead of waiting for the
// window's answer; the numbers must still be the window's own: after rows
// that were there before, after a clear, and after another job added rows
// while this one did not hold BusyLock.
TEST_F(UiWorkerControl, RowNumbersAJobGivesItselfAreTheWindowsOwn) {
  Latch& aReleased = NewLatch();
  Latch& bDone = NewLatch();
  std::vector<int> aRows;
  int bRow = -2;
  window.rows.resize(2);
  workers.StartJob([&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    WindowOperations& w = job.Window();
    aRows.push_back(w.ListInsertRow());
    aRows.push_back(w.ListInsertRow());
    job.ReleaseBusyLock();
    aReleased.Open();
    bDone.Wait();
    if (!job.TakeBusyLock()) return;
    aRows.push_back(w.ListInsertRow());
    w.ListClear();
    aRows.push_back(w.ListInsertRow());
    aRows.push_back(w.ListInsertRow());
  });
  windowThread.RunUntil([&] { return aReleased.IsOpen(); });
  workers.StartJob([&](JobContext& job) {
    if (job.TakeBusyLock()) bRow = job.Window().ListInsertRow();
    job.ReleaseBusyLock();
    bDone.Open();
  });
  RunUntilAllJobsEnded();
  EXPECT_EQ(aRows, (std::vector<int>{2, 3, 5, 0, 1}));
  EXPECT_EQ(bRow, 4);
  EXPECT_EQ(window.rows.size(), 2u);
}

TEST_F(UiWorkerControl, WritesQueuedWhileTheWindowIsBusy_TravelAsOneBatch) {
  Latch& written = NewLatch();
  Text lastRead;
  workers.StartJob([&](JobContext& job) {
    for (int i = 0; i < 1000; ++i) job.Window().StatusSetPanel(0, TxFromInt(i));
    written.Open();
    lastRead = job.Window().StatusGetPanel(0);
  });
  written.Wait();
  EXPECT_EQ(windowThread.PostedCount(), 1);
  RunUntilAllJobsEnded();
  EXPECT_EQ(lastRead, Text("999"));
  EXPECT_EQ(window.log.size(), 1000u);
}

// The queue holds a bounded amount of text: a job writing long texts faster
// than the window applies them waits, and then every text arrives whole.
TEST_F(UiWorkerControl, AJobWritingLongTextsWaitsForTheWindow_AndEveryTextArrives) {
  const Text mebibyte(std::string(1 << 20, 'x'));
  std::atomic<int> written{0};
  workers.StartJob([&](JobContext& job) {
    for (int i = 0; i < 8; ++i) {
      job.Window().StatusSetPanel(i, mebibyte);
      ++written;
    }
  });
  while (written.load() < 4) std::this_thread::yield();
  // Four mebibytes fill the queue; nothing more gets in until the window
  // has drained it.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(written.load(), 4);
  RunUntilAllJobsEnded();
  EXPECT_EQ(written.load(), 8);
  ASSERT_EQ(window.log.size(), 8u);
  for (const std::string& entry : window.log) EXPECT_EQ(entry, "panel " + mebibyte.bytes());
}

TEST_F(UiWorkerControl, AStopDropsWhatTheJobHadQueued_AndEverythingItDoesAfterwards) {
  Latch& queued = NewLatch();
  Latch& proceed = NewLatch();
  bool yieldGoesOn = true;
  int rowAfterStop = 0;
  Text panelAfterStop("unset");
  workers.StartJob([&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    job.Window().StatusSetPanel(0, Text("queued"));
    queued.Open();
    proceed.Wait();
    yieldGoesOn = job.YieldToUi();
    job.Window().StatusSetPanel(0, Text("after"));
    rowAfterStop = job.Window().ListInsertRow();
    panelAfterStop = job.Window().StatusGetPanel(1);
  });
  queued.Wait();
  workers.StopLastJob();
  windowThread.RunPending();
  proceed.Open();
  RunUntilAllJobsEnded();
  EXPECT_EQ(window.panels[0], Text());
  EXPECT_TRUE(window.log.empty());
  EXPECT_FALSE(yieldGoesOn);
  EXPECT_EQ(rowAfterStop, -1);
  EXPECT_EQ(panelAfterStop, Text());
}

struct WaitingCallCase {
  const char* name;
  std::function<void(WindowOperations&)> call;
};

class UiWorkerControlWaitingCall : public UiWorkerControl,
                                   public ::testing::WithParamInterface<WaitingCallCase> {};

// The window's thread never runs the job's call here: only the stop can end
// the job's wait.
TEST_P(UiWorkerControlWaitingCall, EndsAtOnceWhenTheJobIsStopped) {
  Latch& aboutToCall = NewLatch();
  Latch& returned = NewLatch();
  workers.StartJob([&](JobContext& job) {
    aboutToCall.Open();
    GetParam().call(job.Window());
    returned.Open();
  });
  aboutToCall.Wait();
  workers.StopLastJob();
  returned.Wait();
  EXPECT_TRUE(window.log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Calls, UiWorkerControlWaitingCall,
    ::testing::Values(
        WaitingCallCase{"StatusGetPanel",
                        [](WindowOperations& w) { EXPECT_EQ(w.StatusGetPanel(1), Text()); }},
        WaitingCallCase{"ListGetCell",
                        [](WindowOperations& w) { EXPECT_EQ(w.ListGetCell(0, 0), Text()); }},
        WaitingCallCase{"EditGetText",
                        [](WindowOperations& w) { EXPECT_EQ(w.EditGetText(), Text()); }},
        WaitingCallCase{"ListInsertRow",
                        [](WindowOperations& w) { EXPECT_EQ(w.ListInsertRow(), -1); }},
        WaitingCallCase{"ListRowCount",
                        [](WindowOperations& w) { EXPECT_EQ(w.ListRowCount(), 0); }},
        WaitingCallCase{"ListSelectedRow",
                        [](WindowOperations& w) { EXPECT_EQ(w.ListSelectedRow(), -1); }},
        WaitingCallCase{"ShowMessage",
                        [](WindowOperations& w) { w.ShowMessage(Text("m"), Text("t")); }}),
    [](const ::testing::TestParamInfo<WaitingCallCase>& row) { return row.param.name; });

TEST_F(UiWorkerControl, AJobWaitingForBusyLockGivesUpWhenStopped_TheHolderGoesOn) {
  Latch& aHolds = NewLatch();
  Latch& aMayEnd = NewLatch();
  Latch& bReturned = NewLatch();
  bool bTookLock = true;
  workers.StartJob([&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    aHolds.Open();
    aMayEnd.Wait();
    job.Window().StatusSetPanel(0, Text("A ended"));
  });
  aHolds.Wait();
  workers.StartJob([&](JobContext& job) {
    bTookLock = job.TakeBusyLock();
    if (bTookLock) job.Window().StatusSetPanel(0, Text("B worked"));
    bReturned.Open();
  });
  workers.StopLastJob();
  bReturned.Wait();  // while A still holds the lock
  EXPECT_FALSE(bTookLock);
  aMayEnd.Open();
  RunUntilAllJobsEnded();
  EXPECT_EQ(window.panels[0], Text("A ended"));
}

TEST_F(UiWorkerControl, AJobStartedDuringAnotherWaits_ThenWorksAfterIt) {
  Latch& aHolds = NewLatch();
  Latch& aMayEnd = NewLatch();
  std::atomic<bool> aEnded{false};
  bool bSawAEnded = false;
  workers.StartJob([&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    aHolds.Open();
    aMayEnd.Wait();
    aEnded.store(true);
  });
  aHolds.Wait();
  workers.StartJob([&](JobContext& job) {
    if (job.TakeBusyLock()) bSawAEnded = aEnded.load();
  });
  aMayEnd.Open();
  RunUntilAllJobsEnded();
  EXPECT_TRUE(bSawAEnded);
}

TEST_F(UiWorkerControl, AJobsMessageHoldsTheJobUntilTheUserClosesIt) {
  workers.StartJob([&](JobContext& job) {
    job.Window().ShowMessage(Text("done"), Text("title"));
    job.Window().StatusSetPanel(0, Text("after"));
  });
  windowThread.RunUntil([&] { return windowThread.messages.size() == 1; });
  const TestWindowThread::Message& message = windowThread.messages.at(0);
  EXPECT_EQ(message.text, Text("done"));
  EXPECT_EQ(message.title, Text("title"));
  EXPECT_EQ(workers.RunningJobCount(), 1);
  windowThread.CloseByUser(0);
  RunUntilAllJobsEnded();
  EXPECT_EQ(window.panels[0], Text("after"));
}

TEST_F(UiWorkerControl, AStopClosesTheJobsMessage_AndNothingAfterItArrives) {
  workers.StartJob([&](JobContext& job) {
    job.Window().ShowMessage(Text("done"), Text("title"));
    job.Window().StatusSetPanel(0, Text("after"));
  });
  windowThread.RunUntil([&] { return windowThread.messages.size() == 1; });
  workers.StopLastJob();
  EXPECT_FALSE(windowThread.messages.at(0).open);
  RunUntilAllJobsEnded();
  EXPECT_EQ(window.panels[0], Text());
}

TEST_F(UiWorkerControl, AStopCancelsTheTokenBoundToTheJobsThread) {
  Latch& waiting = NewLatch();
  Latch& cancelled = NewLatch();
  bool bound = false;
  workers.StartJob([&](JobContext&) {
    CancelToken* token = CurrentCancelToken();
    bound = token != nullptr;
    if (bound) token->SetWaker([&] { cancelled.Open(); });
    waiting.Open();
    if (!bound) return;
    cancelled.Wait();
    token->ClearWaker();
  });
  waiting.Wait();
  workers.StopLastJob();
  RunUntilAllJobsEnded();
  EXPECT_TRUE(bound);
}

TEST_F(UiWorkerControl, StopLastJobReachesOnlyTheJobStartedLast) {
  workers.StartJob([&](JobContext& job) { job.Window().ShowMessage(Text("first"), Text("t")); });
  windowThread.RunUntil([&] { return windowThread.messages.size() == 1; });
  workers.StartJob([](JobContext&) {});
  windowThread.RunUntil([&] { return workers.RunningJobCount() == 1; });
  workers.StopLastJob();  // the second has ended: nothing happens
  EXPECT_TRUE(windowThread.messages.at(0).open);
  windowThread.CloseByUser(0);
  RunUntilAllJobsEnded();
}

// Nothing serves the window's side while StopAllAndJoin waits: each job must
// be freed by the stop alone.
TEST_F(UiWorkerControl, StopAllAndJoinEndsJobsWhereverTheyWait) {
  struct Blocker {
    const char* where;
    std::function<void(JobContext&)> wait;
  };
  const std::vector<Blocker> blockers = {
      {"a read, holding BusyLock",
       [](JobContext& job) {
         job.TakeBusyLock();
         job.Window().StatusGetPanel(0);
       }},
      {"the wait for BusyLock", [](JobContext& job) { job.TakeBusyLock(); }},
      {"its message", [](JobContext& job) { job.Window().ShowMessage(Text("m"), Text("t")); }},
      {"a page fetch",
       [](JobContext& job) {
         Latch cancelled;
         CancelToken* token = CurrentCancelToken();
         if (token == nullptr) return;
         token->SetWaker([&] { cancelled.Open(); });
         if (!job.StopRequested()) cancelled.Wait();
         token->ClearWaker();
       }},
  };
  std::vector<std::unique_ptr<std::atomic<bool>>> returned;
  for (const Blocker& blocker : blockers) {
    Latch& reached = NewLatch();
    std::atomic<bool>& done = *returned.emplace_back(std::make_unique<std::atomic<bool>>(false));
    workers.StartJob([&reached, &done, wait = blocker.wait](JobContext& job) {
      reached.Open();
      wait(job);
      done.store(true);
    });
    reached.Wait();
  }
  workers.StopAllAndJoin();
  for (std::size_t i = 0; i < blockers.size(); ++i) {
    EXPECT_TRUE(returned[i]->load()) << blockers[i].where;
  }
  EXPECT_TRUE(AllJobsEnded());

  bool ranAfterClose = false;
  workers.StartJob([&](JobContext&) { ranAfterClose = true; });
  workers.StopAllAndJoin();
  EXPECT_FALSE(ranAfterClose);
}

struct HandlerCase {
  const char* name;
  void (*handler)(WorkerControl&, WindowOperations&);
  int selectedRow;
  bool buttonsEnabledAfter;
  int popupsAfter;
};

class UiWorkerControlHandler : public UiWorkerControl,
                               public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(UiWorkerControlHandler, EndsTheRunningJob_ThenSetsButtonsOrOpensThePopup) {
  const HandlerCase& c = GetParam();
  window.selectedRow = c.selectedRow;
  workers.StartJob([](JobContext& job) { job.Window().ShowMessage(Text("m"), Text("t")); });
  windowThread.RunUntil([&] { return windowThread.messages.size() == 1; });
  c.handler(workers, window);
  EXPECT_FALSE(windowThread.messages.at(0).open);
  EXPECT_EQ(window.searchEnabled, c.buttonsEnabledAfter);
  EXPECT_EQ(window.crawlEnabled, c.buttonsEnabledAfter);
  EXPECT_EQ(window.popupsShown, c.popupsAfter);
  RunUntilAllJobsEnded();
}

TEST_P(UiWorkerControlHandler, WithNoJobRunning_OnlySetsButtonsOrOpensThePopup) {
  const HandlerCase& c = GetParam();
  window.selectedRow = c.selectedRow;
  c.handler(workers, window);
  EXPECT_EQ(window.searchEnabled, c.buttonsEnabledAfter);
  EXPECT_EQ(window.crawlEnabled, c.buttonsEnabledAfter);
  EXPECT_EQ(window.popupsShown, c.popupsAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, UiWorkerControlHandler,
    ::testing::Values(HandlerCase{"StopClicked", &OnStopClicked, -1, true, 0},
                      HandlerCase{"StopClickedWithSelection", &OnStopClicked, 0, true, 0},
                      HandlerCase{"RightClickOnRow", &OnListRightClick, 1, false, 1},
                      HandlerCase{"RightClickWithoutRow", &OnListRightClick, -1, false, 0}),
    [](const ::testing::TestParamInfo<HandlerCase>& row) { return row.param.name; });

TEST_F(UiWorkerControl, TheStartHandlersRunTheirOwnRoutine) {
  std::vector<std::string> ran;
  std::mutex ranMutex;
  auto recorder = [&](std::string name) {
    return [&, name](JobContext&) {
      std::lock_guard lock(ranMutex);
      ran.push_back(name);
    };
  };
  const JobRoutines routines{recorder("summary"), recorder("crawl"), recorder("search")};
  OnWindowCreated(workers, routines);
  RunUntilAllJobsEnded();
  OnCrawlClicked(workers, routines);
  RunUntilAllJobsEnded();
  OnSearchClicked(workers, routines);
  RunUntilAllJobsEnded();
  EXPECT_EQ(ran, (std::vector<std::string>{"summary", "crawl", "search"}));
}

}  // namespace
}  // namespace tessaly
