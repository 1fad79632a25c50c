// The one crossing between GBK Text and QString, through our own code-page
// conversion (never Qt's locale codecs).
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "text/codepage.h"
#include "text/text.h"

namespace tessaly {

inline QString ToQString(const Text& text) {
  const std::u16string units = GbkToUtf16Units(text.view());
  return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

inline Text FromQString(const QString& text) {
  return Utf16UnitsToText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<std::size_t>(text.size())));
}

// A caption written in the source as UTF-8.
inline QString Caption(std::string_view utf8) {
  return ToQString(Gbk(utf8));
}

}  // namespace tessaly
