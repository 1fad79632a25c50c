// The page fetch without the network: the request's header block, then the
// header walk, cookie merge, 301 test and UTF-8 detection of a response.
//
// Input: separator, controls [flags: bit 0 cookies given, bit 1 may follow a
// 301, bit 2 a header block arrived, bit 3 POST], then pieces header block,
// body, URL, cookies, redirect target before the call, extra headers.
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_input.h"
#include "http/cookies.h"
#include "http/page_fetch_steps.h"
#include "http/url_parts.h"
#include "text/codepage.h"

namespace tessaly::fuzz {
namespace {

bool Holds(const Text& text, const char* needle, bool caseInsensitive = false) {
  return TxFind(text, Text(needle), std::nullopt, caseInsensitive) != kNotFound;
}

void CheckRequest(const Text& url, FetchArgs& args) {
  const Text given = args.extraHeaders;
  const RequestPlan plan = PrepareRequest(url, args);
  Require(plan.verb == Text(args.method == 1 ? "POST" : "GET"), "the verb follows the method");
  Require(args.extraHeaders.view().starts_with(given.view()), "the caller's lines stay first");
  for (const char* name : {"Referer:", "Accept:", "Accept-Language:", "Content-Type:"}) {
    Require(Holds(args.extraHeaders, name), "the block holds every default header");
  }
  RequireNoZero(plan.agent, "the agent holds no zero byte");
  Require(plan.sendBody == (args.method != 0), "a body goes with every request but a GET");
}

}  // namespace
}  // namespace tessaly::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::fuzz;
  const FuzzInput input(data, size, 1);
  const bool cookiesGiven = input.Flag(0, 0);
  const bool mayFollowMoved = input.Flag(0, 1);
  const std::optional<std::string_view> rawHeaders =
      input.Flag(0, 2) ? std::optional<std::string_view>(input.Piece(0)) : std::nullopt;
  const Bytes body = input.BytesPiece(1);
  const Text url = input.TextPiece(2);

  FetchArgs args;
  args.method = input.Flag(0, 3) ? 1 : 0;
  if (cookiesGiven) args.cookies = input.TextPiece(3);
  args.redirectTarget = input.TextPiece(4);
  args.extraHeaders = input.TextPiece(5);
  CheckRequest(url, args);

  const std::optional<Text> oldCookies = args.cookies;
  const ResponseReading reading = ReadResponse(url, args, rawHeaders, body, mayFollowMoved);

  const bool fits = rawHeaders && rawHeaders->size() < kResponseHeaderBufferBytes;
  Require(args.responseHeaders == (fits ? Text(*rawHeaders) : TxSpaces(kResponseHeaderBufferBytes)),
          "responseHeaders is the block when it fits, else 5000 blanks");
  RequireNoZero(args.cookiesReceived, "cookiesReceived holds no zero byte");
  if (oldCookies) {
    Text old = *oldCookies;
    Text received = args.cookiesReceived;
    Require(MergeCookies(old, received) == *args.cookies, "given cookies receive the merge");
    Require(TxStripSpaces(args.cookiesReceived) == args.cookiesReceived,
            "merging strips the blanks of cookiesReceived");
  }

  const bool moved = TextBetween(args.responseHeaders, "HTTP/1.1 ", " Moved") == Text("301");
  Require(reading.movedTo.has_value() == (mayFollowMoved && moved),
          "a 301 Moved is followed exactly when allowed");
  if (reading.movedTo) {
    Require(reading.movedTo->view().ends_with(UrlPath(url).view()),
            "the moved URL ends with the requested path");
    Require(args.redirectTarget.empty(), "a followed redirect clears redirectTarget");
    Require(reading.body.empty(), "the body of a 301 is dropped");
    return 0;
  }
  Require(!args.redirectTarget.empty() || args.responseHeaders.empty(),
          "redirectTarget falls back to the header text");
  RequireNoZero(reading.body, "the body holds no zero byte");
  Require(reading.body == (reading.bodyWasUtf8 ? BxToText(Utf8BytesToGbk(body)) : BxToText(body)),
          "the body is converted exactly when it was taken as UTF-8");
  if (!reading.bodyWasUtf8) {
    Require(!Holds(args.responseHeaders, "utf-8", true), "headers naming utf-8 select UTF-8");
  }
  return 0;
}
