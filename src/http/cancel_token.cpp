#include "http/cancel_token.h"

#include <utility>

namespace tessaly {

namespace {
thread_local CancelToken* boundToken = nullptr;
}  // namespace

void CancelToken::Cancel() {
  cancelled_.store(true, std::memory_order_release);
  // The waker runs under the lock so that ClearWaker() cannot return while a
  // waker still touches what it wakes (a transfer's multi handle).
  std::lock_guard lock(mutex_);
  if (waker_) waker_();
}

void CancelToken::SetWaker(std::function<void()> waker) {
  std::lock_guard lock(mutex_);
  waker_ = std::move(waker);
  if (waker_ && IsCancelled()) waker_();
}

void CancelToken::ClearWaker() {
  std::lock_guard lock(mutex_);
  waker_ = nullptr;
}

CancelScope::CancelScope(CancelToken& token) : previous_(boundToken) {
  boundToken = &token;
}

CancelScope::~CancelScope() {
  boundToken = previous_;
}

CancelToken* CurrentCancelToken() {
  return boundToken;
}

}  // namespace tessaly
