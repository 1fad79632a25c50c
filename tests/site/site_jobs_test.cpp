// The three site jobs, run call by call against a recording window: against
// the demo site for the ordinary paths, against a scripted server for pages
// the demo site never serves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo-site/catalogue.h"
#include "demo-site/demo_site_server.h"
#include "demo-site/site_pages.h"
#include "recording_job.h"
#include "scripted_http_server.h"
#include "site/site_jobs.h"
#include "text/codepage.h"

namespace tessaly::site {
namespace {

using testing::RecordedMessage;
using testing::RecordingJob;
using testing::RecordingWindow;

Text G(std::string_view utf8) { return Gbk(utf8); }

RecordingWindow::Row ExpectedRow(const demo::CatalogueRow& row) {
  return {G(row.name), G(row.size), G(row.giftCode), G(row.date)};
}

std::vector<RecordingWindow::Row> ExpectedRows(const std::vector<demo::CatalogueRow>& rows) {
  std::vector<RecordingWindow::Row> expected;
  for (const auto& row : rows) expected.push_back(ExpectedRow(row));
  return expected;
}

// 12 catalogue pages of 30 rows: the default word "AV" then has several
// keyword pages.
const demo::CatalogueShape kShape{.pages = 12, .rowsPerPage = 30};

class DemoSiteJobs : public ::testing::Test {
 protected:
  DemoSiteJobs() : server_(demo::Catalogue(kShape), {.port = 0, .recordTargets = true}) {}

  Text BaseUrl() const { return Text(server_.BaseUrl()); }
  const demo::Catalogue& Catalogue() const { return server_.SiteCatalogue(); }
  std::vector<std::string> Targets() const { return server_.RequestedTargets(); }

  demo::DemoSiteServer server_;
};

TEST_F(DemoSiteJobs, summaryShowsTotalsAndPageCountThenEnablesBoth) {
  RecordingWindow window;
  RecordingJob job(window);
  LoadSiteSummary(job, BaseUrl());

  const std::string total = std::to_string(Catalogue().Rows().size());
  EXPECT_EQ(window.panels[0], G("共有" + total + "个资源，" + total + "个礼包码"));
  EXPECT_EQ(window.panels[2], TxFromInt(kShape.pages));
  EXPECT_TRUE(window.searchEnabled);
  EXPECT_TRUE(window.crawlEnabled);
  EXPECT_TRUE(job.released);
  EXPECT_TRUE(window.rows.empty());
}

TEST_F(DemoSiteJobs, crawlListsEveryRowOfPagesOneToPanelTwoInPageOrder) {
  RecordingWindow window;
  window.panels[2] = "3";
  window.rows.resize(2);  // what an earlier job left
  RecordingJob job(window);
  CrawlCatalogue(job, BaseUrl());

  std::vector<demo::CatalogueRow> expected;
  for (int page = 1; page <= 3; ++page) {
    for (const auto& row : Catalogue().PageRows(page)) expected.push_back(row);
  }
  EXPECT_EQ(window.rows, ExpectedRows(expected));
  EXPECT_EQ(window.panels[4], Text("3"));
  EXPECT_EQ(window.headers[0], G("最新资源"));
  EXPECT_EQ(Targets(), (std::vector<std::string>{"/index.php?page=1", "/index.php?page=2",
                                                 "/index.php?page=3"}));
  EXPECT_TRUE(window.crawlEnabled);
  EXPECT_TRUE(job.released);
}

TEST_F(DemoSiteJobs, crawlWithoutPageCountClearsTheListAndFetchesNothing) {
  for (const char* panel2 : {"", "0", "abc"}) {
    SCOPED_TRACE(panel2);
    RecordingWindow window;
    window.panels[2] = panel2;
    window.rows.resize(3);
    RecordingJob job(window);
    CrawlCatalogue(job, BaseUrl());
    EXPECT_TRUE(window.rows.empty());
    EXPECT_EQ(window.panels[4], Text("0"));
    EXPECT_TRUE(window.crawlEnabled);
  }
  EXPECT_TRUE(Targets().empty());
}

TEST_F(DemoSiteJobs, multiPageSearchListsEveryResultPageWithoutHighlight) {
  const auto results = Catalogue().Search("AV");
  const int pages = demo::KeywordPageCount(results.size());
  ASSERT_GT(pages, 1);

  RecordingWindow window;
  window.panels[2] = "12";
  RecordingJob job(window);
  SearchKeyword(job, BaseUrl());

  EXPECT_EQ(window.rows, ExpectedRows(results));
  EXPECT_EQ(window.panels[4], TxFromInt(pages));
  EXPECT_EQ(window.panels[2], Text("12"));
  EXPECT_EQ(window.headers[0], G(std::string("AV") + std::string(demo::kKeywordHeaderSuffix)));
  EXPECT_EQ(window.messages, (std::vector<RecordedMessage>{{G("搜索完成！"), G("提示！")}}));
  EXPECT_TRUE(window.searchEnabled);
  EXPECT_TRUE(job.released);

  // The first page is asked for without a page number, then every result
  // page with one; the word goes out with every UTF-8 byte encoded.
  std::vector<std::string> expected{"/index.php?keyword=%41%56"};
  for (int k = 1; k <= pages; ++k) expected.push_back("/index.php?keyword=%41%56&page=" + std::to_string(k));
  EXPECT_EQ(Targets(), expected);
}

TEST_F(DemoSiteJobs, singlePageSearchReadsTheFirstPageOnly) {
  // The first catalogue row's name as a word: exactly one result page.
  const std::string word = Catalogue().Rows().front().name;
  const auto results = Catalogue().Search(word);
  ASSERT_LE(results.size(), std::size_t{demo::kResultsPerKeywordPage});

  RecordingWindow window;
  window.editText = G(word);
  RecordingJob job(window);
  SearchKeyword(job, BaseUrl());

  EXPECT_EQ(window.rows, ExpectedRows(results));
  EXPECT_EQ(window.panels[4], Text("1"));
  EXPECT_EQ(Targets().size(), 1u);
  EXPECT_EQ(window.messages.size(), 1u);
}

TEST_F(DemoSiteJobs, searchThatFindsNothingWarnsAndKeepsTheSitePageCount) {
  RecordingWindow window;
  window.editText = G("无此资源zz");
  window.panels[2] = "12";
  window.panels[4] = "7";
  window.rows.resize(1);
  RecordingJob job(window);
  SearchKeyword(job, BaseUrl());

  EXPECT_TRUE(window.rows.empty());
  EXPECT_EQ(window.headers[0], G("无此资源zz没有找到资源！"));
  // The site's page count stays for the next crawl; the search's own count is 0.
  EXPECT_EQ(window.panels[2], Text("12"));
  EXPECT_EQ(window.panels[4], Text("0"));
  EXPECT_EQ(window.messages,
            (std::vector<RecordedMessage>{
                {G("没有找到资源。请尝试搜索更短的词语，电影 电视剧 高清 等词语"), G("警告！")}}));
  EXPECT_TRUE(window.searchEnabled);

  // A crawl after it still walks the site's pages.
  window.panels[2] = "1";
  RecordingJob crawl(window);
  CrawlCatalogue(crawl, BaseUrl());
  EXPECT_EQ(window.rows.size(), Catalogue().PageRows(1).size());
}

TEST_F(DemoSiteJobs, searchReadsTheWordOnceForEveryPageAndTheTitle) {
  class ChangingWord : public RecordingWindow {
   public:
    Text EditGetText() override {
      ++reads;
      return reads == 1 ? Text("AV") : Text("zz");
    }
    int reads = 0;
  } window;
  RecordingJob job(window);
  SearchKeyword(job, BaseUrl());
  EXPECT_EQ(window.reads, 1);
  EXPECT_EQ(window.rows, ExpectedRows(Catalogue().Search("AV")));
}

// A stop at each yield point in turn: the job ends there, keeps what it
// wrote, re-enables nothing and shows nothing.
TEST_F(DemoSiteJobs, stopAtEveryYieldPointEndsTheJobThere) {
  struct Case {
    const char* name;
    void (*run)(JobContext&, const Text&);
    bool RecordingWindow::*button;
  };
  const Case cases[] = {
      {"summary", &LoadSiteSummary, &RecordingWindow::crawlEnabled},
      {"crawl", &CrawlCatalogue, &RecordingWindow::crawlEnabled},
      {"search", &SearchKeyword, &RecordingWindow::searchEnabled},
  };
  for (const Case& c : cases) {
    RecordingWindow full;
    full.panels[2] = "2";
    RecordingJob fullJob(full);
    c.run(fullJob, BaseUrl());
    ASSERT_GT(fullJob.yields, 0) << c.name;

    for (int stopAt = 1; stopAt <= fullJob.yields; ++stopAt) {
      SCOPED_TRACE(std::string(c.name) + " stopped at yield " + std::to_string(stopAt));
      RecordingWindow window;
      window.panels[2] = "2";
      RecordingJob job(window, stopAt);
      c.run(job, BaseUrl());
      EXPECT_EQ(job.yields, stopAt);
      EXPECT_FALSE(window.*c.button);
      EXPECT_TRUE(window.messages.empty());
      // Rows written before the stop stay, in the order of the full run.
      ASSERT_LE(window.rows.size(), full.rows.size());
      EXPECT_TRUE(std::equal(window.rows.begin(), window.rows.end(), full.rows.begin()));
    }
  }
}

TEST(SiteJobs, stoppedBeforeTheLockDoesNoWork) {
  RecordingWindow window;
  RecordingJob job(window, /*stopAtYield=*/1);
  job.YieldToUi();  // the stop arrives while the job waits for the lock
  ASSERT_TRUE(job.StopRequested());
  for (auto run : {&LoadSiteSummary, &CrawlCatalogue, &SearchKeyword}) {
    run(job, Text("http://127.0.0.1:1/"));
  }
  EXPECT_FALSE(window.searchEnabled);
  EXPECT_FALSE(window.crawlEnabled);
  EXPECT_TRUE(window.messages.empty());
}

// ---- pages the demo site never serves, from a scripted server ----

std::string Page(std::string_view utf8Body) {
  return test::HttpResponse("HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n",
                            utf8Body);
}

std::string HeaderCell(std::string_view title) {
  return "<th style=\"text-align:left;width:365px;\">" + std::string(title) + "</th>\r\n";
}

std::string RowLines(std::string_view name, std::string_view code) {
  return demo::RenderRowLines({.pageName = "code/1", .name = std::string(name), .size = "1 GB",
                               .giftCode = std::string(code), .date = "2026-12-01"},
                              name);
}

std::string PagerBlock(int lastPage) {
  return "<a href=\"?page=1\">1</a> <a href=\"?page=" + std::to_string(lastPage) + "\">" +
         std::to_string(lastPage) + "</a>\r\n" + std::string(52, ' ') +
         "<a href=\"?page=2\">下一页</a>" + std::string(12, ' ') + "</div>\r\n";
}

TEST(ScriptedSiteJobs, summaryOfAFrontPageTheFetchAlreadyConverted) {
  const std::string totals =
      "<div class=\"total\"><strong>共有<span class=\"STYLE2\">9</span>个资源，"
      "<span class=\"STYLE2\">8</span>个礼包码</strong></div>\r\n";
  test::ScriptedHttpServer server;
  server.AddConnection({test::Respond(Page(totals + PagerBlock(4)))});
  RecordingWindow window;
  RecordingJob job(window);
  LoadSiteSummary(job, Text(server.Url("/")));
  EXPECT_EQ(window.panels[0], G("共有9个资源，8个礼包码"));
  EXPECT_EQ(window.panels[2], Text("4"));
}

TEST(ScriptedSiteJobs, summaryOfAFailedFrontPageStillEnablesBoth) {
  test::ClosedPort port;
  RecordingWindow window;
  window.panels[0] = "old";
  RecordingJob job(window);
  LoadSiteSummary(job, Text(port.Url("/")));
  EXPECT_EQ(window.panels[0], Text("old"));
  EXPECT_EQ(window.panels[2], Text());
  EXPECT_TRUE(window.searchEnabled);
  EXPECT_TRUE(window.crawlEnabled);
  EXPECT_TRUE(job.released);
}

TEST(ScriptedSiteJobs, crawlPageWithoutHeaderCellClearsTheTitle) {
  test::ScriptedHttpServer server;
  server.AddConnection({test::Respond(Page(HeaderCell("第一页") + RowLines("a", "c1"))),
                        test::Respond(Page(RowLines("b", "c2")))});
  RecordingWindow window;
  window.panels[2] = "2";
  RecordingJob job(window);
  CrawlCatalogue(job, Text(server.Url("/")));
  EXPECT_EQ(window.headerHistory, (std::vector<Text>{G("第一页"), Text()}));
  ASSERT_EQ(window.rows.size(), 2u);
  EXPECT_EQ(window.rows[1][2], Text("c2"));
}

TEST(ScriptedSiteJobs, searchPagerWithSeveralMatchesTakesTheLastOne) {
  // Two pager blocks: panel 4 shows each in turn, the last gives the count.
  test::ScriptedHttpServer server;
  const std::string first = HeaderCell("<span>AV</span>结果") + PagerBlock(9) + PagerBlock(2);
  server.AddConnection({test::Respond(Page(first)),
                        test::Respond(Page(RowLines("<span style='color:red'>AV</span>一", "k1"))),
                        test::Respond(Page(RowLines("AV二", "k2")))});
  RecordingWindow window;
  RecordingJob job(window);
  SearchKeyword(job, Text(server.Url("/")));
  EXPECT_EQ(window.panels[4], Text("2"));
  EXPECT_EQ(window.headers[0], G("AV结果"));
  ASSERT_EQ(window.rows.size(), 2u);
  EXPECT_EQ(window.rows[0][0], G("AV一"));
  EXPECT_EQ(window.rows[1][0], G("AV二"));
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(ScriptedSiteJobs, searchWithNextPageMarkerButNoPagerReadsTheFirstPage) {
  test::ScriptedHttpServer server;
  server.AddConnection({test::Respond(
      Page(HeaderCell("结果") + RowLines("甲", "k1") + "<a>下一页</a>\r\n"))});
  RecordingWindow window;
  RecordingJob job(window);
  SearchKeyword(job, Text(server.Url("/")));
  ASSERT_EQ(window.rows.size(), 1u);
  EXPECT_EQ(window.rows[0][0], G("甲"));
  EXPECT_EQ(window.panels[4], Text("1"));
  EXPECT_EQ(window.messages.size(), 1u);
}

TEST(ScriptedSiteJobs, searchWhoseFirstPageFailsEndsWithTheMessage) {
  test::ClosedPort port;
  RecordingWindow window;
  RecordingJob job(window);
  SearchKeyword(job, Text(port.Url("/")));
  EXPECT_TRUE(window.rows.empty());
  EXPECT_EQ(window.panels[4], Text("1"));
  EXPECT_EQ(window.messages, (std::vector<RecordedMessage>{{G("搜索完成！"), G("提示！")}}));
  EXPECT_TRUE(window.searchEnabled);
}

}  // namespace
}  // namespace tessaly::site
