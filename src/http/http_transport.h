// One HTTP exchange over libcurl: what the page fetch needs from the network
// and nothing more.
//
// Each thread has its own transport (a multi handle holding one easy handle),
// so the connection to a site stays open from one page of a job to the next.
// Every transport shares one process-wide cookie store. A transfer watches
// the CancelToken bound to its thread and ends as soon as it is cancelled.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/cancel_token.h"

namespace tessaly {

// The largest raw header block handed back, without its terminating zero:
// the block has to fit in 5000 bytes with the zero.
inline constexpr std::size_t kMaxHeaderBlockBytes = 4999;

struct TransportLimits {
  std::chrono::milliseconds connectTimeout{15000};
  // A transfer that receives and sends nothing for this long has failed.
  std::chrono::milliseconds noProgressTimeout{30000};
  // So has one that stays slower than this for noProgressTimeout: a server
  // that drips a byte now and then is never quiet for long, yet its page
  // would take hours.
  std::size_t lowSpeedBytesPerSecond = 100;
  // A longer body ends there, like a failed read.
  std::size_t maxBodyBytes = std::size_t{64} << 20;
  // Off only for measurements: every request then opens a new connection.
  bool reuseConnections = true;
};

// Process-wide; a transfer reads the limits when it starts.
void SetTransportLimits(const TransportLimits& limits);
TransportLimits CurrentTransportLimits();

struct TransportRequest {
  std::string verb = "GET";
  bool secure = false;  // TLS, certificates verified
  std::string host;
  int port = 80;
  std::string path = "/";  // path with query, as it goes into the request line
  // Header lines sent as they are, without line ends.
  std::vector<std::string> headerLines;
  // Sent as User-Agent unless headerLines carry their own.
  std::string userAgent;
  std::optional<std::string> body;  // given: sent, even when empty
  bool useSharedCookies = true;     // false: neither send nor store cookies
  bool followRedirects = true;
  std::optional<std::string> proxy;  // host:port; http requests only
};

enum class TransportOutcome {
  kComplete,
  kRefused,   // not sent: the target cannot be requested or the fetch was stopped first
  kFailed,    // connection, protocol or read failure
  kTimedOut,  // connect time-out or no progress
  kBodyTooLarge,
  kCancelled,
};

struct TransportResponse {
  TransportOutcome outcome = TransportOutcome::kRefused;
  // The final response's header block (status line first, every line ended
  // by CR LF, the empty line last); none when no complete block arrived,
  // when it is longer than kMaxHeaderBlockBytes or when redirects looped.
  std::optional<std::string> headerBlock;
  std::string body;  // what was read, also when the read failed
};

// True when host, port and path can form a request: a host of letters,
// digits, '-', '.' and '_', a port 1-65535, a path from "/" without control
// bytes or blanks.
bool IsRequestableTarget(const std::string& host, int port, const std::string& path);

class HttpTransport {
 public:
  HttpTransport();
  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;
  ~HttpTransport();

  // The calling thread's transport.
  static HttpTransport& ForThisThread();

  // Runs one exchange; a cancelled token (checked at once and throughout)
  // ends it within a poll wake-up.
  TransportResponse Perform(const TransportRequest& request, CancelToken* token);

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

}  // namespace tessaly
