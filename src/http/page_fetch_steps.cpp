#include "http/page_fetch_steps.h"

#include "http/cookies.h"
#include "http/url_parts.h"
#include "text/codepage.h"

namespace tessaly {

namespace {

bool Holds(const Text& text, const Text& needle, bool caseInsensitive = false) {
  return TxFind(text, needle, std::nullopt, caseInsensitive) != kNotFound;
}

Text AgentFor(const Text& headerBlock) {
  if (!Holds(headerBlock, "User-Agent:", true)) return Text(kDefaultUserAgent);
  // The value is cut out case-sensitively; when that finds nothing (the line
  // is the last one, or written in another case) the whole block's first
  // header value stands in.
  Text agent = TxTrim(TextBetween(headerBlock, "User-Agent:", "\r\n"));
  if (agent.empty()) agent = HeaderValue(headerBlock);
  return agent;
}

void CompleteHeaderBlock(const Text& url, FetchArgs& args) {
  Text& block = args.extraHeaders;
  if (!Holds(block, "Referer:")) {
    block += TxJoin(Text(block.empty() ? "Referer: " : "\r\nReferer: "), url);
  }
  if (!Holds(block, "Accept:")) block += Text("\r\nAccept: */*");
  if (!Holds(block, "Accept-Language:")) block += Text("\r\nAccept-Language: zh-cn");
  if (!Holds(block, "Content-Type:")) {
    block += Text("\r\nContent-Type: application/x-www-form-urlencoded");
  }
  if (args.cookies && !args.cookies->empty()) {
    block += TxJoin(Text("\r\nCookie: "), *args.cookies);
  }
}

void WalkHeaderLines(FetchArgs& args) {
  args.cookiesReceived = Text();
  for (const Text& line : TxSplit(args.responseHeaders, "\r\n")) {
    if (Holds(line, "Location:")) args.redirectTarget = HeaderValue(line);
    if (Holds(line, "Set-Cookie")) {
      args.cookiesReceived += TxJoin(TxTrim(TextBetween(line, "Set-Cookie:", ";")), Text("; "));
    }
  }
  args.cookiesReceived = TxLeft(args.cookiesReceived, TxLen(args.cookiesReceived) - 2);
}

// "utf-8" starting within the first 499 bytes of the body, or anywhere in the
// response headers in any letter case.
bool LooksLikeUtf8(const Bytes& body, const Text& responseHeaders) {
  const int at = BxFind(body, Bytes(std::string_view("utf-8")));
  return (at != kNotFound && at < 500) || Holds(responseHeaders, "utf-8", true);
}

}  // namespace

RequestPlan PrepareRequest(const Text& url, FetchArgs& args) {
  RequestPlan plan;
  plan.verb = Text(args.method == 1 ? "POST" : "GET");
  plan.agent = AgentFor(args.extraHeaders);
  CompleteHeaderBlock(url, args);
  if (args.method != 0) {
    if (args.postBytes.empty()) args.postBytes = TxToBytes(args.postText);
    plan.sendBody = true;
  }
  return plan;
}

ResponseReading ReadResponse(const Text& url, FetchArgs& args,
                             std::optional<std::string_view> rawHeaderBlock, const Bytes& body,
                             bool mayFollowMoved) {
  args.responseHeaders = TxSpaces(kResponseHeaderBufferBytes);
  if (rawHeaderBlock &&
      rawHeaderBlock->size() < static_cast<std::size_t>(kResponseHeaderBufferBytes)) {
    args.responseHeaders = Text(*rawHeaderBlock);
  }
  WalkHeaderLines(args);
  if (args.cookies) MergeCookies(*args.cookies, args.cookiesReceived);
  if (args.redirectTarget.empty()) args.redirectTarget = args.responseHeaders;

  ResponseReading reading;
  if (mayFollowMoved && TextBetween(args.responseHeaders, "HTTP/1.1 ", " Moved") == Text("301")) {
    // The requested path and query go after the Location whatever it holds.
    reading.movedTo = TxJoin(args.redirectTarget, UrlPath(url));
    args.redirectTarget = Text();
    return reading;
  }
  reading.bodyWasUtf8 = LooksLikeUtf8(body, args.responseHeaders);
  reading.body = BxToText(reading.bodyWasUtf8 ? Utf8BytesToGbk(body) : body);
  return reading;
}

}  // namespace tessaly
