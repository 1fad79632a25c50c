// The window's thread as the worker frame sees it: a place to post tasks to
// and the keeper of the jobs' modeless message boxes. The Qt main window
// implements it; worker tests use a plain queue instead.
#pragma once

#include <functional>

#include "text/text.h"

namespace tessaly {

class WindowThread {
 public:
  virtual ~WindowThread() = default;

  // Runs task later on the window's thread, in the order of posting. Safe
  // from any thread. Tasks still pending when the window goes away are dropped.
  virtual void PostToWindow(std::function<void()> task) = 0;

  // Window's thread only. Opens a modeless box (text, title, one OK button,
  // no icon, owned by no window) and returns its id; onClosed runs on the
  // window's thread when the user closes the box.
  virtual int OpenJobMessage(const Text& text, const Text& title,
                             std::function<void()> onClosed) = 0;
  // Window's thread only. Closes the box without running its onClosed.
  virtual void CloseJobMessage(int id) = 0;
};

}  // namespace tessaly
