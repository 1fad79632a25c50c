#include "http/url_parts.h"

namespace tessaly {

namespace {

// Everything from the first ":" on goes, unless the caller keeps the port.
Text ApplyPortStep(const Text& host, bool keepPort) {
  if (keepPort) return host;
  const int colon = TxFind(host, ":");
  return colon == kNotFound ? host : TxLeft(host, colon - 1);
}

Text HostBetweenSchemeAndSlash(const Text& url, bool shortDomain) {
  Text v = TxLower(url);
  if (TxRight(v, 1) != Text("/")) v += Text("/");
  if (TxLeft(v, 8) == Text("https://")) {
    v = TextBetween(v, "https://", "/");
  } else {
    if (TxFind(v, "http://") == kNotFound) v = Text("http://") + v;
    v = TextBetween(v, "http://", "/");
  }
  if (shortDomain) {
    const TextArray labels = TxSplit(v, ".");
    if (labels.size() >= 2) {
      v = TxJoin(labels[labels.size() - 2], Text("."), labels.back());
    }
  }
  return v;
}

// Keeps the last domainLevels + 1 labels (shortDomain) or + 2 labels,
// walking back through the dots from the end of the host.
Text HostByDomainLevels(const Text& url, bool shortDomain, int domainLevels) {
  Text v = TxLower(url);
  v = TxReplace(v, "http://", "");
  v = TxReplace(v, "https://", "");
  const int slash = TxFind(v, "/");
  if (slash != kNotFound) v = TxLeft(v, slash - 1);

  const int length = TxLen(v);
  int pos = length;
  // Once no dot is left pos stays -1, so the walk ends there (a huge
  // domainLevels must not spin).
  for (int step = 0; step < domainLevels && pos != kNotFound; ++step) pos = TxFindLast(v, ".", pos);
  const int p2 = TxFindLast(v, ".", pos);
  if (shortDomain) return TxRight(v, length - p2);
  if (p2 != kNotFound) {
    const int p3 = TxFindLast(v, ".", p2);
    if (p3 != kNotFound) return TxRight(v, length - p3);
  }
  return v;
}

}  // namespace

Text UrlHost(const Text& url, const UrlHostOptions& options) {
  const Text host = options.domainLevels
                        ? HostByDomainLevels(url, options.shortDomain, *options.domainLevels)
                        : HostBetweenSchemeAndSlash(url, options.shortDomain);
  return ApplyPortStep(host, options.keepPort);
}

int UrlPort(const Text& url) {
  UrlHostOptions withPort;
  withPort.keepPort = true;
  const Text hostAndPort = UrlHost(url, withPort);
  const int colon = TxFindLast(hostAndPort, ":");
  if (colon != kNotFound) return TxToInt(TxRight(hostAndPort, TxLen(hostAndPort) - colon));
  return TxLower(TxLeft(url, 5)) == Text("https") ? 443 : 80;
}

Text UrlPath(const Text& url) {
  const Text host = UrlHost(url);
  const int hostAt = TxFind(url, host, 1, true);
  const int slash = TxFind(url, "/", hostAt, true);
  if (slash <= 0) return Text("/");
  return TxRight(url, TxLen(url) - slash + 1);
}

}  // namespace tessaly
