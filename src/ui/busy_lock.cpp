#include "ui/busy_lock.h"

namespace tessaly {

bool BusyLock::Take(const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [&] { return !held_ || stop.load(); });
  if (stop.load()) return false;
  held_ = true;
  return true;
}

void BusyLock::Release() {
  {
    std::lock_guard lock(mutex_);
    held_ = false;
  }
  // Every waiter, not one: a woken waiter that was stopped leaves without
  // taking the lock and would not pass the wake-up on.
  released_.notify_all();
}

void BusyLock::WakeWaiters() {
  { std::lock_guard lock(mutex_); }
  released_.notify_all();
}

}  // namespace tessaly
