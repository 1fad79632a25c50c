// What a catalogue crawl leaves the user when the site misbehaves: page 1 of
// two is sound, page 2 (or the whole site) meets one fault. Each case names
// the gift codes the list holds afterwards; in every case the crawl ends
// (by the server or by a short time-out), its button is usable again, the
// lock is free, and the same thread's next crawl of a sound site lists it
// whole.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fault_pages.h"
#include "recording_job.h"
#include "scripted_http_server.h"
#include "site/site_jobs.h"
#include "text/codepage.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using test::ConnectionScript;
using test::Drip;
using test::Hang;
using test::HttpResponse;
using test::ReadRequest;
using test::Repeat;
using test::Reset;
using test::Respond;
using test::RespondToAll;
using test::Send;
using testing::GbkPage;
using testing::HeadWithLength;
using testing::RecordingJob;
using testing::RecordingWindow;
using testing::RowLines;
using testing::RowsOf;
using testing::Utf8Page;

const std::string kSoundPage = Utf8Page(testing::HeaderCell("最新资源") + RowsOf({"a1", "a2"}));

// The places a crawl can be sent to; each case scripts one of them.
struct FaultSite {
  test::ScriptedHttpServer server;
  test::ClosedPort refused;
  test::StalledConnectPort stalled;
};

// Page 1 is answered soundly; page 2 is asked for on the same kept-alive
// connection and meets these steps. A request that dies on a reused
// connection before any answer is sent again on a new one, which meets the
// same steps.
std::string AfterSoundPage(FaultSite& site, const ConnectionScript& page2) {
  ConnectionScript script{Respond(kSoundPage)};
  script.insert(script.end(), page2.begin(), page2.end());
  site.server.AddConnection(std::move(script));
  site.server.AddConnection(page2);
  return site.server.Url("/");
}

std::string Redirect(std::string_view location) {
  return HttpResponse("HTTP/1.1 302 Found", "Location: " + std::string(location) + "\r\n", "");
}

std::string Chunk(std::string_view bytes) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
  return size + std::string(bytes) + "\r\n";
}

// 64 KiB of one line that no pattern matches.
const std::string kFillerLine = std::string(65534, 'x') + "\r\n";

struct CrawlFaultCase {
  const char* name;
  std::function<std::string(FaultSite&)> prepare;  // scripts the site, gives its base URL
  std::vector<std::string> listedCodes;            // column 2 of every row, in order
  std::vector<Text> page2Names;                    // column 0 from row 3 on; empty: not checked
};

void PrintTo(const CrawlFaultCase& c, std::ostream* out) {
  *out << c.name;
}

std::vector<std::string> Column(const RecordingWindow& window, int column, std::size_t from = 0) {
  std::vector<std::string> cells;
  for (std::size_t row = from; row < window.rows.size(); ++row) {
    cells.push_back(window.rows[row][column].bytes());
  }
  return cells;
}

class CrawlFault : public testing::ShortTransportLimitsTest,
                   public ::testing::WithParamInterface<CrawlFaultCase> {};

TEST_P(CrawlFault, EndsWithWhatArrivedAndTheNextCrawlWorks) {
  const CrawlFaultCase& c = GetParam();
  FaultSite site;
  const std::string baseUrl = c.prepare(site);
  RecordingWindow window;
  window.panels[2] = "2";
  RecordingJob job(window);
  site::CrawlCatalogue(job, Text(baseUrl));

  EXPECT_EQ(Column(window, 2), c.listedCodes);
  if (!c.page2Names.empty()) {
    std::vector<std::string> expected;
    for (const Text& name : c.page2Names) expected.push_back(name.bytes());
    EXPECT_EQ(Column(window, 0, 2), expected);
  }
  EXPECT_EQ(window.panels[4], Text("2"));
  EXPECT_TRUE(window.crawlEnabled);
  EXPECT_TRUE(job.released);

  test::ScriptedHttpServer sound;
  sound.AddConnection({RespondToAll(kSoundPage)});
  RecordingWindow next;
  next.panels[2] = "1";
  RecordingJob nextJob(next);
  site::CrawlCatalogue(nextJob, Text(sound.Url("/")));
  EXPECT_EQ(Column(next, 2), (std::vector<std::string>{"a1", "a2"}));
  EXPECT_EQ(next.headers[0], Gbk("最新资源"));
}

const std::vector<std::string> kPage1{"a1", "a2"};
const std::vector<std::string> kPage1AndB1{"a1", "a2", "b1"};

INSTANTIATE_TEST_SUITE_P(
    Faults, CrawlFault,
    ::testing::Values(
        // --- silent, slow and broken servers
        CrawlFaultCase{"SiteAcceptsAndNeverAnswers",
                       [](FaultSite& s) {
                         s.server.AddConnection({Hang()});
                         return s.server.Url("/");
                       },
                       {},
                       {}},
        CrawlFaultCase{"Page2NeverAnswered",
                       [](FaultSite& s) {
                         return AfterSoundPage(s, {ReadRequest(), Hang()});
                       },
                       kPage1,
                       {}},
        CrawlFaultCase{
            "Page2HeadersThenStall",
            [](FaultSite& s) {
              return AfterSoundPage(s, {ReadRequest(), Send(HeadWithLength(500)), Hang()});
            },
            kPage1,
            {}},
        CrawlFaultCase{"Page2StallsAfterAWholeRow",
                       [](FaultSite& s) {
                         return AfterSoundPage(
                             s,
                             {ReadRequest(), Send(HeadWithLength(5000) + RowLines("b1")), Hang()});
                       },
                       kPage1AndB1,
                       {}},
        // A byte every 250 ms against the 1 s time-out, as a byte a second is
        // against the default half minute: the line is never quiet for a whole
        // time-out. First the whole response, then the body alone.
        CrawlFaultCase{
            "Page2DripsAByteASecond",
            [](FaultSite& s) {
              return AfterSoundPage(s, {ReadRequest(), Drip(GbkPage(RowLines("b1")), 250ms)});
            },
            kPage1,
            {}},
        CrawlFaultCase{"Page2BodyDripsAByteASecond",
                       [](FaultSite& s) {
                         const std::string body = RowLines("b1");
                         return AfterSoundPage(s, {ReadRequest(), Send(HeadWithLength(body.size())),
                                                   Drip(body, 250ms)});
                       },
                       kPage1,
                       {}},
        CrawlFaultCase{"Page2ResetBeforeTheStatusLine",
                       [](FaultSite& s) {
                         return AfterSoundPage(s, {ReadRequest(), Reset()});
                       },
                       kPage1,
                       {}},
        CrawlFaultCase{
            "Page2ResetAfterTheHeaders",
            [](FaultSite& s) {
              return AfterSoundPage(s, {ReadRequest(), Send(HeadWithLength(500)), Reset()});
            },
            kPage1,
            {}},
        CrawlFaultCase{"Page2ResetMidBody",
                       [](FaultSite& s) {
                         return AfterSoundPage(
                             s,
                             {ReadRequest(),
                              Send(HeadWithLength(5000) + RowLines("b1").substr(0, 60)), Reset()});
                       },
                       kPage1,
                       {}},
        CrawlFaultCase{
            "SiteRefusesTheConnection", [](FaultSite& s) { return s.refused.Url("/"); }, {}, {}},
        CrawlFaultCase{
            "SiteConnectNeverCompletes", [](FaultSite& s) { return s.stalled.Url("/"); }, {}, {}},
        CrawlFaultCase{"Page2BodyShorterThanItsContentLength",
                       [](FaultSite& s) {
                         const std::string body = RowLines("b1");
                         return AfterSoundPage(
                             s, {ReadRequest(), Send(HeadWithLength(body.size() + 100) + body)});
                       },
                       kPage1AndB1,
                       {}},
        // --- redirects
        CrawlFaultCase{"Page2RedirectsToItself",
                       [](FaultSite& s) {
                         return AfterSoundPage(s, {RespondToAll(Redirect("/index.php?page=2"))});
                       },
                       kPage1,
                       {}},
        CrawlFaultCase{"Page2ChainOf31Redirects",
                       [](FaultSite& s) {
                         ConnectionScript hops;
                         for (int hop = 1; hop <= 31; ++hop) {
                           hops.push_back(Respond(Redirect("/hop" + std::to_string(hop))));
                         }
                         hops.push_back(Respond(GbkPage(RowLines("b1"))));
                         return AfterSoundPage(s, hops);
                       },
                       kPage1,
                       {}},
        CrawlFaultCase{"Page2RedirectsToAFile",
                       [](FaultSite& s) {
                         return AfterSoundPage(s, {Respond(Redirect("file:///etc/hostname"))});
                       },
                       kPage1,
                       {}},
        CrawlFaultCase{"Page2RedirectsToFtp",
                       [](FaultSite& s) {
                         const std::string ftp =
                             "ftp://127.0.0.1:" + std::to_string(s.server.Port()) + "/page";
                         return AfterSoundPage(s, {Respond(Redirect(ftp))});
                       },
                       kPage1,
                       {}},
        // --- oversized headers and bodies
        CrawlFaultCase{"Page2HeaderBlockOver5000Bytes",
                       [](FaultSite& s) {
                         const std::string pad = "X-Pad: " + std::string(6000, 'p') + "\r\n";
                         return AfterSoundPage(
                             s, {Respond(HttpResponse("HTTP/1.1 200 OK", pad, RowLines("b1")))});
                       },
                       kPage1AndB1,
                       {}},
        CrawlFaultCase{"Page2HeaderLineOver100Kilobytes",
                       [](FaultSite& s) {
                         const std::string huge =
                             "X-Huge: " + std::string(100 * 1024 + 1, 'h') + "\r\n";
                         return AfterSoundPage(
                             s, {Respond(HttpResponse("HTTP/1.1 200 OK", huge, RowLines("b1")))});
                       },
                       kPage1,
                       {}},
        // The body ends at the size cap: a row before it is listed, one after it is not.
        CrawlFaultCase{"Page2BodyOf100MiB",
                       [](FaultSite& s) {
                         const std::string first = RowLines("b1");
                         const std::string last = RowLines("b2");
                         const std::size_t lines = (std::size_t{100} << 20) / kFillerLine.size();
                         const std::size_t length =
                             first.size() + lines * kFillerLine.size() + last.size();
                         return AfterSoundPage(s,
                                               {ReadRequest(), Send(HeadWithLength(length) + first),
                                                Repeat(kFillerLine, lines), Send(last)});
                       },
                       kPage1AndB1,
                       {}},
        CrawlFaultCase{"Page2EndlessChunkedBody",
                       [](FaultSite& s) {
                         return AfterSoundPage(
                             s, {ReadRequest(),
                                 Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                      Chunk(RowLines("b1"))),
                                 Repeat(Chunk(kFillerLine))});
                       },
                       kPage1AndB1,
                       {}},
        // --- broken and split characters
        CrawlFaultCase{
            "Page2InvalidUtf8SentAsUtf8",
            [](FaultSite& s) {
              return AfterSoundPage(
                  s, {Respond(Utf8Page(RowLines("b1", "bad\xFF\xFEname") +
                                       RowLines("b2", "cut\xE7\xA4") + RowLines("b3", "礼包")))});
            },
            {"a1", "a2", "b1", "b2", "b3"},
            {Text("bad??name"), Text("cut?"), Gbk("礼包")}},
        CrawlFaultCase{
            "Page2InvalidGbkSentAsGbk",
            [](FaultSite& s) {
              return AfterSoundPage(
                  s, {Respond(GbkPage(RowLines("b1", "bad\x81\x7Fname") +
                                      RowLines("b2", "lead\x81") + RowLines("b3", "\xC0\xF1")))});
            },
            {"a1", "a2", "b1", "b2", "b3"},
            {Text("bad?\x7Fname"), Text("lead?"), Text("\xC0\xF1")}},
        // A pause between a character's two bytes puts them in different reads.
        CrawlFaultCase{"Page2GbkCharacterSplitAcrossReads",
                       [](FaultSite& s) {
                         const std::string gbkName = Gbk("礼包码").bytes();
                         const std::string body = RowLines("b1", gbkName);
                         const std::size_t split = body.find(gbkName) + 3;  // inside 包
                         const std::string response = GbkPage(body);
                         const std::size_t at = response.size() - body.size() + split;
                         return AfterSoundPage(s, {ReadRequest(), Send(response.substr(0, at - 1)),
                                                   Drip(response.substr(at - 1, 1), 50ms),
                                                   Send(response.substr(at))});
                       },
                       kPage1AndB1,
                       {Gbk("礼包码")}},
        CrawlFaultCase{"Page2Utf8CharacterSplitAcrossReads",
                       [](FaultSite& s) {
                         const std::string body = RowLines("b1", "礼包码");
                         const std::string response = Utf8Page(body);
                         const std::size_t at = response.size() - body.size() + body.find("包");
                         return AfterSoundPage(s, {ReadRequest(), Send(response.substr(0, at)),
                                                   Drip(response.substr(at, 2), 50ms),
                                                   Send(response.substr(at + 2))});
                       },
                       kPage1AndB1,
                       {Gbk("礼包码")}}),
    [](const ::testing::TestParamInfo<CrawlFaultCase>& row) { return row.param.name; });

class FirstPageFault : public testing::ShortTransportLimitsTest {};

// The first page of every job goes unanswered: each job ends after the
// time-out the way it ends on an empty page.
TEST_F(FirstPageFault, EveryJobWhoseFirstPageNeverComesEnds) {
  struct JobCase {
    const char* name;
    void (*run)(JobContext&, const Text&);
    void (*check)(const RecordingWindow&);
  };
  const JobCase cases[] = {
      {"summary", &site::LoadSiteSummary,
       [](const RecordingWindow& w) {
         EXPECT_EQ(w.panels[0], Text("old totals"));
         EXPECT_TRUE(w.searchEnabled);
         EXPECT_TRUE(w.crawlEnabled);
       }},
      {"crawl", &site::CrawlCatalogue,
       [](const RecordingWindow& w) {
         EXPECT_TRUE(w.rows.empty());
         EXPECT_TRUE(w.crawlEnabled);
       }},
      {"search", &site::SearchKeyword,
       [](const RecordingWindow& w) {
         EXPECT_TRUE(w.rows.empty());
         EXPECT_EQ(w.panels[4], Text("1"));
         ASSERT_EQ(w.messages.size(), 1u);
         EXPECT_EQ(w.messages[0].text, Gbk("搜索完成！"));
         EXPECT_TRUE(w.searchEnabled);
       }},
  };
  for (const JobCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScriptedHttpServer server;
    server.AddConnection({ReadRequest(), Hang()});
    RecordingWindow window;
    window.panels[0] = "old totals";
    window.panels[2] = "1";
    RecordingJob job(window);
    c.run(job, Text(server.Url("/")));
    c.check(window);
    EXPECT_TRUE(job.released);
  }
}

}  // namespace
}  // namespace tessaly
