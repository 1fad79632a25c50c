#include "text/url_encode.h"

#include <string>

#include "text/codepage.h"

namespace tessaly {
namespace {

bool IsKeptUnencoded(unsigned char b) {
  return b == '-' || b == '.' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
         (b >= 'a' && b <= 'z');
}

}  // namespace

Text UrlEncode(const Text& text, UrlEncodeOptions options) {
  if (text.empty()) return {};
  const Text source = options.toUtf8 ? GbkTextToUtf8(text) : text;
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(source.view().size() * 3);
  for (const char c : source.view()) {
    const auto b = static_cast<unsigned char>(c);
    if (options.keepSafe && IsKeptUnencoded(b)) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHexDigits[b >> 4]);
      encoded.push_back(kHexDigits[b & 0xF]);
    }
  }
  return Text(std::move(encoded));
}

}  // namespace tessaly
