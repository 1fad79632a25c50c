// Stops, restarts, queued jobs and closing, on the real window (offscreen)
// running the real site jobs: the summary and the search read the demo site,
// the crawl reads a site scripted to hang where each case needs it. The
// transport limits are long, so only a stop can end a hanging fetch.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QMessageBox>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "demo-site/demo_site_server.h"
#include "fault_pages.h"
#include "qt_test_support.h"
#include "scripted_http_server.h"
#include "site/site_jobs.h"
#include "text/codepage.h"
#include "ui/main_window.h"

namespace tessaly {
namespace {

using testing::ProcessEventsUntil;

[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new testing::QtApplicationEnvironment);

const demo::CatalogueShape kShape{.pages = 3, .rowsPerPage = 10};
const std::string kSoundPage =
    testing::Utf8Page(testing::HeaderCell("最新资源") + testing::RowsOf({"a1", "a2"}));

bool ThreadExists(pid_t tid) {
  return access(("/proc/self/task/" + std::to_string(tid)).c_str(), F_OK) == 0;
}

// True while a connection to port is waiting for the server's SYN-ACK.
bool ConnectPendingTo(int port) {
  char remote[32];
  std::snprintf(remote, sizeof remote, "0100007F:%04X", static_cast<unsigned>(port));
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column titles
  while (std::getline(table, line)) {
    char local[64], peer[64], state[8];
    if (std::sscanf(line.c_str(), "%*s %63s %63s %7s", local, peer, state) == 3 &&
        std::string(peer) == remote && std::string(state) == "02") {
      return true;
    }
  }
  return false;
}

class WindowStops : public ::testing::Test {
 protected:
  void SetUp() override {
    TransportLimits limits;
    limits.connectTimeout = std::chrono::minutes(10);
    limits.noProgressTimeout = std::chrono::minutes(10);
    SetTransportLimits(limits);
  }
  void TearDown() override {
    crawlSite.ReleaseHangs();
    window.reset();
    SetTransportLimits(TransportLimits());
  }

  using CrawlWrapper = std::function<void(JobContext&, const JobRoutine&)>;

  // The window with the crawl bound to crawlUrl (run inside wrapper when
  // given); waits for the summary.
  void StartWindow(const std::string& crawlUrl, CrawlWrapper wrapper = {}) {
    JobRoutines routines = site::SiteJobRoutines(Text(demoSite.BaseUrl()));
    routines.crawlCatalogue = site::SiteJobRoutines(Text(crawlUrl)).crawlCatalogue;
    if (wrapper) {
      routines.crawlCatalogue = [wrapper, crawl = routines.crawlCatalogue](JobContext& job) {
        wrapper(job, crawl);
      };
    }
    window = std::make_unique<MainWindow>(std::move(routines));
    window->SetPrompts(std::make_unique<testing::RecordingPrompts>(prompts));
    window->show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return JobsEnded(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(window->StatusGetPanel(2), TxFromInt(kShape.pages));
  }

  QPushButton& Button(const char* name) {
    auto* button = window->findChild<QPushButton*>(QString::fromUtf8(name));
    EXPECT_NE(button, nullptr) << name;
    return *button;
  }
  bool JobsEnded() { return window->Workers().RunningJobCount() == 0; }
  void WaitForJobsToEnd() {
    ASSERT_TRUE(ProcessEventsUntil([&] { return JobsEnded(); }));
    QCoreApplication::processEvents();
  }
  std::vector<std::string> ListedCodes() {
    std::vector<std::string> codes;
    for (int row = 0; row < window->ListRowCount(); ++row) {
      codes.push_back(window->ListGetCell(row, 2).bytes());
    }
    return codes;
  }
  std::vector<std::string> SearchCodes() {
    std::vector<std::string> codes;
    for (const auto& row : demoSite.SiteCatalogue().Search("AV")) codes.push_back(row.giftCode);
    return codes;
  }
  // The window stays usable: a search of the demo site lists its results.
  void SearchStillWorks() {
    Button("按钮1").click();
    ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));
    window->OpenJobMessages().front()->button(QMessageBox::Ok)->click();
    WaitForJobsToEnd();
    EXPECT_EQ(ListedCodes(), SearchCodes());
    EXPECT_TRUE(Button("按钮1").isEnabled());
  }

  demo::DemoSiteServer demoSite{demo::Catalogue(kShape)};
  test::ScriptedHttpServer crawlSite;
  testing::PromptLog prompts;
  std::unique_ptr<MainWindow> window;
};

TEST_F(WindowStops, StopDuringConnect_endsTheCrawlAndTheWindowGoesOn) {
  const test::StalledConnectPort stalled;
  StartWindow(stalled.Url("/"));
  Button("按钮2").click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return ConnectPendingTo(stalled.Port()); }));

  Button("按钮3").click();
  WaitForJobsToEnd();
  EXPECT_TRUE(ListedCodes().empty());
  EXPECT_TRUE(Button("按钮1").isEnabled());
  EXPECT_TRUE(Button("按钮2").isEnabled());
  SearchStillWorks();
}

// The second crawl starts while the first may still be unwinding from its
// cut fetch: it waits for the lock, then lists the whole site on its own.
TEST_F(WindowStops, StopAndImmediateRestart_theNewCrawlListsEveryPageOnce) {
  crawlSite.AddConnection({test::ReadRequest(), test::Hang()});
  crawlSite.AddConnection({test::RespondToAll(kSoundPage)});
  StartWindow(crawlSite.Url("/"));
  Button("按钮2").click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return crawlSite.Requests().size() == 1; }));

  Button("按钮3").click();
  Button("按钮2").click();
  WaitForJobsToEnd();
  std::vector<std::string> expected;
  for (int page = 1; page <= kShape.pages; ++page) expected.insert(expected.end(), {"a1", "a2"});
  EXPECT_EQ(ListedCodes(), expected);
  EXPECT_EQ(crawlSite.Requests().size(), 1u + kShape.pages);
  EXPECT_EQ(window->StatusGetPanel(4), TxFromInt(kShape.pages));
  EXPECT_TRUE(Button("按钮2").isEnabled());
}

// A crawl holds the lock inside a hanging fetch; "搜索礼包" is clicked twice
// meanwhile. When the fetch fails the three run one after another: each
// search lists the results once and shows its message alone.
TEST_F(WindowStops, TwoSearchesQueuedBehindACrawl_runInTurn) {
  crawlSite.AddConnection({test::ReadRequest(), test::Hang()});
  crawlSite.AddConnection({test::RespondToAll(kSoundPage)});
  StartWindow(crawlSite.Url("/"));
  Button("按钮2").click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return crawlSite.Requests().size() == 1; }));
  Button("按钮1").click();
  Button("按钮1").click();
  EXPECT_EQ(window->Workers().RunningJobCount(), 3);

  crawlSite.ReleaseHangs();
  for (int search = 1; search <= 2; ++search) {
    SCOPED_TRACE(search);
    ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(ListedCodes(), SearchCodes());
    EXPECT_FALSE(Button("按钮1").isEnabled());
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return window->Workers().RunningJobCount() == 3 - search; }));
    EXPECT_EQ(window->OpenJobMessages().size(), 1u);
    window->OpenJobMessages().front()->button(QMessageBox::Ok)->click();
  }
  WaitForJobsToEnd();
  EXPECT_EQ(ListedCodes(), SearchCodes());
  EXPECT_EQ(crawlSite.Requests().size(), static_cast<std::size_t>(kShape.pages));
  EXPECT_TRUE(Button("按钮1").isEnabled());
  EXPECT_TRUE(Button("按钮2").isEnabled());
}

// Closing the window while the crawl waits in a fetch ends the crawl at once
// and joins its thread: no thread of a job outlives the window.
TEST_F(WindowStops, WindowClosedDuringAFetch_leavesNoThreadBehind) {
  crawlSite.AddConnection({test::Respond(kSoundPage), test::ReadRequest(), test::Hang()});
  std::atomic<pid_t> crawlThread{0};
  StartWindow(crawlSite.Url("/"), [&crawlThread](JobContext& job, const JobRoutine& crawl) {
    crawlThread = gettid();
    crawl(job);
  });
  Button("按钮2").click();
  // The first page's rows have reached the list (a close drops what is
  // still queued) and the crawl waits for the second page.
  const std::vector<std::string> firstPage{"a1", "a2"};
  ASSERT_TRUE(ProcessEventsUntil(
      [&] { return crawlSite.Requests().size() == 2 && ListedCodes() == firstPage; }));
  ASSERT_TRUE(ThreadExists(crawlThread));

  window->close();
  EXPECT_EQ(window->Workers().RunningJobCount(), 0);
  EXPECT_EQ(ListedCodes(), firstPage);
  // The join has returned; the kernel drops the thread's entry right after.
  EXPECT_TRUE(ProcessEventsUntil([&] { return !ThreadExists(crawlThread); }));
}

}  // namespace
}  // namespace tessaly
