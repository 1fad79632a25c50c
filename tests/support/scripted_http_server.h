// A loopback HTTP server for tests that answers with exactly the bytes a test
// chooses and records the raw bytes of every request it receives.
//
//   ScriptedHttpServer server;                 // 127.0.0.1, ephemeral port
//   server.AddConnection({Respond(HttpResponse("HTTP/1.1 200 OK", "", "hi"))});
//   FetchPage(Text(server.Url("/a")));
//   server.Requests()[0]                       // "GET /a HTTP/1.1\r\nHost: ..."
//
// Each accepted connection plays one script, a list of steps run in order;
// the connection is closed after its last step. Scripts are used in the order
// they were added; when they run out the last one is played again, and with
// none at all a connection is closed at once. A request is recorded as soon
// as it has been read, before the step's reply goes out, so a client that has
// its answer can read Requests() at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tessaly::test {

struct ServerStep {
  enum class Kind {
    kRespond,       // read one request, then send the bytes
    kRespondToAll,  // answer every request with the bytes until the client closes
    kReadRequest,   // read one request, send nothing
    kSend,          // send the bytes without reading
    kDrip,          // send the bytes one at a time, a gap after each
    kHang,          // do nothing until ReleaseHangs() or the server stops
    kReset,         // abortive close: the client sees a reset
    kRepeat,        // send the bytes `times` times over (0: until the client closes)
  };
  Kind kind = Kind::kRespond;
  std::string bytes;
  std::chrono::milliseconds gap{0};
  std::size_t times = 0;
};

ServerStep Respond(std::string bytes);
ServerStep RespondToAll(std::string bytes);
ServerStep ReadRequest();
ServerStep Send(std::string bytes);
ServerStep Drip(std::string bytes, std::chrono::milliseconds gap);
ServerStep Hang();
ServerStep Reset();
// Long or endless bodies without holding them in memory.
ServerStep Repeat(std::string bytes, std::size_t times = 0);

using ConnectionScript = std::vector<ServerStep>;

// statusLine CR LF, the header lines (each already ended by CR LF), a
// Content-Length line for the body, the empty line, the body.
std::string HttpResponse(std::string_view statusLine, std::string_view headerLines,
                         std::string_view body);

class ScriptedHttpServer {
 public:
  ScriptedHttpServer();
  // Ends every hang, closes every connection and joins every thread.
  ~ScriptedHttpServer();
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by pathAndQuery.
  std::string Url(std::string_view pathAndQuery = "/") const;

  void AddConnection(ConnectionScript script);

  // The raw bytes of every request read so far, in arrival order.
  std::vector<std::string> Requests() const;
  // Blocks until count requests have been read (or the server stops).
  void WaitForRequests(std::size_t count) const;
  int ConnectionCount() const;
  void ReleaseHangs();

 private:
  void AcceptLoop();
  void Serve(int fd, ConnectionScript script);
  bool ReadOneRequest(int fd, std::string& pending);
  void WaitForRelease();
  void Pause(std::chrono::milliseconds gap);  // ends early only when the server stops

  int listenFd_ = -1;
  int wakeFd_ = -1;
  int port_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  bool released_ = false;
  std::vector<ConnectionScript> scripts_;
  std::size_t nextScript_ = 0;
  std::vector<std::string> requests_;
  std::set<int> openFds_;
  int connectionCount_ = 0;
  std::vector<std::thread> connectionThreads_;
  std::thread acceptThread_;
};

// A loopback port that refuses connections: a socket bound to it that never
// listens, so no other test can take the port while this object lives.
class ClosedPort {
 public:
  ClosedPort();
  ~ClosedPort();
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  int Port() const { return port_; }
  std::string Url(std::string_view pathAndQuery = "/") const;

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A loopback port whose connects never complete: it listens with a full
// accept queue and never accepts, so a new connection's SYN is dropped and
// the client waits in connect until its own time-out or a stop.
class StalledConnectPort {
 public:
  StalledConnectPort();
  ~StalledConnectPort();
  StalledConnectPort(const StalledConnectPort&) = delete;
  StalledConnectPort& operator=(const StalledConnectPort&) = delete;
  int Port() const { return port_; }
  std::string Url(std::string_view pathAndQuery = "/") const;

 private:
  int listenFd_ = -1;
  int fillerFd_ = -1;  // the one connection that fills the queue
  int port_ = 0;
};

}  // namespace tessaly::test
