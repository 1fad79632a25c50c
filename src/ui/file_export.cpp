#include "ui/file_export.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include "ui/file_replace.h"
#include "ui/qt_text.h"

namespace tessaly {

bool SetClipboardText(const Text& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(ToQString(text));
  return true;
}

QString RunDirectory() {
  return QCoreApplication::applicationDirPath();
}

bool WriteFileBytes(const QString& path, const Bytes& content) {
  // File names are UTF-8 on this platform, whatever the locale says.
  const QByteArray encoded = path.toUtf8();
  return ReplaceFileContents(
      std::string(encoded.constData(), static_cast<std::size_t>(encoded.size())), content);
}

}  // namespace tessaly
