#include "scripted_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>

namespace tessaly::test {

namespace {

int BoundLoopbackSocket(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

std::string LoopbackUrl(int port, std::string_view pathAndQuery) {
  return "http://127.0.0.1:" + std::to_string(port) + std::string(pathAndQuery);
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// The Content-Length of a request head, 0 when it has none.
std::size_t ContentLength(std::string_view head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoull(lower.c_str() + at + 17, nullptr, 10));
}

// Unread request bytes make close() send a reset; a graceful close reads
// them away first.
void CloseGracefully(int fd) {
  shutdown(fd, SHUT_WR);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  char sink[4096];
  while (recv(fd, sink, sizeof sink, 0) > 0) {
  }
  close(fd);
}

void CloseWithReset(int fd) {
  linger abortive{};
  abortive.l_onoff = 1;
  abortive.l_linger = 0;
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  close(fd);
}

}  // namespace

ServerStep Respond(std::string bytes) {
  return {ServerStep::Kind::kRespond, std::move(bytes)};
}
ServerStep RespondToAll(std::string bytes) {
  return {ServerStep::Kind::kRespondToAll, std::move(bytes)};
}
ServerStep ReadRequest() {
  return {ServerStep::Kind::kReadRequest, {}};
}
ServerStep Send(std::string bytes) {
  return {ServerStep::Kind::kSend, std::move(bytes)};
}
ServerStep Drip(std::string bytes, std::chrono::milliseconds gap) {
  return {ServerStep::Kind::kDrip, std::move(bytes), gap};
}
ServerStep Hang() {
  return {ServerStep::Kind::kHang, {}};
}
ServerStep Reset() {
  return {ServerStep::Kind::kReset, {}};
}

ServerStep Repeat(std::string bytes, std::size_t times) {
  ServerStep step{ServerStep::Kind::kRepeat, std::move(bytes)};
  step.times = times;
  return step;
}

std::string HttpResponse(std::string_view statusLine, std::string_view headerLines,
                         std::string_view body) {
  std::string response(statusLine);
  response += "\r\n";
  response += headerLines;
  response += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  response += body;
  return response;
}

ScriptedHttpServer::ScriptedHttpServer() {
  listenFd_ = BoundLoopbackSocket(port_);
  if (listen(listenFd_, 64) != 0) throw std::runtime_error("listen failed");
  wakeFd_ = eventfd(0, EFD_CLOEXEC);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const int fd : openFds_) shutdown(fd, SHUT_RDWR);
  }
  changed_.notify_all();
  const std::uint64_t one = 1;
  (void)!write(wakeFd_, &one, sizeof one);
  acceptThread_.join();
  for (std::thread& thread : connectionThreads_) thread.join();
  close(listenFd_);
  close(wakeFd_);
}

std::string ScriptedHttpServer::Url(std::string_view pathAndQuery) const {
  return LoopbackUrl(port_, pathAndQuery);
}

void ScriptedHttpServer::AddConnection(ConnectionScript script) {
  std::lock_guard lock(mutex_);
  scripts_.push_back(std::move(script));
}

std::vector<std::string> ScriptedHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedHttpServer::WaitForRequests(std::size_t count) const {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopping_ || requests_.size() >= count; });
}

int ScriptedHttpServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connectionCount_;
}

void ScriptedHttpServer::ReleaseHangs() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

void ScriptedHttpServer::AcceptLoop() {
  while (true) {
    pollfd watched[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(watched, 2, -1) < 0) continue;
    if ((watched[1].revents & POLLIN) != 0) return;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      close(fd);
      return;
    }
    ++connectionCount_;
    ConnectionScript script;
    if (!scripts_.empty()) {
      script = scripts_[std::min(nextScript_, scripts_.size() - 1)];
      ++nextScript_;
    }
    openFds_.insert(fd);
    connectionThreads_.emplace_back([this, fd, script = std::move(script)] { Serve(fd, script); });
  }
}

bool ScriptedHttpServer::ReadOneRequest(int fd, std::string& pending) {
  std::size_t headEnd = std::string::npos;
  while (true) {
    headEnd = pending.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      const std::size_t total = headEnd + 4 + ContentLength(pending.substr(0, headEnd + 2));
      if (pending.size() >= total) {
        std::lock_guard lock(mutex_);
        requests_.push_back(pending.substr(0, total));
        pending.erase(0, total);
        changed_.notify_all();
        return true;
      }
    }
    char buffer[16384];
    const ssize_t received = recv(fd, buffer, sizeof buffer, 0);
    if (received <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(received));
  }
}

void ScriptedHttpServer::WaitForRelease() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stopping_ || released_; });
}

void ScriptedHttpServer::Pause(std::chrono::milliseconds gap) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, gap, [this] { return stopping_; });
}

void ScriptedHttpServer::Serve(int fd, ConnectionScript script) {
  std::string pending;
  bool reset = false;
  for (const ServerStep& step : script) {
    bool goOn = true;
    switch (step.kind) {
      case ServerStep::Kind::kRespond:
        goOn = ReadOneRequest(fd, pending) && SendAll(fd, step.bytes);
        break;
      case ServerStep::Kind::kRespondToAll:
        while (ReadOneRequest(fd, pending) && SendAll(fd, step.bytes)) {
        }
        goOn = false;
        break;
      case ServerStep::Kind::kReadRequest:
        goOn = ReadOneRequest(fd, pending);
        break;
      case ServerStep::Kind::kSend:
        goOn = SendAll(fd, step.bytes);
        break;
      case ServerStep::Kind::kDrip:
        for (const char byte : step.bytes) {
          if (!SendAll(fd, std::string_view(&byte, 1))) {
            goOn = false;
            break;
          }
          Pause(step.gap);
        }
        break;
      case ServerStep::Kind::kHang:
        WaitForRelease();
        break;
      case ServerStep::Kind::kReset:
        reset = true;
        goOn = false;
        break;
      case ServerStep::Kind::kRepeat:
        // Ends when the client closes; the destructor's shutdown ends it too.
        for (std::size_t sent = 0; goOn && (step.times == 0 || sent < step.times); ++sent) {
          goOn = SendAll(fd, step.bytes);
        }
        break;
    }
    if (!goOn) break;
  }
  {
    std::lock_guard lock(mutex_);
    openFds_.erase(fd);
  }
  if (reset) {
    CloseWithReset(fd);
  } else {
    CloseGracefully(fd);
  }
}

ClosedPort::ClosedPort() {
  fd_ = BoundLoopbackSocket(port_);
}

ClosedPort::~ClosedPort() {
  close(fd_);
}

std::string ClosedPort::Url(std::string_view pathAndQuery) const {
  return LoopbackUrl(port_, pathAndQuery);
}

// Backlog 0 lets one connection wait in the accept queue; the filler takes
// that place, so every later SYN finds the queue full and is dropped.
StalledConnectPort::StalledConnectPort() {
  listenFd_ = BoundLoopbackSocket(port_);
  if (listen(listenFd_, 0) != 0) throw std::runtime_error("listen failed");
  fillerFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  if (fillerFd_ < 0 ||
      connect(fillerFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("filler connect failed");
  }
}

StalledConnectPort::~StalledConnectPort() {
  close(fillerFd_);
  close(listenFd_);
}

std::string StalledConnectPort::Url(std::string_view pathAndQuery) const {
  return LoopbackUrl(port_, pathAndQuery);
}

}  // namespace tessaly::test
