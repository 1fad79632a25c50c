#include "http/page_fetch.h"

#include "http/http_transport.h"
#include "http/page_fetch_steps.h"
#include "http/url_parts.h"

namespace tessaly {

const char* const kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; ZK4QT; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.648; .NET CLR 3.5.21022)";

namespace {

// How many times in a row a "301 Moved" answer is fetched anew; at the bound
// the last 301 response is read like any other page.
constexpr int kMaxMovedFetches = 5;

TransportRequest RequestFor(const Text& url, const FetchArgs& args, const RequestPlan& plan) {
  TransportRequest request;
  request.verb = plan.verb.bytes();
  request.secure = TxLower(TxLeft(url, 5)) == Text("https");
  for (const Text& line : TxSplit(args.extraHeaders, "\r\n")) {
    if (!line.empty()) request.headerLines.push_back(line.bytes());
  }
  request.userAgent = plan.agent.bytes();
  if (plan.sendBody) request.body = args.postBytes.data();
  request.useSharedCookies = !args.cookies.has_value();
  request.followRedirects = !args.noAutoRedirect;
  if (args.proxy) request.proxy = args.proxy->bytes();
  return request;
}

Text FetchPageWithMovesLeft(const Text& url, FetchArgs& args, int movesLeft) {
  const std::string host = UrlHost(url).bytes();
  const int port = UrlPort(url);
  const std::string path = UrlPath(url).bytes();
  CancelToken* token = CurrentCancelToken();
  // A request that cannot be made changes none of the caller's variables.
  if (!IsRequestableTarget(host, port, path) || (token != nullptr && token->IsCancelled())) {
    return Text();
  }

  const RequestPlan plan = PrepareRequest(url, args);
  TransportRequest request = RequestFor(url, args, plan);
  request.host = host;
  request.port = port;
  request.path = path;
  TransportResponse response = HttpTransport::ForThisThread().Perform(request, token);

  std::optional<std::string_view> headerBlock;
  if (response.headerBlock) headerBlock = *response.headerBlock;
  ResponseReading reading =
      ReadResponse(url, args, headerBlock, Bytes(std::move(response.body)), movesLeft > 0);
  if (reading.movedTo) return FetchPageWithMovesLeft(*reading.movedTo, args, movesLeft - 1);
  args.bodyWasUtf8 = reading.bodyWasUtf8;
  return std::move(reading.body);
}

}  // namespace

Text FetchPage(const Text& url, bool* bodyWasUtf8) {
  FetchArgs args;
  Text page = FetchPage(url, args);
  if (bodyWasUtf8 != nullptr) *bodyWasUtf8 = args.bodyWasUtf8;
  return page;
}

Text FetchPage(const Text& url, FetchArgs& args) {
  args.bodyWasUtf8 = false;
  return FetchPageWithMovesLeft(url, args, kMaxMovedFetches);
}

}  // namespace tessaly
