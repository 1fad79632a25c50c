// A loopback server that accepts every connection, reads what the client
// sends and never answers: a fetch from it waits until it is cut short.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaly::bench {

class HangingServer {
 public:
  // onRequest runs on the server's thread whenever a connection has sent its
  // first bytes (the client is then inside its fetch).
  explicit HangingServer(std::function<void()> onRequest);
  ~HangingServer();
  HangingServer(const HangingServer&) = delete;
  HangingServer& operator=(const HangingServer&) = delete;

  // "http://127.0.0.1:PORT/"
  std::string BaseUrl() const;

 private:
  void Serve();

  std::function<void()> onRequest_;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
};

}  // namespace tessaly::bench
