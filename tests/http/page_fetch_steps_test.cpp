#include "http/page_fetch_steps.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "text/codepage.h"

namespace tessaly {
namespace {

const std::string kUrl = "http://site.test/index.php?page=2";
const std::string kDefaultTail =
    "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";

struct PrepareCase {
  std::string name;
  std::string extraHeaders;
  std::optional<std::string> cookies;
  std::string block;  // extraHeaders on return
  std::string agent;
};

void PrintTo(const PrepareCase& row, std::ostream* out) {
  *out << row.name;
}

class PrepareRequestTest : public ::testing::TestWithParam<PrepareCase> {};

TEST_P(PrepareRequestTest, CompletesHeaderBlockAndPicksAgent) {
  const PrepareCase& c = GetParam();
  FetchArgs args;
  args.extraHeaders = Text(c.extraHeaders);
  if (c.cookies) args.cookies = Text(*c.cookies);
  const RequestPlan plan = PrepareRequest(Text(kUrl), args);
  EXPECT_EQ(args.extraHeaders.bytes(), c.block);
  EXPECT_EQ(plan.agent.bytes(), c.agent);
  EXPECT_EQ(plan.verb.bytes(), "GET");
  EXPECT_FALSE(plan.sendBody);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrepareRequestTest,
    ::testing::Values(
        PrepareCase{"Default", "", std::nullopt, "Referer: " + kUrl + kDefaultTail,
                    kDefaultUserAgent},
        PrepareCase{"CallerAcceptStays_noSecondAccept", "Accept: text/html", std::nullopt,
                    "Accept: text/html\r\nReferer: " + kUrl +
                        "\r\nAccept-Language: zh-cn\r\nContent-Type: "
                        "application/x-www-form-urlencoded",
                    kDefaultUserAgent},
        PrepareCase{"LowerCaseAcceptDoesNotCount", "accept: text/html", std::nullopt,
                    "accept: text/html\r\nReferer: " + kUrl + kDefaultTail, kDefaultUserAgent},
        PrepareCase{"AcceptLanguageIsNotAccept", "Accept-Language: en", std::nullopt,
                    "Accept-Language: en\r\nReferer: " + kUrl +
                        "\r\nAccept: */*\r\nContent-Type: application/x-www-form-urlencoded",
                    kDefaultUserAgent},
        PrepareCase{"CallerRefererStays", "Referer: http://elsewhere/", std::nullopt,
                    "Referer: http://elsewhere/" + kDefaultTail, kDefaultUserAgent},
        PrepareCase{"UserAgentLastLine_agentFromHeaderValue", "User-Agent: Agent7", std::nullopt,
                    "User-Agent: Agent7\r\nReferer: " + kUrl + kDefaultTail, "Agent7"},
        PrepareCase{"UserAgentBeforeOtherLines", "User-Agent:  Agent8 \r\nX-A: 1", std::nullopt,
                    "User-Agent:  Agent8 \r\nX-A: 1\r\nReferer: " + kUrl + kDefaultTail, "Agent8"},
        PrepareCase{"CookiesGiven_cookieLineLast", "", "a=1; b=2",
                    "Referer: " + kUrl + kDefaultTail + "\r\nCookie: a=1; b=2", kDefaultUserAgent},
        PrepareCase{"CookiesGivenEmpty_noCookieLine", "", "", "Referer: " + kUrl + kDefaultTail,
                    kDefaultUserAgent}),
    [](const auto& row) { return row.param.name; });

struct BodyCase {
  std::string name;
  int method;
  std::string postText;
  std::string postBytes;
  std::string verb;
  bool sendBody;
  std::string postBytesAfter;
};

void PrintTo(const BodyCase& row, std::ostream* out) {
  *out << row.name;
}

class PrepareBodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(PrepareBodyTest, ChoosesVerbAndBody) {
  const BodyCase& c = GetParam();
  FetchArgs args;
  args.method = c.method;
  args.postText = Text(c.postText);
  args.postBytes = Bytes(c.postBytes);
  const RequestPlan plan = PrepareRequest(Text(kUrl), args);
  EXPECT_EQ(plan.verb.bytes(), c.verb);
  EXPECT_EQ(plan.sendBody, c.sendBody);
  EXPECT_EQ(args.postBytes.data(), c.postBytesAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrepareBodyTest,
    ::testing::Values(BodyCase{"GetIgnoresPostText", 0, "q=1", "", "GET", false, ""},
                      BodyCase{"PostFillsBytesFromText", 1, "q=1", "", "POST", true, "q=1"},
                      BodyCase{"PostBytesWinOverText", 1, "q=1", std::string("b\0y", 3), "POST",
                               true, std::string("b\0y", 3)},
                      BodyCase{"PostWithNothing_emptyBody", 1, "", "", "POST", true, ""},
                      BodyCase{"OtherMethod_getWithBody", 2, "q=2", "", "GET", true, "q=2"}),
    [](const auto& row) { return row.param.name; });

// The UTF-8 form of "礼" and its GBK form.
const std::string kUtf8Li = "\xE7\xA4\xBC";

struct ResponseCase {
  std::string name{};
  std::string url{};
  std::optional<std::string> block{};
  std::string body{};
  bool mayFollowMoved = true;
  std::string redirectBefore{};
  // Expected:
  std::optional<std::string> responseHeaders{};  // none: 5000 blanks
  std::string cookiesReceived{};
  std::optional<std::string> redirectTarget{};  // none: equals responseHeaders
  std::optional<std::string> movedTo{};
  bool utf8 = false;
};

void PrintTo(const ResponseCase& row, std::ostream* out) {
  *out << row.name;
}

class ReadResponseTest : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(ReadResponseTest, ReadsHeadersAndBody) {
  const ResponseCase& c = GetParam();
  FetchArgs args;
  args.redirectTarget = Text(c.redirectBefore);
  std::optional<std::string_view> block;
  if (c.block) block = *c.block;
  const ResponseReading reading =
      ReadResponse(Text(c.url), args, block, Bytes(c.body), c.mayFollowMoved);

  const std::string headers = c.responseHeaders.value_or(std::string(5000, ' '));
  EXPECT_EQ(args.responseHeaders.bytes(), headers);
  EXPECT_EQ(args.cookiesReceived.bytes(), c.cookiesReceived);
  EXPECT_EQ(args.redirectTarget.bytes(), c.redirectTarget.value_or(headers));
  ASSERT_EQ(reading.movedTo.has_value(), c.movedTo.has_value());
  if (c.movedTo) {
    EXPECT_EQ(reading.movedTo->bytes(), *c.movedTo);
    return;
  }
  EXPECT_EQ(reading.bodyWasUtf8, c.utf8);
  const Text expected = c.utf8 ? Utf8TextToGbk(Text(c.body)) : Text(c.body);
  EXPECT_EQ(reading.body, expected);
}

std::string Block(const std::string& lines) {
  return lines + "\r\n";
}

std::string PaddedBlock(std::size_t size) {
  const std::string head = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1;\r\nX-Pad: ";
  return head + std::string(size - head.size() - 4, 'p') + "\r\n\r\n";
}

std::string BodyWithMarkerAt(int position, const std::string& marker) {
  return std::string(static_cast<std::size_t>(position - 1), ' ') + marker + kUtf8Li;
}

const std::string k200 = "HTTP/1.1 200 OK\r\n";

INSTANTIATE_TEST_SUITE_P(
    HeaderWalk, ReadResponseTest,
    ::testing::Values(
        ResponseCase{
            .name = "SetCookiePiecesJoined",
            .url = kUrl,
            .block = Block(k200 + "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n"),
            .responseHeaders = Block(k200 +
                                     "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n"),
            .cookiesReceived = "a=1; b=2"},
        ResponseCase{.name = "SetCookieWithoutSemicolon_emptyPiece",
                     .url = kUrl,
                     .block = Block(k200 + "Set-Cookie: c=3\r\n"),
                     .responseHeaders = Block(k200 + "Set-Cookie: c=3\r\n"),
                     .cookiesReceived = ""},
        ResponseCase{.name = "SetCookieWithoutSemicolonAfterOne",
                     .url = kUrl,
                     .block = Block(k200 + "Set-Cookie: a=1; x\r\nSet-Cookie: c=3\r\n"),
                     .responseHeaders = Block(k200 + "Set-Cookie: a=1; x\r\nSet-Cookie: c=3\r\n"),
                     .cookiesReceived = "a=1; "},
        ResponseCase{
            .name = "LastLocationLineWins_trimmed",
            .url = kUrl,
            .block = Block("HTTP/1.1 302 Found\r\nLocation: /one\r\nLocation:   /two  \r\n"),
            .responseHeaders =
                Block("HTTP/1.1 302 Found\r\nLocation: /one\r\nLocation:   /two  \r\n"),
            .redirectTarget = "/two"},
        ResponseCase{.name = "NoLocation_keepsEarlierTarget",
                     .url = kUrl,
                     .block = Block(k200),
                     .redirectBefore = "kept",
                     .responseHeaders = Block(k200),
                     .redirectTarget = "kept"},
        ResponseCase{.name = "NoLocation_emptyTargetGetsHeaders",
                     .url = kUrl,
                     .block = Block(k200),
                     .responseHeaders = Block(k200)},
        ResponseCase{.name = "NoResponse_blanks", .url = kUrl, .block = std::nullopt},
        ResponseCase{.name = "BlockOf4999BytesFits",
                     .url = kUrl,
                     .block = PaddedBlock(4999),
                     .responseHeaders = PaddedBlock(4999),
                     .cookiesReceived = "a=1"},
        ResponseCase{.name = "BlockOf5000BytesLeavesBlanks",
                     .url = kUrl,
                     .block = PaddedBlock(5000),
                     .cookiesReceived = ""}),
    [](const auto& row) { return row.param.name; });

const std::string k301 = "HTTP/1.1 301 Moved Permanently\r\nLocation: http://host2\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Moved, ReadResponseTest,
    ::testing::Values(
        ResponseCase{.name = "Http11MovedFetchesLocationPlusPath",
                     .url = "http://host1/a?b=1",
                     .block = k301,
                     .body = "dropped",
                     .responseHeaders = k301,
                     .redirectTarget = "",
                     .movedTo = "http://host2/a?b=1"},
        ResponseCase{.name = "MovedWithoutLocation_headersPlusPath",
                     .url = "http://host1/a",
                     .block = Block("HTTP/1.1 301 Moved Permanently\r\n"),
                     .responseHeaders = Block("HTTP/1.1 301 Moved Permanently\r\n"),
                     .redirectTarget = "",
                     .movedTo = Block("HTTP/1.1 301 Moved Permanently\r\n") + "/a"},
        ResponseCase{
            .name = "OtherReasonPhrase_noSecondFetch",
            .url = "http://host1/a",
            .block = Block("HTTP/1.1 301 Redirect\r\nLocation: http://host2\r\n"),
            .body = "page",
            .responseHeaders = Block("HTTP/1.1 301 Redirect\r\nLocation: http://host2\r\n"),
            .redirectTarget = "http://host2"},
        ResponseCase{.name = "Http10_noSecondFetch",
                     .url = "http://host1/a",
                     .block = Block("HTTP/1.0 301 Moved Permanently\r\nLocation: http://host2\r\n"),
                     .body = "page",
                     .responseHeaders =
                         Block("HTTP/1.0 301 Moved Permanently\r\nLocation: http://host2\r\n"),
                     .redirectTarget = "http://host2"},
        ResponseCase{.name = "Found302_noSecondFetch",
                     .url = "http://host1/a",
                     .block = Block("HTTP/1.1 302 Found\r\nLocation: http://host2\r\n"),
                     .body = "page",
                     .responseHeaders = Block("HTTP/1.1 302 Found\r\nLocation: http://host2\r\n"),
                     .redirectTarget = "http://host2"},
        ResponseCase{.name = "AtTheBound_movedPageReadAsItIs",
                     .url = "http://host1/a",
                     .block = k301,
                     .body = "moved page",
                     .mayFollowMoved = false,
                     .responseHeaders = k301,
                     .redirectTarget = "http://host2"}),
    [](const auto& row) { return row.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Charset, ReadResponseTest,
    ::testing::Values(
        ResponseCase{.name = "MarkerAtByte499_utf8",
                     .url = kUrl,
                     .block = Block(k200),
                     .body = BodyWithMarkerAt(499, "utf-8"),
                     .responseHeaders = Block(k200),
                     .utf8 = true},
        ResponseCase{.name = "MarkerAtByte500_notUtf8",
                     .url = kUrl,
                     .block = Block(k200),
                     .body = BodyWithMarkerAt(500, "utf-8"),
                     .responseHeaders = Block(k200),
                     .utf8 = false},
        ResponseCase{.name = "MarkerAtByte500_headerCharsetInCapitals",
                     .url = kUrl,
                     .block = Block(k200 + "Content-Type: text/html; charset=UTF-8\r\n"),
                     .body = BodyWithMarkerAt(500, "utf-8"),
                     .responseHeaders = Block(k200 + "Content-Type: text/html; charset=UTF-8\r\n"),
                     .utf8 = true},
        ResponseCase{.name = "CapitalsInBodyOnly_notUtf8",
                     .url = kUrl,
                     .block = Block(k200),
                     .body = BodyWithMarkerAt(1, "UTF-8"),
                     .responseHeaders = Block(k200),
                     .utf8 = false},
        ResponseCase{.name = "NoResponseHeaders_bodyMarkerStillCounts",
                     .url = kUrl,
                     .block = std::nullopt,
                     .body = BodyWithMarkerAt(1, "utf-8"),
                     .utf8 = true},
        ResponseCase{.name = "EmptyBody",
                     .url = kUrl,
                     .block = Block(k200),
                     .body = "",
                     .responseHeaders = Block(k200)}),
    [](const auto& row) { return row.param.name; });

TEST(ReadResponseCookiesTest, GivenCookiesAreMergedWithReceivedOnes) {
  FetchArgs args;
  args.cookies = Text("a=1; b=2");
  ReadResponse(Text(kUrl), args, Block(k200 + "Set-Cookie: b = 3; path=/\r\n"), Bytes(), true);
  EXPECT_EQ(args.cookies->bytes(), "b=3; a=1");
  EXPECT_EQ(args.cookiesReceived.bytes(), "b=3");
}

TEST(ReadResponseCookiesTest, CookiesGivenEmptyReceiveTheResponsesCookies) {
  FetchArgs args;
  args.cookies = Text();
  ReadResponse(Text(kUrl), args, Block(k200 + "Set-Cookie: x=1; path=/\r\n"), Bytes(), true);
  EXPECT_EQ(args.cookies->bytes(), "x=1");
}

TEST(ReadResponseCookiesTest, ZeroByteInBodyEndsThePage) {
  FetchArgs args;
  const ResponseReading reading =
      ReadResponse(Text(kUrl), args, Block(k200), Bytes(std::string("ab\0cd", 5)), true);
  EXPECT_EQ(reading.body.bytes(), "ab");
}

}  // namespace
}  // namespace tessaly
