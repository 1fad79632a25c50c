// FetchPage against real servers on loopback: what goes over the wire and
// what comes back to the caller.
#include "http/page_fetch.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "http/cancel_token.h"
#include "http/http_transport.h"
#include "scripted_http_server.h"
#include "text/codepage.h"

namespace tessaly {
namespace {

using test::ClosedPort;
using test::Hang;
using test::HttpResponse;
using test::ReadRequest;
using test::Respond;
using test::RespondToAll;
using test::ScriptedHttpServer;
using test::Send;

const std::string kBlanks(5000, ' ');

struct RequestHead {
  std::string requestLine;
  std::vector<std::string> headerLines;
  std::string body;
};

RequestHead ParseRequest(const std::string& raw) {
  RequestHead head;
  const std::size_t end = raw.find("\r\n\r\n");
  std::size_t at = 0;
  bool first = true;
  while (at < end) {
    const std::size_t lineEnd = raw.find("\r\n", at);
    std::string line = raw.substr(at, lineEnd - at);
    if (first) {
      head.requestLine = std::move(line);
      first = false;
    } else {
      head.headerLines.push_back(std::move(line));
    }
    at = lineEnd + 2;
  }
  head.body = raw.substr(end + 4);
  return head;
}

std::vector<std::string> LinesStartingWith(const RequestHead& head, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : head.headerLines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::string Ok(std::string_view body, std::string_view headers = "") {
  return HttpResponse("HTTP/1.1 200 OK", headers, body);
}

class FetchPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TransportLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(2000);
    limits.noProgressTimeout = std::chrono::milliseconds(2000);
    SetTransportLimits(limits);
  }
  void TearDown() override { SetTransportLimits(TransportLimits()); }
};

TEST_F(FetchPageTest, SiteJobRequest_isTheDefaultRequestByteForByte) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("hello"))});
  const std::string url = server.Url("/index.php?page=2");

  FetchArgs args;
  EXPECT_EQ(FetchPage(Text(url), args).bytes(), "hello");

  const std::string block = "Referer: " + url +
                            "\r\nAccept: */*\r\nAccept-Language: zh-cn"
                            "\r\nContent-Type: application/x-www-form-urlencoded";
  EXPECT_EQ(args.extraHeaders.bytes(), block);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string raw = server.Requests()[0];
  EXPECT_NE(raw.find("\r\n" + block + "\r\n"), std::string::npos) << raw;
  const RequestHead head = ParseRequest(raw);
  EXPECT_EQ(head.requestLine, "GET /index.php?page=2 HTTP/1.1");
  std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(server.Port()),
                                       std::string("User-Agent: ") + kDefaultUserAgent,
                                       "Referer: " + url,
                                       "Accept: */*",
                                       "Accept-Language: zh-cn",
                                       "Content-Type: application/x-www-form-urlencoded"};
  std::vector<std::string> seen = head.headerLines;
  std::sort(expected.begin(), expected.end());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, expected) << raw;
  EXPECT_EQ(head.body, "");
}

struct CallerHeaderCase {
  std::string name;
  std::string extraHeaders;
  std::string linePrefix;
  std::vector<std::string> linesSent;
};

void PrintTo(const CallerHeaderCase& row, std::ostream* out) {
  *out << row.name;
}

class CallerHeaderTest : public FetchPageTest,
                         public ::testing::WithParamInterface<CallerHeaderCase> {};

TEST_P(CallerHeaderTest, CallerLineIsSentAndNoDefaultBesideIt) {
  const CallerHeaderCase& c = GetParam();
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("x"))});
  FetchArgs args;
  args.extraHeaders = Text(c.extraHeaders);
  FetchPage(Text(server.Url("/h")), args);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(LinesStartingWith(ParseRequest(server.Requests()[0]), c.linePrefix), c.linesSent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CallerHeaderTest,
    ::testing::Values(
        CallerHeaderCase{"Accept", "Accept: text/html", "Accept:", {"Accept: text/html"}},
        CallerHeaderCase{
            "UserAgentAlone", "User-Agent: Agent7", "User-Agent:", {"User-Agent: Agent7"}},
        CallerHeaderCase{"UserAgentInLowerCase",
                         "user-agent: agent9\r\nX-A: 1",
                         "user-agent:",
                         {"user-agent: agent9"}},
        CallerHeaderCase{"EmptyValueIsSent", "X-Empty:", "X-Empty", {"X-Empty:"}},
        CallerHeaderCase{
            "LineWithStrayLineFeedIsNotSent", "X-Bad: a\nInjected: 1", "Injected", {}}),
    [](const auto& row) { return row.param.name; });

TEST_F(FetchPageTest, UserAgentLine_noDefaultAgentBeside) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("x"))});
  FetchArgs args;
  args.extraHeaders = Text("User-Agent: Agent7");
  FetchPage(Text(server.Url("/ua")), args);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].find("Mozilla"), std::string::npos);
}

TEST_F(FetchPageTest, PostSendsBodyWithoutWaitingForContinue) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("posted"))});
  FetchArgs args;
  args.method = 1;
  args.postText = Text(std::string(2 << 20, 'q'));  // big enough for libcurl's Expect
  EXPECT_EQ(FetchPage(Text(server.Url("/form")), args).bytes(), "posted");
  ASSERT_EQ(server.Requests().size(), 1u);
  const RequestHead head = ParseRequest(server.Requests()[0]);
  EXPECT_EQ(head.requestLine, "POST /form HTTP/1.1");
  EXPECT_EQ(head.body.size(), std::size_t{2} << 20);
  EXPECT_TRUE(LinesStartingWith(head, "Expect").empty());
  EXPECT_EQ(args.postBytes.size(), 2 << 20);
}

TEST_F(FetchPageTest, ResponseSetCookiePiecesAndLineEndsAsCrLf) {
  ScriptedHttpServer server;
  // Bare LF line ends: the block handed back still ends every line with CR LF.
  server.AddConnection({Respond(
      "HTTP/1.1 200 OK\nSet-Cookie: a=1; path=/crlf\nSet-Cookie: b=2; HttpOnly\nSet-Cookie: c=3\n"
      "Content-Length: 2\n\nok")});
  FetchArgs args;
  // The cookies without a path stay under /crlf, away from the other tests.
  EXPECT_EQ(FetchPage(Text(server.Url("/crlf/page")), args).bytes(), "ok");
  EXPECT_EQ(args.responseHeaders.bytes(),
            "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/crlf\r\nSet-Cookie: b=2; HttpOnly\r\n"
            "Set-Cookie: c=3\r\nContent-Length: 2\r\n\r\n");
  EXPECT_EQ(args.cookiesReceived.bytes(), "a=1; b=2; ");
}

// The shared store sends what a response stored; a request with cookies of
// its own neither sends from it nor stores into it. Paths keep these cookies
// away from the other tests' requests.
TEST_F(FetchPageTest, SharedCookieStore_usedOnlyWithoutGivenCookies) {
  ScriptedHttpServer server;
  const std::string dir = "/store" + std::to_string(server.Port());  // fresh on every run
  server.AddConnection({Respond(Ok("1", "Set-Cookie: z=9; Path=" + dir + "\r\n")), Respond(Ok("2")),
                        Respond(Ok("3", "Set-Cookie: w=1; Path=" + dir + "\r\n")), Respond(Ok("4")),
                        Respond(Ok("5"))});
  FetchPage(Text(server.Url(dir + "/a")));
  FetchPage(Text(server.Url(dir + "/b")));
  FetchArgs own;
  own.cookies = Text();
  FetchPage(Text(server.Url(dir + "/c")), own);
  FetchPage(Text(server.Url(dir + "/d")));
  FetchArgs ownAgain;
  ownAgain.cookies = Text();
  FetchPage(Text(server.Url(dir + "/e")), ownAgain);

  ASSERT_EQ(server.Requests().size(), 5u);
  const auto cookieLines = [&](int i) {
    return LinesStartingWith(ParseRequest(server.Requests()[static_cast<std::size_t>(i)]),
                             "Cookie:");
  };
  EXPECT_EQ(cookieLines(0), std::vector<std::string>{});
  EXPECT_EQ(cookieLines(1), std::vector<std::string>{"Cookie: z=9"});
  EXPECT_EQ(cookieLines(2), std::vector<std::string>{});
  EXPECT_EQ(cookieLines(3), std::vector<std::string>{"Cookie: z=9"});
  EXPECT_EQ(cookieLines(4), std::vector<std::string>{});
  EXPECT_EQ(own.cookies->bytes(), "w=1");
}

TEST_F(FetchPageTest, GivenCookiesAreSentAsACookieLine) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("x", "Set-Cookie: b=3; path=/\r\n"))});
  FetchArgs args;
  args.cookies = Text("a=1; b=2");
  FetchPage(Text(server.Url("/given")), args);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(LinesStartingWith(ParseRequest(server.Requests()[0]), "Cookie:"),
            std::vector<std::string>{"Cookie: a=1; b=2"});
  EXPECT_EQ(args.cookies->bytes(), "b=3; a=1");
}

TEST_F(FetchPageTest, Moved301_secondFetchAppendsPathAndCarriesFirstReferer) {
  ScriptedHttpServer first;
  ScriptedHttpServer second;
  const std::string secondRoot = second.Url("");
  first.AddConnection({Respond(
      HttpResponse("HTTP/1.1 301 Moved Permanently", "Location: " + secondRoot + "\r\n", "gone"))});
  second.AddConnection({Respond(Ok("moved here"))});

  FetchArgs args;
  args.noAutoRedirect = true;  // so the 301 reaches FetchPage itself
  const std::string url = first.Url("/a?b=1");
  EXPECT_EQ(FetchPage(Text(url), args).bytes(), "moved here");

  ASSERT_EQ(second.Requests().size(), 1u);
  const RequestHead head = ParseRequest(second.Requests()[0]);
  EXPECT_EQ(head.requestLine, "GET /a?b=1 HTTP/1.1");
  EXPECT_EQ(LinesStartingWith(head, "Referer:"), std::vector<std::string>{"Referer: " + url});
  EXPECT_EQ(args.responseHeaders.bytes().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

TEST_F(FetchPageTest, Moved301Chain_endsAtTheBoundWithTheLastMovedPage) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(HttpResponse("HTTP/1.1 301 Moved Permanently",
                                             "Location: " + server.Url("") + "\r\n", "loop"))});
  FetchArgs args;
  args.noAutoRedirect = true;
  EXPECT_EQ(FetchPage(Text(server.Url("/x")), args).bytes(), "loop");
  EXPECT_EQ(server.Requests().size(), 6u);  // the first fetch and five more
  EXPECT_EQ(args.redirectTarget.bytes(), server.Url(""));
}

struct RedirectCase {
  std::string name;
  std::string statusLine;
  bool noAutoRedirect;
  std::string result;
};

void PrintTo(const RedirectCase& row, std::ostream* out) {
  *out << row.name;
}

class RedirectTest : public FetchPageTest, public ::testing::WithParamInterface<RedirectCase> {};

TEST_P(RedirectTest, FollowsOrHandsBack) {
  const RedirectCase& c = GetParam();
  ScriptedHttpServer server;
  server.AddConnection({Respond(HttpResponse(c.statusLine, "Location: /target\r\n", "first")),
                        Respond(Ok("target page"))});
  server.AddConnection({Respond(Ok("target page"))});  // after an HTTP/1.0 close
  FetchArgs args;
  args.noAutoRedirect = c.noAutoRedirect;
  EXPECT_EQ(FetchPage(Text(server.Url("/start")), args).bytes(), c.result);
  // The header block is always the final response's alone.
  EXPECT_EQ(args.responseHeaders.bytes().find("HTTP/", 1), std::string::npos);
  EXPECT_EQ(
      args.responseHeaders.bytes().rfind(c.result == "first" ? c.statusLine : "HTTP/1.1 200 OK", 0),
      0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RedirectTest,
    ::testing::Values(RedirectCase{"Found302Followed", "HTTP/1.1 302 Found", false, "target page"},
                      RedirectCase{"Found302NoAutoRedirect", "HTTP/1.1 302 Found", true, "first"},
                      RedirectCase{"Moved301OtherReasonNoAutoRedirect", "HTTP/1.1 301 Redirect",
                                   true, "first"},
                      RedirectCase{"Http10Moved301NoAutoRedirect", "HTTP/1.0 301 Moved Permanently",
                                   true, "first"},
                      RedirectCase{"Http10Moved301Followed", "HTTP/1.0 301 Moved Permanently",
                                   false, "target page"}),
    [](const auto& row) { return row.param.name; });

TEST_F(FetchPageTest, RedirectLoop_endsAsAFailedFetch) {
  ScriptedHttpServer server;
  server.AddConnection(
      {RespondToAll(HttpResponse("HTTP/1.1 302 Found", "Location: /again\r\n", ""))});
  FetchArgs args;
  EXPECT_EQ(FetchPage(Text(server.Url("/again")), args).bytes(), "");
  EXPECT_EQ(server.Requests().size(), 11u);  // the request and ten hops
  EXPECT_EQ(args.responseHeaders.bytes(), kBlanks);
}

TEST_F(FetchPageTest, RedirectToAnotherProtocol_isNotFollowed) {
  ScriptedHttpServer server;
  server.AddConnection(
      {Respond(HttpResponse("HTTP/1.1 302 Found", "Location: file:///etc/hostname\r\n", ""))});
  EXPECT_EQ(FetchPage(Text(server.Url("/file"))).bytes(), "");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(FetchPageTest, Utf8ByHeaderCharset_convertedAndReported) {
  ScriptedHttpServer server;
  const std::string utf8Body = "\xE7\xA4\xBC\xE5\x8C\x85\xE7\xA0\x81";  // 礼包码
  server.AddConnection(
      {Respond(Ok(utf8Body, "Content-Type: text/html; charset=UTF-8\r\n")), Respond(Ok(utf8Body))});
  bool wasUtf8 = false;
  EXPECT_EQ(FetchPage(Text(server.Url("/u")), &wasUtf8), Gbk("礼包码"));
  EXPECT_TRUE(wasUtf8);
  EXPECT_EQ(FetchPage(Text(server.Url("/u")), &wasUtf8).bytes(), utf8Body);
  EXPECT_FALSE(wasUtf8);
}

TEST_F(FetchPageTest, HeaderBlockOver5000Bytes_blanksButBodyArrives) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("body", "Set-Cookie: a=1; path=/big\r\nLocation: /x\r\nX-Pad: " +
                                               std::string(6000, 'p') + "\r\n"))});
  FetchArgs args;
  EXPECT_EQ(FetchPage(Text(server.Url("/big")), args).bytes(), "body");
  EXPECT_EQ(args.responseHeaders.bytes(), kBlanks);
  EXPECT_EQ(args.cookiesReceived.bytes(), "");
  EXPECT_EQ(args.redirectTarget.bytes(), kBlanks);
}

TEST_F(FetchPageTest, HeaderLineOf100Kilobytes_noResponseHeaders) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("body", "X-Huge: " + std::string(100 * 1024, 'h') + "\r\n"))});
  FetchArgs args;
  FetchPage(Text(server.Url("/huge")), args);
  EXPECT_EQ(args.responseHeaders.bytes(), kBlanks);
}

TEST_F(FetchPageTest, BodyLongerThanTheCap_endsAtTheCap) {
  TransportLimits limits = CurrentTransportLimits();
  limits.maxBodyBytes = 1000;
  SetTransportLimits(limits);
  ScriptedHttpServer server;
  std::string body(5000, 'b');
  body[999] = 'e';
  server.AddConnection({Respond(Ok(body))});
  EXPECT_EQ(FetchPage(Text(server.Url("/long"))).bytes(), body.substr(0, 1000));
}

TEST_F(FetchPageTest, ProxyGiven_httpRequestGoesThroughIt) {
  ScriptedHttpServer proxy;
  proxy.AddConnection({Respond(Ok("via proxy"))});
  const ClosedPort origin;  // a direct request would be refused
  FetchArgs args;
  args.proxy = Text("127.0.0.1:" + std::to_string(proxy.Port()));
  EXPECT_EQ(FetchPage(Text(origin.Url("/p?q=1")), args).bytes(), "via proxy");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(ParseRequest(proxy.Requests()[0]).requestLine,
            "GET " + origin.Url("/p?q=1") + " HTTP/1.1");
}

TEST_F(FetchPageTest, ProxyGiven_httpsRequestGoesDirect) {
  ScriptedHttpServer proxy;
  const ClosedPort origin;
  FetchArgs args;
  args.proxy = Text("127.0.0.1:" + std::to_string(proxy.Port()));
  EXPECT_EQ(
      FetchPage(Text("https://127.0.0.1:" + std::to_string(origin.Port()) + "/"), args).bytes(),
      "");
  EXPECT_EQ(proxy.ConnectionCount(), 0);
}

// The program reads no environment variable: proxy settings there change
// nothing, with or without a proxy given.
TEST_F(FetchPageTest, ProxyEnvironmentVariables_areIgnored) {
  ScriptedHttpServer envProxy;
  ScriptedHttpServer origin;
  ScriptedHttpServer givenProxy;
  origin.AddConnection({Respond(Ok("direct"))});
  givenProxy.AddConnection({Respond(Ok("via given proxy"))});
  const std::string envProxyUrl = envProxy.Url("");
  for (const char* name : {"http_proxy", "ALL_PROXY", "all_proxy"}) {
    setenv(name, envProxyUrl.c_str(), 1);
  }
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);

  const Text direct = FetchPage(Text(origin.Url("/env")));
  FetchArgs args;
  args.proxy = Text("127.0.0.1:" + std::to_string(givenProxy.Port()));
  const Text proxied = FetchPage(Text(origin.Url("/env")), args);
  for (const char* name : {"http_proxy", "ALL_PROXY", "all_proxy", "no_proxy", "NO_PROXY"}) {
    unsetenv(name);
  }
  EXPECT_EQ(direct.bytes(), "direct");
  EXPECT_EQ(proxied.bytes(), "via given proxy");
  EXPECT_EQ(envProxy.ConnectionCount(), 0);
}

TEST_F(FetchPageTest, RefusedPort_emptyPageAndBlankHeaders) {
  const ClosedPort closed;
  FetchArgs args;
  args.redirectTarget = Text();
  EXPECT_EQ(FetchPage(Text(closed.Url("/r")), args).bytes(), "");
  EXPECT_EQ(args.responseHeaders.bytes(), kBlanks);
  EXPECT_EQ(args.redirectTarget.bytes(), kBlanks);
  EXPECT_EQ(args.cookiesReceived.bytes(), "");
  EXPECT_EQ(args.extraHeaders.bytes().rfind("Referer: ", 0), 0u);
}

TEST_F(FetchPageTest, UnrequestableUrl_changesNothing) {
  FetchArgs args;
  args.extraHeaders = Text("X-A: 1");
  args.redirectTarget = Text("kept");
  for (const char* url : {"", "/relative/path", "http://host:0/", "http://host:70000/",
                          "http://ho st/", "http://host/a b"}) {
    EXPECT_EQ(FetchPage(Text(url), args).bytes(), "") << url;
    EXPECT_EQ(args.extraHeaders.bytes(), "X-A: 1") << url;
    EXPECT_EQ(args.redirectTarget.bytes(), "kept") << url;
  }
}

struct EarlyEndCase {
  std::string name;
  test::ConnectionScript script;
  std::string page;
  bool headersArrive;
};

void PrintTo(const EarlyEndCase& row, std::ostream* out) {
  *out << row.name;
}

class EarlyEndTest : public FetchPageTest, public ::testing::WithParamInterface<EarlyEndCase> {};

// Each case ends by the server or by the no-progress time-out, never hangs.
TEST_P(EarlyEndTest, UsesWhatWasRead) {
  TransportLimits limits = CurrentTransportLimits();
  limits.noProgressTimeout = std::chrono::milliseconds(300);
  SetTransportLimits(limits);
  ScriptedHttpServer server;
  server.AddConnection(GetParam().script);
  FetchArgs args;
  EXPECT_EQ(FetchPage(Text(server.Url("/early")), args).bytes(), GetParam().page);
  EXPECT_EQ(args.responseHeaders.bytes() != kBlanks, GetParam().headersArrive);
}

const std::string kPartialHead = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, EarlyEndTest,
    ::testing::Values(
        EarlyEndCase{
            "ClosesMidBody", {ReadRequest(), Send(kPartialHead + "partial")}, "partial", true},
        EarlyEndCase{
            "ClosesMidHeaders", {ReadRequest(), Send("HTTP/1.1 200 OK\r\nX-A")}, "", false},
        EarlyEndCase{"ClosesWithoutAnswer", {ReadRequest()}, "", false},
        EarlyEndCase{"ResetsWithoutAnswer", {ReadRequest(), test::Reset()}, "", false},
        EarlyEndCase{"NeverAnswers", {ReadRequest(), Hang()}, "", false},
        EarlyEndCase{"StallsMidBody",
                     {ReadRequest(), Send(kPartialHead + "partial"), Hang()},
                     "partial",
                     true}),
    [](const auto& row) { return row.param.name; });

TEST_F(FetchPageTest, ChunkedBodyArrivingByteByByte_isWholeWithoutChunkFraming) {
  ScriptedHttpServer server;
  server.AddConnection(
      {ReadRequest(), test::Drip("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                 "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n",
                                 std::chrono::milliseconds(1))});
  EXPECT_EQ(FetchPage(Text(server.Url("/drip"))).bytes(), "hello world");
}

TEST_F(FetchPageTest, ConnectionIsKeptBetweenPages) {
  ScriptedHttpServer server;
  server.AddConnection({RespondToAll(Ok("page"))});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FetchPage(Text(server.Url("/k"))).bytes(), "page");
  EXPECT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(server.ConnectionCount(), 1);
}

// The limits are long: only the stop can end this fetch.
TEST_F(FetchPageTest, StopDuringSilentServer_endsTheFetch) {
  TransportLimits limits;
  limits.noProgressTimeout = std::chrono::minutes(10);
  SetTransportLimits(limits);
  ScriptedHttpServer server;
  server.AddConnection({ReadRequest(), Hang()});
  CancelToken token;
  Text page("not set");
  std::thread job([&] {
    const CancelScope scope(token);
    page = FetchPage(Text(server.Url("/silent")));
  });
  server.WaitForRequests(1);
  token.Cancel();
  job.join();
  EXPECT_EQ(page.bytes(), "");
}

TEST_F(FetchPageTest, StoppedBeforeTheFetch_sendsNothingAndChangesNothing) {
  ScriptedHttpServer server;
  server.AddConnection({Respond(Ok("x"))});
  CancelToken token;
  token.Cancel();
  const CancelScope scope(token);
  FetchArgs args;
  EXPECT_EQ(FetchPage(Text(server.Url("/stopped")), args).bytes(), "");
  EXPECT_EQ(args.extraHeaders.bytes(), "");
  EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST_F(FetchPageTest, ScopeEnds_tokenNoLongerBound) {
  CancelToken token;
  {
    const CancelScope scope(token);
    EXPECT_EQ(CurrentCancelToken(), &token);
  }
  EXPECT_EQ(CurrentCancelToken(), nullptr);
}

}  // namespace
}  // namespace tessaly
