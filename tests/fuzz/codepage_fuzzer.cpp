// The five conversions and their native-unit twins over arbitrary bytes.
//
// Input: raw bytes, read as UTF-8, as GBK and as UTF-16LE in turn.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "text/codepage.h"

namespace tessaly::fuzz {
namespace {

// Decodes well-formed UTF-8 (shortest forms, no surrogates, at most
// U+10FFFF); nothing for anything else. Also reports the highest code point.
std::optional<std::u16string> DecodeValidUtf8(std::string_view s, char32_t& highest) {
  std::u16string units;
  highest = 0;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t length = 0;
    char32_t c = 0;
    if (b < 0x80) {
      length = 1;
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      c = b & 0x07;
    } else {
      return std::nullopt;
    }
    if (i + length > s.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (t & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    if (c >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(c));
    }
    highest = std::max(highest, c);
    i += length;
  }
  return units;
}

bool IsValidUtf8(std::string_view s) {
  char32_t highest = 0;
  return DecodeValidUtf8(s, highest).has_value();
}

std::u16string UnitsOf(std::string_view utf16le) {
  std::u16string units(utf16le.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                     (static_cast<unsigned char>(utf16le[2 * i + 1]) << 8));
  }
  return units;
}

std::string BytesOf(std::u16string_view units) {
  std::string bytes;
  for (const char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

bool IsAscii(std::string_view s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

void CheckUtf8ToGbk(std::string_view raw) {
  const Bytes composed = Utf8BytesToGbk(Bytes(raw));
  if (raw.empty()) {
    Require(composed.empty(), "Utf8BytesToGbk of nothing is nothing");
    return;
  }
  Require(!composed.empty() && composed.view().back() == '\0' &&
              composed.view().find('\0') == composed.view().size() - 1,
          "Utf8BytesToGbk ends with exactly one zero byte");

  const Text utf8(raw);  // up to the first zero byte, as Utf8BytesToGbk reads
  const Text plain = Utf8TextToGbk(utf8);
  RequireNoZero(plain, "Utf8TextToGbk holds no zero byte");
  Require(Gbk(utf8.view()) == plain, "Gbk is Utf8TextToGbk");
  if (IsAscii(utf8.view())) {
    Require(plain == utf8 && BxToText(composed) == utf8, "ASCII converts to itself");
  }
  char32_t highest = 0;
  const std::optional<std::u16string> units = DecodeValidUtf8(utf8.view(), highest);
  if (units) {
    // Both composing paths agree; without any combining mark (all of them
    // lie at U+0300 or above) composition changes nothing.
    Require(BxToText(composed) == Utf16UnitsToText(*units),
            "Utf8BytesToGbk = Utf16UnitsToText of the decoded units");
    if (highest < 0x300) {
      Require(BxToText(composed) == plain, "without marks composition changes nothing");
    }
  }
}

void CheckGbkRoundTrips(const Text& gbk) {
  const Text utf8 = GbkTextToUtf8(gbk);
  Require(IsValidUtf8(utf8.view()), "GbkTextToUtf8 gives well-formed UTF-8");
  Require(gbk.empty() == utf8.empty(), "GbkTextToUtf8 is empty only for the empty text");
  // One trip may replace what GBK cannot hold; after that the text is stable.
  const Text once = Utf8TextToGbk(utf8);
  const Text again = GbkTextToUtf8(once);
  Require(Utf8TextToGbk(again) == once, "GBK -> UTF-8 -> GBK is stable after one trip");
  Require(again == GbkTextToUtf8(Utf8TextToGbk(again)), "UTF-8 of a stable text is stable");

  // The UTF-16 twins agree with each other.
  const std::u16string units = GbkToUtf16Units(gbk.view());
  const Bytes utf16 = TextToUtf16(gbk);
  Require(utf16.view() == BytesOf(units) + std::string(2, '\0'),
          "TextToUtf16 = GbkToUtf16Units followed by one zero unit");
  Require(Utf16ToText(utf16) == Utf16UnitsToText(units), "Utf16ToText = Utf16UnitsToText");
  // A stable GBK text survives the trip through UTF-16, composition included.
  Require(Utf16ToText(TextToUtf16(once)) == once, "stable GBK survives UTF-16");
}

void CheckUtf16ToGbk(std::string_view raw) {
  const std::u16string units = UnitsOf(raw);
  const Text viaBytes = Utf16ToText(Bytes(raw));
  RequireNoZero(viaBytes, "Utf16ToText holds no zero byte");
  Require(viaBytes == Utf16UnitsToText(units), "Utf16ToText = Utf16UnitsToText");
  const std::size_t zero = units.find(u'\0');
  if (zero != std::u16string::npos) {
    Require(viaBytes == Utf16UnitsToText(std::u16string_view(units).substr(0, zero)),
            "Utf16ToText stops at the first zero unit");
  }
}

}  // namespace
}  // namespace tessaly::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::fuzz;
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  CheckUtf8ToGbk(raw);
  CheckGbkRoundTrips(Text(raw));
  CheckUtf16ToGbk(raw);
  return 0;
}
