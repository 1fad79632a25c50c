// A stop request that can reach into a running page fetch.
//
// A job's worker control owns one token per job and binds it to the job's
// thread with a CancelScope; FetchPage on that thread watches it and cuts the
// transfer short as soon as Cancel() is called from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace tessaly {

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  bool IsCancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // Sets the flag, then runs the current waker (if any) so that a blocked
  // wait notices at once. Safe from any thread; later calls do nothing.
  void Cancel();

  // The waker is run by Cancel(); it must be cheap and thread-safe (for
  // example curl_multi_wakeup). Runs at once when already cancelled.
  void SetWaker(std::function<void()> waker);
  void ClearWaker();

 private:
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::function<void()> waker_;
};

// Binds a token to the calling thread for the scope's life.
class CancelScope {
 public:
  explicit CancelScope(CancelToken& token);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  CancelToken* previous_;
};

// The token bound to the calling thread, or nullptr.
CancelToken* CurrentCancelToken();

}  // namespace tessaly
