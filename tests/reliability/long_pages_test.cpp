// 10 MB pages that open every page pattern over and over and close none:
// one long line, LF-only lines (the patterns want CR LF), no line end at all.
// Every job reads such a page in bounded time, lists what the page's sound
// beginning holds and ends as usual.
#include <gtest/gtest.h>

#include <string>

#include "fault_pages.h"
#include "recording_job.h"
#include "scripted_http_server.h"
#include "site/site_jobs.h"
#include "text/codepage.h"

namespace tessaly {
namespace {

using testing::RecordingJob;
using testing::RecordingWindow;

// The opening of each pattern, each cut short of what closes it: the lazy
// groups then scan on over the rest of the line.
const std::string kHostilePiece =
    "<div class=\"total\"><strong>共有<span class=\"STYLE2\">9</span>个"
    "<a href=\"?page=1\">1</a><a href=\"?page=2\">下一页</a>"
    "<th style=\"text-align:left;width:365px;\">标题</th>"
    "<td><a target=\"_blank\" href=\"/x.html\">名</a></td>"
    "                    <td style=\"text-align:center;\">1 GB</td>";

const std::string kSoundStart =
    "<div class=\"total\"><strong>共有<span class=\"STYLE2\">9</span>个资源，"
    "<span class=\"STYLE2\">8</span>个礼包码</strong></div>\r\n" +
    testing::HeaderCell("最新资源") + testing::RowLines("k1");

struct LongPageCase {
  const char* name;
  const char* pieceEnd;  // after every piece
  const char* pageEnd;
};

void PrintTo(const LongPageCase& c, std::ostream* out) {
  *out << c.name;
}

std::string LongPageResponse(const LongPageCase& c) {
  constexpr std::size_t kPageBytes = 10 << 20;
  std::string body = kSoundStart;
  body.reserve(kPageBytes + kHostilePiece.size() + 8);
  while (body.size() < kPageBytes) body.append(kHostilePiece).append(c.pieceEnd);
  body += c.pageEnd;
  return testing::Utf8Page(body);
}

class LongPage : public testing::ShortTransportLimitsTest,
                 public ::testing::WithParamInterface<LongPageCase> {};

TEST_P(LongPage, EveryJobReadsItAndEnds) {
  test::ScriptedHttpServer server;
  server.AddConnection({test::RespondToAll(LongPageResponse(GetParam()))});
  const Text baseUrl(server.Url("/"));

  RecordingWindow summary;
  RecordingJob summaryJob(summary);
  site::LoadSiteSummary(summaryJob, baseUrl);
  EXPECT_EQ(summary.panels[0], Gbk("共有9个资源，8个礼包码"));
  EXPECT_TRUE(summary.searchEnabled && summary.crawlEnabled);

  RecordingWindow crawl;
  crawl.panels[2] = "1";
  RecordingJob crawlJob(crawl);
  site::CrawlCatalogue(crawlJob, baseUrl);
  ASSERT_EQ(crawl.rows.size(), 1u);
  EXPECT_EQ(crawl.rows[0][2], Text("k1"));
  EXPECT_EQ(crawl.headers[0], Gbk("最新资源"));
  EXPECT_TRUE(crawl.crawlEnabled);

  // The page holds "下一页", so the search runs the pager pattern too.
  RecordingWindow search;
  RecordingJob searchJob(search);
  site::SearchKeyword(searchJob, baseUrl);
  ASSERT_EQ(search.rows.size(), 1u);
  EXPECT_EQ(search.rows[0][2], Text("k1"));
  EXPECT_EQ(search.panels[4], Text("1"));
  EXPECT_EQ(search.messages.size(), 1u);
  EXPECT_TRUE(search.searchEnabled);
}

INSTANTIATE_TEST_SUITE_P(Shapes, LongPage,
                         ::testing::Values(LongPageCase{"OneLine", "", "\r\n"},
                                           LongPageCase{"LfOnlyLines", "\n", "\n"},
                                           LongPageCase{"NoLineEnd", "", ""}),
                         [](const ::testing::TestParamInfo<LongPageCase>& row) {
                           return row.param.name;
                         });

}  // namespace
}  // namespace tessaly
