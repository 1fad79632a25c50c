// The state one job shares between its own thread and the window's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "http/cancel_token.h"
#include "text/text.h"

namespace tessaly {

inline constexpr int kNoJobMessage = -1;

// What the window's thread hands back for a call that waits for it.
struct CallReply {
  int number = 0;
  Text text;
};

struct JobState {
  // Written on the window's thread, read on the job's thread.
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> ended{false};
  // Bound to the job's thread, so a stop also cuts a page fetch short.
  CancelToken cancel;

  // The reply to the job's one outstanding call, guarded by mutex.
  std::mutex mutex;
  std::condition_variable wake;
  bool replyReady = false;
  CallReply reply;

  // Window's thread only.
  int openMessageId = kNoJobMessage;
  std::thread thread;
};

}  // namespace tessaly
