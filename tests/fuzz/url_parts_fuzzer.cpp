// UrlHost with every option combination, UrlPort and UrlPath over fuzzed URLs.
//
// Input: separator, controls [domainLevels x4], URL.
#include <cstdint>
#include <optional>

#include "fuzz_input.h"
#include "http/url_parts.h"

namespace tessaly::fuzz {
namespace {

void CheckHost(const Text& url, bool shortDomain, std::optional<int> domainLevels) {
  const UrlHostOptions withoutPort{
      .shortDomain = shortDomain, .keepPort = false, .domainLevels = domainLevels};
  UrlHostOptions withPort = withoutPort;
  withPort.keepPort = true;
  const Text host = UrlHost(url, withoutPort);
  const Text hostAndPort = UrlHost(url, withPort);
  RequireNoZero(host, "UrlHost holds no zero byte");
  Require(TxLower(host) == host && TxLower(hostAndPort) == hostAndPort, "UrlHost is lower case");
  Require(TxFind(host, ":") == kNotFound, "without keepPort no port is left");
  Require(hostAndPort.view().starts_with(host.view()), "the port only adds to the host");
  if (!domainLevels) {
    Require(TxFind(hostAndPort, "/") == kNotFound, "the host ends before the first slash");
  }
}

}  // namespace
}  // namespace tessaly::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::fuzz;
  const FuzzInput input(data, size, 4);
  const Text url(input.Rest());
  for (const bool shortDomain : {false, true}) {
    CheckHost(url, shortDomain, std::nullopt);
    CheckHost(url, shortDomain, input.IntControl(0));
    for (int levels = -1; levels <= 3; ++levels) CheckHost(url, shortDomain, levels);
  }

  (void)UrlPort(url);
  const Text path = UrlPath(url);
  Require(path.view().starts_with("/"), "UrlPath starts with a slash");
  Require(path == Text("/") || url.view().ends_with(path.view()), "UrlPath is the URL's tail");
  return 0;
}
