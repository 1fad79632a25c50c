// DemoSiteServer: the demo site over HTTP/1.1 on 127.0.0.1.
//
// Serves on background threads (one per connection, up to
// kMaxDemoConnections at once) with keep-alive and Content-Length bodies, no
// delays. GET and POST get the page for the target (a request body is read
// and dropped), HEAD its headers. The destructor stops the server: it closes
// every connection and joins every thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "demo-site/catalogue.h"

namespace tessaly::demo {

inline constexpr int kMaxDemoConnections = 64;
// A request header block beyond this size is answered with 431 and closes the connection.
inline constexpr std::size_t kMaxRequestHeaderBytes = 16 * 1024;
// A declared request body beyond this size is answered with 413 and closes the connection.
inline constexpr std::size_t kMaxRequestBodyBytes = 1024 * 1024;

struct DemoSiteOptions {
  std::uint16_t port = 0;      // 0: an ephemeral port, see Port()
  bool recordTargets = false;  // keep every request target for RequestedTargets()
};

class DemoSiteServer {
 public:
  // Binds 127.0.0.1 and starts serving. Throws std::system_error when the
  // port cannot be bound.
  explicit DemoSiteServer(Catalogue catalogue, DemoSiteOptions options = {});
  ~DemoSiteServer();
  DemoSiteServer(const DemoSiteServer&) = delete;
  DemoSiteServer& operator=(const DemoSiteServer&) = delete;

  std::uint16_t Port() const;
  // "http://127.0.0.1:PORT/", the site's base URL.
  std::string BaseUrl() const;
  const Catalogue& SiteCatalogue() const;

  // Connections accepted so far.
  int AcceptedConnections() const;
  // Request targets in the order they were answered (only with recordTargets).
  std::vector<std::string> RequestedTargets() const;

  // Stops serving and joins every thread; idempotent.
  void Stop();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tessaly::demo
