#include "ui/window_prompts.h"

#include "ui/message_box.h"

namespace tessaly {

void WindowPrompts::ShowModalMessage(const QString& text, const QString& title) {
  const auto box = MakeMessageBox(text, title);
  box->exec();
}

QAction* WindowPrompts::RunPopupMenu(QMenu& menu, const QPoint& topLeft) {
  return menu.exec(topLeft);
}

}  // namespace tessaly
