// Splitting a URL into host, port and path by plain text search, the way the
// page fetch hands them to the transport. No general URL parser is behind it.
#pragma once

#include <optional>

#include "text/text.h"

namespace tessaly {

struct UrlHostOptions {
  bool shortDomain = false;
  bool keepPort = false;
  // Given (even as 0) selects the label-counting form.
  std::optional<int> domainLevels;
};

// Lower-cased host, without port unless keepPort.
Text UrlHost(const Text& url, const UrlHostOptions& options = {});
int UrlPort(const Text& url);
// Path with query from the "/" after the host; "/" when there is none.
Text UrlPath(const Text& url);

}  // namespace tessaly
