// The whole program as a user meets it: the real window, offscreen, running
// the real site jobs against the demo site (or a scripted server where a
// page must hang) on loopback.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "demo-site/catalogue.h"
#include "demo-site/demo_site_server.h"
#include "demo-site/site_pages.h"
#include "qt_test_support.h"
#include "scripted_http_server.h"
#include "site/site_jobs.h"
#include "text/codepage.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace tessaly {
namespace {

// Runs the window's event loop until done() holds. A short timer keeps the
// loop waking for conditions that change without an event (a job's thread
// ending); the limit only keeps a broken build from hanging.
bool ProcessEventsUntil(const std::function<bool()>& done) {
  QTimer tick;
  tick.start(2);
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done()) {
    if (elapsed.elapsed() > 60000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new testing::QtApplicationEnvironment);

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const demo::CatalogueShape kShape{.pages = 12, .rowsPerPage = 30};

class SiteEndToEnd : public ::testing::Test {
 protected:
  void StartWindow(const std::string& baseUrl) {
    ASSERT_TRUE(exportDir.isValid());
    window = std::make_unique<MainWindow>(site::SiteJobRoutines(Text(baseUrl)));
    window->SetPrompts(std::make_unique<testing::RecordingPrompts>(prompts));
    window->SetExportDirectory(exportDir.path());
    window->show();
  }

  QPushButton& Button(const char* name) {
    auto* button = window->findChild<QPushButton*>(Utf8(name));
    EXPECT_NE(button, nullptr) << name;
    return *button;
  }
  QLineEdit& Edit() { return *window->findChild<QLineEdit*>(Utf8("编辑框1")); }

  bool JobsEnded() { return window->Workers().RunningJobCount() == 0; }
  // The jobs have ended and what they sent has reached the window.
  void WaitForJobsToEnd() {
    ASSERT_TRUE(ProcessEventsUntil([&] { return JobsEnded(); }));
    QCoreApplication::processEvents();
  }
  void WaitForStartUp() {
    ASSERT_TRUE(ProcessEventsUntil([&] { return Button("按钮1").isEnabled(); }));
    WaitForJobsToEnd();
  }

  // Waits for the one job message box, checks it and closes it with OK.
  void CloseJobMessage(std::string_view text, std::string_view title) {
    ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));
    QMessageBox* box = window->OpenJobMessages().front();
    EXPECT_EQ(box->text(), Utf8(text));
    EXPECT_EQ(box->windowTitle(), Utf8(title));
    box->button(QMessageBox::Ok)->click();
  }

  std::vector<std::array<Text, 4>> ListRows() {
    std::vector<std::array<Text, 4>> rows(window->ListRowCount());
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
      for (int c = 0; c < 4; ++c) rows[r][c] = window->ListGetCell(r, c);
    }
    return rows;
  }

  static std::vector<std::array<Text, 4>> Expected(const std::vector<demo::CatalogueRow>& rows) {
    std::vector<std::array<Text, 4>> expected;
    for (const auto& row : rows) {
      expected.push_back({Gbk(row.name), Gbk(row.size), Gbk(row.giftCode), Gbk(row.date)});
    }
    return expected;
  }

  QByteArray ReadExport(std::string_view fileName) {
    QFile file(exportDir.filePath(Utf8(fileName)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }

  QTemporaryDir exportDir;
  testing::PromptLog prompts;
  std::unique_ptr<MainWindow> window;
};

class DemoSiteEndToEnd : public SiteEndToEnd {
 protected:
  DemoSiteEndToEnd() : site(demo::Catalogue(kShape)) {}
  void SetUp() override { StartWindow(site.BaseUrl()); }
  void TearDown() override { window.reset(); }
  const demo::Catalogue& Catalogue() { return site.SiteCatalogue(); }

  demo::DemoSiteServer site;
};

TEST_F(DemoSiteEndToEnd, startUpShowsTheTotalsAndPageCountThenEnablesBothButtons) {
  WaitForStartUp();
  const std::string total = std::to_string(Catalogue().Rows().size());
  EXPECT_EQ(window->StatusGetPanel(0), Gbk("共有" + total + "个资源，" + total + "个礼包码"));
  EXPECT_EQ(window->StatusGetPanel(2), Text("12"));
  EXPECT_TRUE(Button("按钮2").isEnabled());
}

TEST_F(DemoSiteEndToEnd, crawlListsTheWholeCatalogueAndExportsIt) {
  WaitForStartUp();
  Button("按钮2").click();
  WaitForJobsToEnd();

  EXPECT_EQ(ListRows(), Expected(Catalogue().Rows()));
  EXPECT_EQ(window->StatusGetPanel(4), Text("12"));
  EXPECT_TRUE(Button("按钮2").isEnabled());

  // The exports equal, byte for byte, what the site generated.
  std::string codes;
  std::string names;
  for (const auto& row : Catalogue().Rows()) {
    codes += Gbk(row.giftCode).bytes() + "\r\n";
    names += Gbk(row.name).bytes() + "----" + Gbk(row.giftCode).bytes() + "\r\n";
  }
  window->ExportCodes();
  window->ExportNamesAndCodes();
  EXPECT_EQ(ReadExport("Vela资源-礼包码.txt").toStdString(), codes);
  EXPECT_EQ(ReadExport("Vela资源名称-礼包码.txt").toStdString(), names);
}

TEST_F(DemoSiteEndToEnd, multiPageSearchListsEveryResultAndEndsWithItsMessage) {
  WaitForStartUp();
  Button("按钮1").click();
  CloseJobMessage("搜索完成！", "提示！");
  WaitForJobsToEnd();

  const auto results = Catalogue().Search("AV");
  EXPECT_EQ(ListRows(), Expected(results));
  EXPECT_EQ(window->StatusGetPanel(4), TxFromInt(demo::KeywordPageCount(results.size())));
  EXPECT_EQ(window->ListModel().headerData(0, Qt::Horizontal).toString(),
            Utf8(std::string("AV") + std::string(demo::kKeywordHeaderSuffix)));
  EXPECT_TRUE(Button("按钮1").isEnabled());
}

TEST_F(DemoSiteEndToEnd, searchThatFindsNothingWarnsAndTheCrawlStillWalksTheSite) {
  WaitForStartUp();
  Edit().setText(Utf8("无此资源"));
  Button("按钮1").click();
  CloseJobMessage("没有找到资源。请尝试搜索更短的词语，电影 电视剧 高清 等词语", "警告！");
  WaitForJobsToEnd();

  EXPECT_EQ(window->ListRowCount(), 0);
  EXPECT_EQ(window->ListModel().headerData(0, Qt::Horizontal).toString(),
            Utf8("无此资源没有找到资源！"));
  EXPECT_EQ(window->StatusGetPanel(2), Text("12"));
  EXPECT_EQ(window->StatusGetPanel(4), Text("0"));

  Button("按钮2").click();
  WaitForJobsToEnd();
  EXPECT_EQ(window->ListRowCount(), static_cast<int>(Catalogue().Rows().size()));
}

// A site whose second catalogue page never arrives until the test lets it:
// the summary, then page 1, then a hang, each job on a connection of its own.
class HangingSiteEndToEnd : public SiteEndToEnd {
 protected:
  void SetUp() override {
    const demo::Catalogue twoPages({.pages = 2, .rowsPerPage = 3});
    const auto page = [](const std::string& body) {
      return test::HttpResponse("HTTP/1.1 200 OK", "Content-Type: text/html\r\n", body);
    };
    const auto utf8Page = [](const std::string& body) {
      return test::HttpResponse("HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n",
                                body);
    };
    firstPageRows = Expected({twoPages.PageRows(1).begin(), twoPages.PageRows(1).end()});
    server.AddConnection({test::Respond(page(demo::RenderFrontPage(twoPages)))});
    server.AddConnection(
        {test::Respond(utf8Page(demo::RenderCataloguePage(twoPages, 1))), test::ReadRequest(),
         test::Hang()});
    server.AddConnection({test::Respond(utf8Page(demo::RenderKeywordPage(twoPages, "AV", 1)))});
    searchRows = Expected(twoPages.Search("AV"));
    StartWindow(server.Url("/"));
    WaitForStartUp();
  }
  void TearDown() override {
    server.ReleaseHangs();
    window.reset();
  }

  void StartCrawlUntilItHangs() {
    Button("按钮2").click();
    // Front page, page 1, page 2 (which hangs).
    ASSERT_TRUE(ProcessEventsUntil([&] { return server.Requests().size() == 3; }));
    // Page 1's calls were all made before page 2 was asked for; let them arrive.
    ASSERT_TRUE(ProcessEventsUntil([&] { return !window->ListGetCell(2, 3).empty(); }));
  }

  test::ScriptedHttpServer server;
  std::vector<std::array<Text, 4>> firstPageRows;
  std::vector<std::array<Text, 4>> searchRows;
};

TEST_F(HangingSiteEndToEnd, stopDuringACrawlKeepsTheRowsReadSoFar) {
  StartCrawlUntilItHangs();
  EXPECT_FALSE(Button("按钮2").isEnabled());

  Button("按钮3").click();
  WaitForJobsToEnd();  // the hanging fetch was cut short
  EXPECT_EQ(ListRows(), firstPageRows);
  EXPECT_TRUE(Button("按钮1").isEnabled());
  EXPECT_TRUE(Button("按钮2").isEnabled());
}

TEST_F(HangingSiteEndToEnd, searchClickedDuringACrawlWaitsThenReplacesTheList) {
  StartCrawlUntilItHangs();
  Button("按钮1").click();
  QCoreApplication::processEvents();
  // The search waits for the crawl: it has not disabled its button.
  EXPECT_TRUE(Button("按钮1").isEnabled());
  EXPECT_EQ(window->Workers().RunningJobCount(), 2);

  server.ReleaseHangs();  // page 2 fails, the crawl ends, the search runs
  CloseJobMessage("搜索完成！", "提示！");
  WaitForJobsToEnd();
  EXPECT_EQ(ListRows(), searchRows);
  EXPECT_TRUE(Button("按钮1").isEnabled());
  EXPECT_TRUE(Button("按钮2").isEnabled());
}

}  // namespace
}  // namespace tessaly
