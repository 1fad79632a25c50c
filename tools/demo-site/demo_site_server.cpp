#include "demo-site/demo_site_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <list>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "demo-site/site_pages.h"

namespace tessaly::demo {
namespace {

// A connection with no complete request for this long is closed.
constexpr int kIdleTimeoutMs = 30'000;
constexpr std::size_t kReadChunk = 16 * 1024;

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
};

[[noreturn]] void ThrowSystemError(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

struct Request {
  std::string method;
  std::string target;
  bool http10 = false;
  std::optional<std::size_t> contentLength;
  bool chunkedBody = false;
  bool connectionClose = false;
  bool connectionKeepAlive = false;
  bool expectContinue = false;
};

// Parses a header block. Empty on malformed input.
std::optional<Request> ParseRequest(std::string_view block) {
  std::vector<std::string_view> lines;
  while (!block.empty()) {
    const std::size_t lf = block.find('\n');
    std::string_view line = block.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    block = lf == std::string_view::npos ? std::string_view() : block.substr(lf + 1);
  }
  if (lines.empty()) return std::nullopt;

  Request request;
  const std::string_view requestLine = lines.front();
  const std::size_t firstSpace = requestLine.find(' ');
  const std::size_t lastSpace = requestLine.rfind(' ');
  if (firstSpace == std::string_view::npos || firstSpace == lastSpace) return std::nullopt;
  request.method = requestLine.substr(0, firstSpace);
  request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
  const std::string_view version = requestLine.substr(lastSpace + 1);
  if (request.method.empty() || request.target.empty() || version.size() != 8 ||
      version.substr(0, 7) != "HTTP/1.") {
    return std::nullopt;
  }
  request.http10 = version == "HTTP/1.0";

  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;  // the blank line that ends the block
    const std::size_t colon = lines[i].find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::string_view name = lines[i].substr(0, colon);
    const std::string_view value = TrimBlanks(lines[i].substr(colon + 1));
    if (EqualsIgnoringCase(name, "Content-Length")) {
      if (value.empty() || value.size() > 18) return std::nullopt;
      std::size_t length = 0;
      for (const char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        length = length * 10 + static_cast<std::size_t>(c - '0');
      }
      if (request.contentLength && *request.contentLength != length) return std::nullopt;
      request.contentLength = length;
    } else if (EqualsIgnoringCase(name, "Transfer-Encoding")) {
      request.chunkedBody = !EqualsIgnoringCase(value, "identity");
    } else if (EqualsIgnoringCase(name, "Expect")) {
      request.expectContinue = EqualsIgnoringCase(value, "100-continue");
    } else if (EqualsIgnoringCase(name, "Connection")) {
      std::string_view tokens = value;
      while (!tokens.empty()) {
        const std::size_t comma = tokens.find(',');
        const std::string_view token = TrimBlanks(tokens.substr(0, comma));
        if (EqualsIgnoringCase(token, "close")) request.connectionClose = true;
        if (EqualsIgnoringCase(token, "keep-alive")) request.connectionKeepAlive = true;
        tokens = comma == std::string_view::npos ? std::string_view() : tokens.substr(comma + 1);
      }
    }
  }
  return request;
}

// Offset just past the blank line that ends the header block, or npos.
std::size_t FindHeaderEnd(std::string_view buffer) {
  const std::size_t crlf = buffer.find("\r\n\r\n");
  const std::size_t lf = buffer.find("\n\n");
  if (crlf == std::string_view::npos && lf == std::string_view::npos) return std::string_view::npos;
  if (lf == std::string_view::npos || (crlf != std::string_view::npos && crlf < lf)) {
    return crlf + 4;
  }
  return lf + 2;
}

std::string ResponseHead(int status, std::string_view reason, std::string_view contentType,
                         std::size_t contentLength, bool keepAlive,
                         std::string_view extraHeader = {}) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  head += "Server: tessaly-demo-site\r\n";
  head += "Content-Type: " + std::string(contentType) + "\r\n";
  head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
  if (!extraHeader.empty()) head += std::string(extraHeader) + "\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  head += "\r\n";
  return head;
}

std::string ErrorResponse(int status, std::string_view reason, bool keepAlive,
                          std::string_view extraHeader = {}) {
  const std::string body = std::to_string(status) + " " + std::string(reason) + "\r\n";
  return ResponseHead(status, reason, "text/plain; charset=utf-8", body.size(), keepAlive,
                      extraHeader) +
         body;
}

}  // namespace

struct DemoSiteServer::State {
  struct Connection {
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  State(Catalogue siteCatalogue, DemoSiteOptions serverOptions)
      : catalogue(std::move(siteCatalogue)), options(serverOptions) {}

  void Bind();
  void AcceptLoop();
  void ServeConnection(FileDescriptor socket);
  void ReapFinishedConnections();
  // Waits for `events` on fd; false on stop, time-out or error.
  bool WaitFor(int fd, short events) const;
  // Appends what arrives next; false when the peer closed, on stop, time-out or error.
  bool ReadMore(const FileDescriptor& socket, std::string& buffer) const;
  bool SendAll(const FileDescriptor& socket, std::string_view data) const;

  const Catalogue catalogue;
  const DemoSiteOptions options;
  FileDescriptor listener;
  // Written once by Stop; every poll watches the read end, so one byte wakes all threads.
  FileDescriptor stopRead;
  FileDescriptor stopWrite;
  std::uint16_t port = 0;
  std::atomic<int> acceptedConnections{0};

  mutable std::mutex targetsMutex;
  std::vector<std::string> targets;

  std::mutex stopMutex;
  bool stopped = false;
  std::thread acceptThread;
  // Touched by the accept thread only.
  std::list<std::unique_ptr<Connection>> connections;
};

void DemoSiteServer::State::Bind() {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowSystemError("pipe2");
  stopRead = FileDescriptor(pipeEnds[0]);
  stopWrite = FileDescriptor(pipeEnds[1]);

  listener = FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.Valid()) ThrowSystemError("socket");
  const int on = 1;
  ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options.port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ThrowSystemError("bind 127.0.0.1:" + std::to_string(options.port));
  }
  if (::listen(listener.Get(), 128) != 0) ThrowSystemError("listen");
  socklen_t length = sizeof address;
  if (::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ThrowSystemError("getsockname");
  }
  port = ntohs(address.sin_port);
}

bool DemoSiteServer::State::WaitFor(int fd, short events) const {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stopRead.Get(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, kIdleTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || fds[1].revents != 0) return false;
    return fds[0].revents != 0;
  }
}

bool DemoSiteServer::State::ReadMore(const FileDescriptor& socket, std::string& buffer) const {
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t got = ::recv(socket.Get(), chunk, sizeof chunk, 0);
    if (got > 0) {
      buffer.append(chunk, static_cast<std::size_t>(got));
      return true;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    if (!WaitFor(socket.Get(), POLLIN)) return false;
  }
}

bool DemoSiteServer::State::SendAll(const FileDescriptor& socket, std::string_view data) const {
  while (!data.empty()) {
    const ssize_t sent = ::send(socket.Get(), data.data(), data.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(socket.Get(), POLLOUT)) return false;
      continue;
    }
    return false;
  }
  return true;
}

void DemoSiteServer::State::ServeConnection(FileDescriptor socket) {
  std::string buffer;
  for (;;) {
    std::size_t headerEnd = std::string::npos;
    for (;;) {
      // Blank lines before a request line are allowed and skipped.
      const std::size_t start = buffer.find_first_not_of("\r\n");
      buffer.erase(0, start == std::string::npos ? buffer.size() : start);
      headerEnd = FindHeaderEnd(buffer);
      if (headerEnd != std::string::npos) break;
      if (buffer.size() > kMaxRequestHeaderBytes) {
        SendAll(socket, ErrorResponse(431, "Request Header Fields Too Large", false));
        return;
      }
      if (!ReadMore(socket, buffer)) return;
    }
    if (headerEnd > kMaxRequestHeaderBytes) {
      SendAll(socket, ErrorResponse(431, "Request Header Fields Too Large", false));
      return;
    }
    const std::optional<Request> request =
        ParseRequest(std::string_view(buffer).substr(0, headerEnd));
    buffer.erase(0, headerEnd);
    if (!request) {
      SendAll(socket, ErrorResponse(400, "Bad Request", false));
      return;
    }
    // A chunked body could only be skipped by decoding it; the site never needs one.
    if (request->chunkedBody) {
      SendAll(socket, ErrorResponse(501, "Not Implemented", false));
      return;
    }
    std::size_t bodyLeft = request->contentLength.value_or(0);
    if (bodyLeft > kMaxRequestBodyBytes) {
      SendAll(socket, ErrorResponse(413, "Content Too Large", false));
      return;
    }
    if (bodyLeft > 0 && request->expectContinue && buffer.empty()) {
      if (!SendAll(socket, "HTTP/1.1 100 Continue\r\n\r\n")) return;
    }
    // The body is read and dropped, so the next request on the connection starts clean.
    while (bodyLeft > 0) {
      if (buffer.empty() && !ReadMore(socket, buffer)) return;
      const std::size_t dropped = std::min(bodyLeft, buffer.size());
      buffer.erase(0, dropped);
      bodyLeft -= dropped;
    }

    const bool keepAlive =
        !request->connectionClose && (!request->http10 || request->connectionKeepAlive);
    if (options.recordTargets) {
      const std::lock_guard lock(targetsMutex);
      targets.push_back(request->target);
    }

    std::string response;
    const bool head = request->method == "HEAD";
    if (request->method != "GET" && request->method != "POST" && !head) {
      response = ErrorResponse(405, "Method Not Allowed", keepAlive, "Allow: GET, HEAD, POST");
    } else {
      const SiteResponse page = RespondToTarget(catalogue, request->target);
      response =
          ResponseHead(page.status, page.reason, page.contentType, page.body.size(), keepAlive);
      if (!head) response += page.body;
    }
    if (!SendAll(socket, response) || !keepAlive) return;
  }
}

void DemoSiteServer::State::ReapFinishedConnections() {
  for (auto it = connections.begin(); it != connections.end();) {
    if ((*it)->finished.load()) {
      (*it)->thread.join();
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

void DemoSiteServer::State::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listener.Get(), POLLIN, 0}, {stopRead.Get(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[1].revents != 0) break;
    FileDescriptor socket(
        ::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!socket.Valid()) {
      // Out of descriptors: the pending connection stays queued, so wait a
      // little (or for the stop) instead of spinning on it.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        pollfd stop{stopRead.Get(), POLLIN, 0};
        ::poll(&stop, 1, 100);
      }
      continue;
    }
    ReapFinishedConnections();
    if (connections.size() >= static_cast<std::size_t>(kMaxDemoConnections)) {
      const std::string busy = ErrorResponse(503, "Service Unavailable", false);
      ::send(socket.Get(), busy.data(), busy.size(), MSG_NOSIGNAL);
      continue;
    }
    acceptedConnections.fetch_add(1);
    const int on = 1;
    ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto connection = std::make_unique<Connection>();
    Connection& slot = *connection;
    connections.push_back(std::move(connection));
    slot.thread = std::thread([this, &slot, accepted = std::move(socket)]() mutable {
      ServeConnection(std::move(accepted));
      slot.finished.store(true);
    });
  }
  for (const auto& connection : connections) connection->thread.join();
  connections.clear();
}

DemoSiteServer::DemoSiteServer(Catalogue catalogue, DemoSiteOptions options)
    : state_(std::make_unique<State>(std::move(catalogue), options)) {
  state_->Bind();
  state_->acceptThread = std::thread([state = state_.get()] { state->AcceptLoop(); });
}

DemoSiteServer::~DemoSiteServer() {
  Stop();
}

void DemoSiteServer::Stop() {
  const std::lock_guard lock(state_->stopMutex);
  if (state_->stopped) return;
  state_->stopped = true;
  const char wake = 1;
  while (::write(state_->stopWrite.Get(), &wake, 1) < 0 && errno == EINTR) {
  }
  if (state_->acceptThread.joinable()) state_->acceptThread.join();
}

std::uint16_t DemoSiteServer::Port() const {
  return state_->port;
}

std::string DemoSiteServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + "/";
}

const Catalogue& DemoSiteServer::SiteCatalogue() const {
  return state_->catalogue;
}

int DemoSiteServer::AcceptedConnections() const {
  return state_->acceptedConnections.load();
}

std::vector<std::string> DemoSiteServer::RequestedTargets() const {
  const std::lock_guard lock(state_->targetsMutex);
  return state_->targets;
}

}  // namespace tessaly::demo
