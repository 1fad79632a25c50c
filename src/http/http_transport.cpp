#include "http/http_transport.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <string_view>

#include "http/curl_handles.h"

namespace tessaly {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex limitsMutex;
TransportLimits processLimits;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The one cookie store every request shares unless it brings its own cookies.
class SharedCookieStore {
 public:
  SharedCookieStore() : share_(curl_share_init()) {
    curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &SharedCookieStore::Lock);
    curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &SharedCookieStore::Unlock);
    curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  }
  CURLSH* handle() const { return share_.get(); }

  static SharedCookieStore& Instance() {
    static SharedCookieStore store;
    return store;
  }

 private:
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<SharedCookieStore*>(self)->MutexFor(data).lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<SharedCookieStore*>(self)->MutexFor(data).unlock();
  }
  std::mutex& MutexFor(curl_lock_data data) {
    const auto index = static_cast<std::size_t>(data);
    return mutexes_[index < mutexes_.size() ? index : 0];
  }

  std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
  CurlShare share_;
};

// What the callbacks of one transfer collect.
struct TransferState {
  std::size_t maxBodyBytes = 0;
  std::string body;
  bool bodyTooLarge = false;

  // The block of the response being read; a status line after a finished
  // block (a followed redirect, an interim 1xx) starts it again.
  std::string block;
  bool inBlock = false;
  bool blockEnded = false;
  bool blockTooLarge = false;

  Clock::time_point lastProgress = Clock::now();
  curl_off_t lastUploaded = 0;
  const CancelToken* token = nullptr;
};

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<TransferState*>(user);
  const std::size_t length = size * count;
  state.lastProgress = Clock::now();
  const std::string_view line = WithoutLineEnd(std::string_view(data, length));
  const bool statusLine = line.starts_with("HTTP/");
  if (statusLine && (!state.inBlock || state.blockEnded)) {
    state.block.clear();
    state.inBlock = true;
    state.blockEnded = false;
    state.blockTooLarge = false;
  } else if (!state.inBlock || state.blockEnded) {
    return length;  // trailers after the body are not part of the block
  }
  if (!state.blockTooLarge) {
    if (state.block.size() + line.size() + 2 > kMaxHeaderBlockBytes) {
      state.blockTooLarge = true;
      std::string().swap(state.block);
    } else {
      state.block.append(line).append("\r\n");
    }
  }
  if (line.empty()) state.blockEnded = true;
  return length;
}

std::size_t OnBodyBytes(char* data, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<TransferState*>(user);
  const std::size_t length = size * count;
  state.lastProgress = Clock::now();
  const std::size_t room = state.maxBodyBytes - std::min(state.maxBodyBytes, state.body.size());
  if (length > room) {
    state.body.append(data, room);
    state.bodyTooLarge = true;
    return 0;  // ends the transfer with a write error
  }
  state.body.append(data, length);
  return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto& state = *static_cast<TransferState*>(user);
  if (uploaded != state.lastUploaded) {
    state.lastUploaded = uploaded;
    state.lastProgress = Clock::now();
  }
  return state.token != nullptr && state.token->IsCancelled() ? 1 : 0;
}

bool IsHostByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

// libcurl drops a custom header with an empty value and one without a colon;
// "Name;" is its way of sending "Name:" with nothing after it. A line with a
// stray CR or LF would split into two lines on the wire, so it is not sent.
std::optional<std::string> CurlHeaderLine(const std::string& line) {
  if (line.find_first_of("\r\n") != std::string::npos) return std::nullopt;
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  if (line.find_first_not_of(" \t", colon + 1) == std::string::npos) {
    return line.substr(0, colon) + ";";
  }
  return line;
}

bool HasHeaderNamed(const std::vector<std::string>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(), [name](const std::string& line) {
    if (line.size() <= name.size() || line[name.size()] != ':') return false;
    return std::equal(name.begin(), name.end(), line.begin(),
                      [](char a, char b) { return (a | 0x20) == (b | 0x20); });
  });
}

long Milliseconds(std::chrono::milliseconds duration) {
  return static_cast<long>(duration.count());
}

void ConfigureEasy(CURL* easy, const TransportRequest& request, const std::string& url,
                   curl_slist* headers, TransferState& state, const TransportLimits& limits) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(limits.connectTimeout));
  // libcurl measures the low-speed time in whole seconds.
  const long lowSpeedSeconds = std::max(1L, (Milliseconds(limits.noProgressTimeout) + 999) / 1000);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(limits.lowSpeedBytesPerSecond));
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
  if (!limits.reuseConnections) {
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  }

  // An explicit empty proxy and no-proxy list keep libcurl away from the
  // proxy environment variables.
  const bool viaProxy = request.proxy && !request.proxy->empty() && !request.secure;
  const std::string proxyUrl = viaProxy ? "http://" + *request.proxy : std::string();
  curl_easy_setopt(easy, CURLOPT_PROXY, proxyUrl.c_str());  // libcurl copies it
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");

  if (request.followRedirects) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  }

  // Detaching from the share is explicit: curl_easy_reset keeps it.
  curl_easy_setopt(easy, CURLOPT_SHARE, static_cast<CURLSH*>(nullptr));
  // CURLOPT_COOKIEFILE "" switches the cookie engine on, over the shared jar.
  if (request.useSharedCookies) {
    curl_easy_setopt(easy, CURLOPT_SHARE, SharedCookieStore::Instance().handle());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  }

  if (!HasHeaderNamed(request.headerLines, "User-Agent")) {
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);

  if (request.body) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body->size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body->data());
  }
  if (request.verb != (request.body ? "POST" : "GET")) {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.verb.c_str());
  }

  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeaderLine);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBodyBytes);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &state);
}

CurlSlist BuildHeaderList(const std::vector<std::string>& lines) {
  CurlSlist list;
  auto append = [&list](const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (grown != nullptr) {
      (void)list.release();
      list.reset(grown);
    }
  };
  for (const std::string& line : lines) {
    if (const auto curlLine = CurlHeaderLine(line)) append(curlLine->c_str());
  }
  append("Expect:");  // no 100-continue wait before a body
  return list;
}

TransportOutcome OutcomeOf(CURLcode code, const TransferState& state) {
  if (state.bodyTooLarge) return TransportOutcome::kBodyTooLarge;
  switch (code) {
    case CURLE_OK:
      return TransportOutcome::kComplete;
    case CURLE_OPERATION_TIMEDOUT:
      return TransportOutcome::kTimedOut;
    case CURLE_ABORTED_BY_CALLBACK:
      return TransportOutcome::kCancelled;
    default:
      return TransportOutcome::kFailed;
  }
}

}  // namespace

void SetTransportLimits(const TransportLimits& limits) {
  std::lock_guard lock(limitsMutex);
  processLimits = limits;
}

TransportLimits CurrentTransportLimits() {
  std::lock_guard lock(limitsMutex);
  return processLimits;
}

bool IsRequestableTarget(const std::string& host, int port, const std::string& path) {
  if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostByte)) return false;
  if (port < 1 || port > 65535) return false;
  if (path.empty() || path.front() != '/') return false;
  return std::none_of(path.begin(), path.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
}

// The easy handle lives in the multi handle only during a transfer; the
// multi handle keeps the open connections between transfers.
struct HttpTransport::Handles {
  CurlMulti multi{curl_multi_init()};
  CurlEasy easy{curl_easy_init()};
};

HttpTransport::HttpTransport() {
  InitCurlOnce();
  handles_ = std::make_unique<Handles>();
}

HttpTransport::~HttpTransport() = default;

HttpTransport& HttpTransport::ForThisThread() {
  thread_local HttpTransport transport;
  return transport;
}

TransportResponse HttpTransport::Perform(const TransportRequest& request, CancelToken* token) {
  TransportResponse response;
  if (!handles_->multi || !handles_->easy ||
      !IsRequestableTarget(request.host, request.port, request.path) ||
      (token != nullptr && token->IsCancelled())) {
    return response;
  }
  const TransportLimits limits = CurrentTransportLimits();
  const std::string url = (request.secure ? "https://" : "http://") + request.host + ":" +
                          std::to_string(request.port) + request.path;
  const CurlSlist headers = BuildHeaderList(request.headerLines);
  TransferState state;
  state.maxBodyBytes = limits.maxBodyBytes;
  state.token = token;

  CURL* easy = handles_->easy.get();
  CURLM* multi = handles_->multi.get();
  curl_easy_reset(easy);
  ConfigureEasy(easy, request, url, headers.get(), state, limits);
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return response;
  if (token != nullptr) token->SetWaker([multi] { curl_multi_wakeup(multi); });

  CURLcode code = CURLE_OK;
  bool finished = false;
  bool stalled = false;
  while (true) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) break;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
        code = message->data.result;
        finished = true;
      }
    }
    if (finished || running == 0) break;
    if (token != nullptr && token->IsCancelled()) break;
    const auto idle = Clock::now() - state.lastProgress;
    if (idle >= limits.noProgressTimeout) {
      stalled = true;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(limits.noProgressTimeout - idle);
    const int waitMs = static_cast<int>(std::clamp<long long>(left.count() + 1, 1, 1000));
    curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
  }
  if (token != nullptr) token->ClearWaker();
  curl_multi_remove_handle(multi, easy);
  // curl_easy_reset does not free the file list CURLOPT_COOKIEFILE built;
  // clearing it here does, and leaves the shared jar as it is.
  if (request.useSharedCookies) {
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, static_cast<const char*>(nullptr));
  }

  if (finished) {
    response.outcome = OutcomeOf(code, state);
  } else if (stalled) {
    response.outcome = TransportOutcome::kTimedOut;
  } else if (token != nullptr && token->IsCancelled()) {
    response.outcome = TransportOutcome::kCancelled;
  } else {
    response.outcome = TransportOutcome::kFailed;
  }
  // A redirect loop has no final response.
  const bool looped = finished && code == CURLE_TOO_MANY_REDIRECTS;
  if (state.inBlock && state.blockEnded && !state.blockTooLarge && !looped) {
    response.headerBlock = std::move(state.block);
  }
  response.body = std::move(state.body);
  return response;
}

}  // namespace tessaly
