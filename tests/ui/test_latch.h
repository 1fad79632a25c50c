// A one-shot gate that a test opens and a job waits at (or the other way
// round): the only synchronisation the threaded tests use.
#pragma once

#include <condition_variable>
#include <mutex>

namespace tessaly::testing {

class Latch {
 public:
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [&] { return open_; });
  }
  bool IsOpen() {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

}  // namespace tessaly::testing
