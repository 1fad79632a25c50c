// FetchPage: the one way the program reads the web.
#pragma once

#include <optional>

#include "text/text.h"

namespace tessaly {

// The agent sent when the caller's header block has no User-Agent line.
extern const char* const kDefaultUserAgent;

// The optional arguments of a fetch. Fields marked in/out are variables of
// the caller that FetchPage writes; optionals count as given even when empty.
struct FetchArgs {
  int method = 0;                 // in: 0 = GET, 1 = POST
  Text postText;                  // in: body text, used when postBytes is empty
  std::optional<Text> cookies;    // in/out: given switches the shared store off
  Text cookiesReceived;           // out
  Text extraHeaders;              // in/out: becomes the whole block sent
  Text redirectTarget;            // in/out: Location value, else the header text
  bool noAutoRedirect = false;    // in
  Bytes postBytes;                // in/out
  std::optional<Text> proxy;      // in: host:port for http URLs
  Text responseHeaders;           // out: raw header block, or 5000 blanks
  bool bodyWasUtf8 = false;       // out: the body was recognised as UTF-8 and converted
};

// Fetches url and returns the body as GBK text (empty on failure). A stop of
// the calling thread's CancelToken ends the transfer at once.
Text FetchPage(const Text& url, bool* bodyWasUtf8 = nullptr);
Text FetchPage(const Text& url, FetchArgs& args);

}  // namespace tessaly
