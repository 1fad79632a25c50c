#include "ui/message_box.h"

namespace tessaly {

std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, const QString& title) {
  auto box = std::make_unique<QMessageBox>();
  box->setObjectName(QStringLiteral("messageBox"));
  box->setIcon(QMessageBox::NoIcon);
  box->setTextFormat(Qt::PlainText);
  box->setWindowTitle(title);
  box->setText(text);
  box->setStandardButtons(QMessageBox::Ok);
  return box;
}

}  // namespace tessaly
