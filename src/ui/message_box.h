// The program's message box: a text, a title, one OK button, no icon.
#pragma once

#include <QMessageBox>
#include <memory>

namespace tessaly {

std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, const QString& title);

}  // namespace tessaly
