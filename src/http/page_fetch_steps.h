// The page fetch without the network: what goes into a request and what a
// response means. Both steps are plain functions of the caller's arguments,
// the raw response header block and the body bytes, so they can be driven
// without a server (a fuzzer calls PrepareRequest, then ReadResponse).
#pragma once

#include <optional>
#include <string_view>

#include "http/page_fetch.h"
#include "text/text.h"

namespace tessaly {

// The size of the response header buffer: a block that does not fit in it
// with its terminating zero leaves it as that many blanks.
inline constexpr int kResponseHeaderBufferBytes = 5000;

struct RequestPlan {
  Text verb;              // "GET" or "POST"
  Text agent;             // the User-Agent, unless the header block has its own line
  bool sendBody = false;  // a body (args.postBytes, maybe empty) goes with the request
};

// Completes args.extraHeaders into the block to send (Referer, Accept,
// Accept-Language, Content-Type, Cookie) and fills args.postBytes from
// args.postText when a body is sent and postBytes is empty.
RequestPlan PrepareRequest(const Text& url, FetchArgs& args);

struct ResponseReading {
  // Given: the response was a "HTTP/1.1 301 Moved..." and this URL is the
  // next one to fetch with the same arguments; body and bodyWasUtf8 are
  // then unset.
  std::optional<Text> movedTo;
  Text body;  // the page as GBK text
  bool bodyWasUtf8 = false;
};

// Fills args.responseHeaders (the block, or blanks when there is none or it
// is too long), args.cookiesReceived and args.redirectTarget from the header
// walk, merges given cookies, then either names the 301 target (when
// mayFollowMoved) or detects UTF-8 and converts the body.
ResponseReading ReadResponse(const Text& url, FetchArgs& args,
                             std::optional<std::string_view> rawHeaderBlock, const Bytes& body,
                             bool mayFollowMoved);

}  // namespace tessaly
