#include "hanging_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

namespace tessaly::bench {

HangingServer::HangingServer(std::function<void()> onRequest) : onRequest_(std::move(onRequest)) {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listenFd_, 64) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      pipe2(wakeFds_, O_CLOEXEC) != 0) {
    if (listenFd_ >= 0) close(listenFd_);
    throw std::runtime_error("hanging server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HangingServer::~HangingServer() {
  const char stop = 's';
  [[maybe_unused]] const ssize_t written = write(wakeFds_[1], &stop, 1);
  thread_.join();
  close(listenFd_);
  close(wakeFds_[0]);
  close(wakeFds_[1]);
}

std::string HangingServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void HangingServer::Serve() {
  // Slot 0: the stop pipe, slot 1: the listening socket, then one per client.
  std::vector<pollfd> watched = {{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
  std::vector<bool> heardFrom = {false, false};
  for (;;) {
    if (poll(watched.data(), watched.size(), -1) < 0) continue;
    if (watched[0].revents != 0) break;
    if ((watched[1].revents & POLLIN) != 0) {
      const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        watched.push_back({client, POLLIN, 0});
        heardFrom.push_back(false);
      }
    }
    for (std::size_t i = 2; i < watched.size();) {
      if (watched[i].revents == 0) {
        ++i;
        continue;
      }
      char buffer[4096];
      const ssize_t got = read(watched[i].fd, buffer, sizeof buffer);
      if (got <= 0) {  // the client gave up: forget the connection
        close(watched[i].fd);
        watched.erase(watched.begin() + static_cast<std::ptrdiff_t>(i));
        heardFrom.erase(heardFrom.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      if (!heardFrom[i]) {
        heardFrom[i] = true;
        onRequest_();
      }
      ++i;
    }
  }
  for (std::size_t i = 2; i < watched.size(); ++i) close(watched[i].fd);
}

}  // namespace tessaly::bench
