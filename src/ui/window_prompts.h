// How the window shows its modal message box and its popup menu. Tests put
// their own in place to see and answer them without a nested event loop.
#pragma once

#include <QAction>
#include <QMenu>
#include <QPoint>
#include <QString>

namespace tessaly {

class WindowPrompts {
 public:
  virtual ~WindowPrompts() = default;
  // A message box with one OK button and no icon, owned by no window; the
  // window's thread waits until it is closed.
  virtual void ShowModalMessage(const QString& text, const QString& title);
  // Shows menu with its top-left corner at topLeft (global coordinates) and
  // returns the chosen entry, or nullptr when the menu was closed without one.
  virtual QAction* RunPopupMenu(QMenu& menu, const QPoint& topLeft);
};

}  // namespace tessaly
