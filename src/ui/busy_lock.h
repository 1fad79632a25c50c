// BusyLock: the one lock that lets a single job work at a time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tessaly {

class BusyLock {
 public:
  // Waits while another job holds the lock. Gives up (false, lock not taken)
  // as soon as stop is set; whoever sets it calls WakeWaiters afterwards.
  bool Take(const std::atomic<bool>& stop);
  void Release();
  // Makes every waiter look at its stop flag again.
  void WakeWaiters();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
};

}  // namespace tessaly
