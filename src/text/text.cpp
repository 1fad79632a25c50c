#include "text/text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace tessaly {
namespace {

// The size of the character that starts at byte b: a byte 0x80-0xFF leads a
// two-byte character. A lead byte that is the last byte of the text makes the
// position step past the end, which ends every scan.
inline std::size_t CharSize(unsigned char b) {
  return b >= 0x80 ? 2 : 1;
}

inline unsigned char ByteAt(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}

inline unsigned char FoldAscii(unsigned char b) {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

inline bool EqualAt(std::string_view text, std::size_t at, std::string_view needle,
                    bool caseInsensitive) {
  if (!caseInsensitive) return std::memcmp(text.data() + at, needle.data(), needle.size()) == 0;
  for (std::size_t k = 0; k < needle.size(); ++k) {
    if (FoldAscii(ByteAt(text, at + k)) != FoldAscii(ByteAt(needle, k))) return false;
  }
  return true;
}

inline bool IsIdeographicSpace(std::string_view s, std::size_t i) {
  return i + 1 < s.size() && ByteAt(s, i) == 0xA1 && ByteAt(s, i + 1) == 0xA1;
}

// Size of the space character at i (0x20 or 0xA1 0xA1), 0 when none starts there.
inline std::size_t SpaceSizeAt(std::string_view s, std::size_t i) {
  if (ByteAt(s, i) == 0x20) return 1;
  if (IsIdeographicSpace(s, i)) return 2;
  return 0;
}

std::string_view StopAtZero(std::string_view bytes) {
  const std::size_t zero = bytes.find('\0');
  return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

// "#引号" in GBK.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

}  // namespace

Text::Text(const char* zeroTerminated) {
  if (zeroTerminated != nullptr) bytes_ = zeroTerminated;
}

Text::Text(std::string_view bytes) : bytes_(StopAtZero(bytes)) {}

Text::Text(std::string&& bytes) : bytes_(std::move(bytes)) {
  const std::size_t zero = bytes_.find('\0');
  if (zero != std::string::npos) bytes_.resize(zero);
}

int TxLen(const Text& text) {
  return text.size();
}

Text TxLeft(const Text& text, int n) {
  if (n <= 0) return {};
  return Text(text.view().substr(0, static_cast<std::size_t>(n)));
}

Text TxRight(const Text& text, int n) {
  if (n <= 0) return {};
  const std::size_t len = text.view().size();
  const std::size_t take = std::min(len, static_cast<std::size_t>(n));
  return Text(text.view().substr(len - take));
}

Text TxMid(const Text& text, int start, int n) {
  if (start < 1 || start > text.size() || n <= 0) return {};
  return Text(text.view().substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

int TxFind(const Text& text, const Text& needle, std::optional<int> start, bool caseInsensitive) {
  const std::string_view s = text.view();
  const std::string_view n = needle.view();
  std::size_t begin = 0;
  if (start.has_value() && *start > 1) begin = static_cast<std::size_t>(*start) - 1;
  if (begin >= s.size()) return kNotFound;
  if (n.empty()) return 1;
  if (n.size() > s.size()) return kNotFound;
  const std::size_t lastStart = s.size() - n.size();
  const unsigned char first = caseInsensitive ? FoldAscii(ByteAt(n, 0)) : ByteAt(n, 0);
  for (std::size_t i = begin; i <= lastStart; i += CharSize(ByteAt(s, i))) {
    const unsigned char b = caseInsensitive ? FoldAscii(ByteAt(s, i)) : ByteAt(s, i);
    if (b == first && EqualAt(s, i, n, caseInsensitive)) return static_cast<int>(i) + 1;
  }
  return kNotFound;
}

int TxFindLast(const Text& text, const Text& needle, std::optional<int> start,
               bool caseInsensitive) {
  const std::string_view s = text.view();
  const std::string_view n = needle.view();
  std::size_t rangeEnd = s.size();
  if (start.has_value()) {
    if (*start <= 1) return kNotFound;
    rangeEnd = std::min(rangeEnd, static_cast<std::size_t>(*start) - 1);
  }
  if (rangeEnd == 0) return kNotFound;
  if (n.empty()) return 1;
  if (n.size() > rangeEnd) return kNotFound;
  const std::size_t lastStart = rangeEnd - n.size();
  int lastHit = kNotFound;
  for (std::size_t i = 0; i <= lastStart; i += CharSize(ByteAt(s, i))) {
    if (EqualAt(s, i, n, caseInsensitive)) lastHit = static_cast<int>(i) + 1;
  }
  return lastHit;
}

Text TxReplace(const Text& text, const Text& find, const Text& replacement) {
  const std::string_view s = text.view();
  const std::string_view f = find.view();
  if (s.empty() || f.empty()) return text;
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  std::size_t copiedUpTo = 0;  // bytes before this are already in out
  while (i + f.size() <= s.size()) {
    if (ByteAt(s, i) == ByteAt(f, 0) && EqualAt(s, i, f, false)) {
      out.append(s.substr(copiedUpTo, i - copiedUpTo));
      out.append(replacement.view());
      i += f.size();
      copiedUpTo = i;
    } else {
      i += CharSize(ByteAt(s, i));
    }
  }
  out.append(s.substr(std::min(copiedUpTo, s.size())));
  return Text(std::move(out));
}

TextArray TxSplit(const Text& text, const Text& separator) {
  const std::string_view s = text.view();
  const std::string_view sep = separator.view();
  TextArray pieces;
  if (s.empty()) return pieces;
  if (sep.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  std::size_t pieceBegin = 0;
  std::size_t i = 0;
  while (i + sep.size() <= s.size()) {
    if (ByteAt(s, i) == ByteAt(sep, 0) && EqualAt(s, i, sep, false)) {
      pieces.emplace_back(s.substr(pieceBegin, i - pieceBegin));
      i += sep.size();
      pieceBegin = i;
    } else {
      i += CharSize(ByteAt(s, i));
    }
  }
  if (pieceBegin < s.size()) pieces.emplace_back(s.substr(pieceBegin));
  return pieces;
}

Text TxTrim(const Text& text) {
  const std::string_view s = text.view();
  std::size_t begin = 0;
  while (begin < s.size()) {
    const std::size_t space = SpaceSizeAt(s, begin);
    if (space == 0) break;
    begin += space;
  }
  // The end of the last character that is not a space; found walking forward
  // so that the walk stays on character starts.
  std::size_t end = begin;
  for (std::size_t i = begin; i < s.size();) {
    const std::size_t space = SpaceSizeAt(s, i);
    if (space != 0) {
      i += space;
    } else {
      i = std::min(s.size(), i + CharSize(ByteAt(s, i)));
      end = i;
    }
  }
  if (begin == 0 && end == s.size()) return text;
  return Text(s.substr(begin, end - begin));
}

Text TxStripSpaces(const Text& text) {
  const std::string_view s = text.view();
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t space = SpaceSizeAt(s, i);
    if (space != 0) {
      i += space;
      continue;
    }
    const std::size_t size = std::min(CharSize(ByteAt(s, i)), s.size() - i);
    out.append(s.substr(i, size));
    i += size;
  }
  return Text(std::move(out));
}

Text TxLower(const Text& text) {
  std::string out = text.bytes();
  for (std::size_t i = 0; i < out.size(); i += CharSize(ByteAt(out, i))) {
    out[i] = static_cast<char>(FoldAscii(ByteAt(out, i)));
  }
  return Text(std::move(out));
}

int TxToInt(const Text& text) {
  const std::string_view s = text.view();
  std::size_t i = 0;
  // Reads the character at i as ASCII (full-width forms and the ideographic
  // space fold to their ASCII counterparts); 0 for any other two-byte
  // character, which is neither a space, a sign nor a digit.
  auto next = [&](std::size_t& size) -> unsigned char {
    const unsigned char b = ByteAt(s, i);
    if (b < 0x80) {
      size = 1;
      return b;
    }
    size = 2;
    if (i + 1 >= s.size()) return 0;
    const unsigned char second = ByteAt(s, i + 1);
    if (b == 0xA3 && second >= 0xA1 && second <= 0xFE) return second & 0x7F;
    if (b == 0xA1 && second == 0xA1) return 0x20;
    return 0;
  };
  std::size_t size = 0;
  while (i < s.size()) {
    const unsigned char c = next(size);
    if (c != 0x20 && !(c >= 0x09 && c <= 0x0D)) break;
    i += size;
  }
  bool negative = false;
  if (i < s.size()) {
    const unsigned char c = next(size);
    if (c == '+' || c == '-') {
      negative = c == '-';
      i += size;
    }
  }
  // Values beyond the 32-bit range saturate.
  long long value = 0;
  while (i < s.size()) {
    const unsigned char c = next(size);
    if (c < '0' || c > '9') break;
    value = std::min(value * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
    i += size;
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min(value, static_cast<long long>(INT_MAX)));
}

Text TxFromInt(int value) {
  return Text(std::to_string(value));
}

Text TxHex(int value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  unsigned int v = static_cast<unsigned int>(value);
  char buffer[8];
  std::size_t pos = sizeof buffer;
  do {
    buffer[--pos] = kDigits[v & 0xF];
    v >>= 4;
  } while (v != 0);
  return Text(std::string_view(buffer + pos, sizeof buffer - pos));
}

Text TxChar(int code) {
  const char byte = static_cast<char>(static_cast<unsigned char>(code));
  return Text(std::string_view(&byte, 1));
}

Text TxSpaces(int n) {
  if (n < 1) return {};
  return Text(std::string(static_cast<std::size_t>(n), ' '));
}

int TxCompare(const Text& a, const Text& b) {
  // char_traits<char> compares as unsigned char.
  const int c = a.view().compare(b.view());
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Bytes TxToBytes(const Text& text) {
  return Bytes(text.view());
}

Text BxToText(const Bytes& bytes) {
  return Text(bytes.view());
}

Bytes BxZeros(int n) {
  if (n <= 0) return {};
  return Bytes(std::string(static_cast<std::size_t>(n), '\0'));
}

Bytes BxLeft(const Bytes& bytes, int n) {
  if (n <= 0) return {};
  return Bytes(bytes.view().substr(0, static_cast<std::size_t>(n)));
}

int BxFind(const Bytes& bytes, const Bytes& needle) {
  if (needle.empty()) return kNotFound;
  const std::size_t at = bytes.view().find(needle.view());
  return at == std::string_view::npos ? kNotFound : static_cast<int>(at) + 1;
}

int BxLen(const Bytes& bytes) {
  return bytes.size();
}

Text TextBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 std::optional<int> start, bool caseInsensitive) {
  const Text quote("\"");
  const Text quoteMarker(kQuoteMarker);
  const Text startWanted = TxReplace(startMarker, quoteMarker, quote);
  const Text endWanted = TxReplace(endMarker, quoteMarker, quote);
  int p = TxFind(text, startWanted, start, caseInsensitive);
  if (p == kNotFound) return {};
  p += TxLen(startWanted);
  const int q = TxFind(text, endWanted, p, caseInsensitive);
  if (q == kNotFound) return {};
  return TxMid(text, p, q - p);
}

Text HeaderValue(const Text& text) {
  const int p = TxFind(text, Text(":"));
  if (p == kNotFound) return {};
  return TxTrim(TxRight(text, TxLen(text) - p));
}

}  // namespace tessaly
