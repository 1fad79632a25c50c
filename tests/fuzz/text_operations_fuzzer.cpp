// Every Tx*/Bx* operation, TextBetween and HeaderValue over fuzzed texts,
// checked against the rules callers rely on.
//
// Input: separator, controls [flags, start, n, value x4], then pieces
// text, needle, replacement.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "text/text.h"

namespace tessaly::fuzz {
namespace {

std::size_t CharSize(unsigned char b) {
  return b >= 0x80 ? 2 : 1;
}

unsigned char FoldAscii(unsigned char b) {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : b;
}

// Lower-cases every byte, second bytes included: the case-insensitive search
// compares exactly so, so searching folded copies case-sensitively must give
// the same position.
Text FoldEveryByte(const Text& text) {
  std::string out = text.bytes();
  for (char& c : out) c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
  return Text(std::move(out));
}

bool MatchesAt(std::string_view s, std::size_t at, std::string_view needle, bool caseInsensitive) {
  if (at + needle.size() > s.size()) return false;
  for (std::size_t k = 0; k < needle.size(); ++k) {
    unsigned char a = static_cast<unsigned char>(s[at + k]);
    unsigned char b = static_cast<unsigned char>(needle[k]);
    if (caseInsensitive) {
      a = FoldAscii(a);
      b = FoldAscii(b);
    }
    if (a != b) return false;
  }
  return true;
}

// The character starts of a scan that begins at byte index `from`.
std::vector<std::size_t> CharStarts(std::string_view s, std::size_t from) {
  std::vector<std::size_t> starts;
  for (std::size_t i = from; i < s.size(); i += CharSize(static_cast<unsigned char>(s[i]))) {
    starts.push_back(i);
  }
  return starts;
}

Text Join(const TextArray& pieces, const Text& separator) {
  Text joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) joined += separator;
    joined += pieces[i];
  }
  return joined;
}

bool IsSpaceAt(std::string_view s, std::size_t i) {
  return s[i] == ' ' || (i + 1 < s.size() && static_cast<unsigned char>(s[i]) == 0xA1 &&
                         static_cast<unsigned char>(s[i + 1]) == 0xA1);
}

void CheckFind(const Text& text, const Text& needle, std::optional<int> start, bool folded) {
  const int found = TxFind(text, needle, start, folded);
  const std::string_view s = text.view();
  const std::size_t from = (start && *start > 1) ? static_cast<std::size_t>(*start) - 1 : 0;
  // The reference scan: the first character start from `from` on where the
  // needle matches.
  int expected = kNotFound;
  if (from < s.size()) {
    if (needle.empty()) {
      expected = 1;
    } else {
      for (const std::size_t i : CharStarts(s, from)) {
        if (MatchesAt(s, i, needle.view(), folded)) {
          expected = static_cast<int>(i) + 1;
          break;
        }
      }
    }
  }
  Require(found == expected, "TxFind is the first character start where the needle matches");
  Require(TxFind(FoldEveryByte(text), FoldEveryByte(needle), start, false) ==
              TxFind(text, needle, start, true),
          "case-insensitive TxFind equals a search over folded copies");
}

void CheckFindLast(const Text& text, const Text& needle, std::optional<int> start, bool folded) {
  const int found = TxFindLast(text, needle, start, folded);
  const std::string_view s = text.view();
  std::size_t rangeEnd = s.size();
  if (start) rangeEnd = *start <= 1 ? 0 : std::min(rangeEnd, static_cast<std::size_t>(*start) - 1);
  int expected = kNotFound;
  if (rangeEnd > 0) {
    if (needle.empty()) {
      expected = 1;
    } else {
      for (const std::size_t i : CharStarts(s, 0)) {
        if (i + needle.view().size() <= rangeEnd && MatchesAt(s, i, needle.view(), folded)) {
          expected = static_cast<int>(i) + 1;
        }
      }
    }
  }
  Require(found == expected, "TxFindLast is the last character start wholly before start");
}

void CheckCuts(const Text& text, int n, int start) {
  const int len = TxLen(text);
  Require(len == static_cast<int>(text.view().size()), "TxLen counts bytes");
  const Text left = TxLeft(text, n);
  const Text right = TxRight(text, n);
  const int clamped = std::clamp(n, 0, len);
  Require(TxLen(left) == clamped && TxLen(right) == clamped, "TxLeft/TxRight take min(n, len)");
  Require(text.view().starts_with(left.view()), "TxLeft is a prefix");
  Require(text.view().ends_with(right.view()), "TxRight is a suffix");
  Require(TxJoin(TxLeft(text, clamped), TxRight(text, len - clamped)) == text,
          "TxLeft + TxRight of the rest give the text back");
  const Text mid = TxMid(text, start, n);
  if (start < 1 || start > len || n <= 0) {
    Require(mid.empty(), "TxMid outside the text is empty");
  } else {
    Require(mid == TxLeft(TxRight(text, len - start + 1), n), "TxMid = TxLeft of TxRight");
  }
}

void CheckSplitAndReplace(const Text& text, const Text& separator, const Text& replacement) {
  const TextArray pieces = TxSplit(text, separator);
  if (text.empty()) Require(pieces.empty(), "TxSplit of the empty text gives no pieces");
  for (const Text& piece : pieces) {
    RequireNoZero(piece, "TxSplit piece holds no zero byte");
    if (!separator.empty()) {
      Require(TxFind(piece, separator) == kNotFound, "no piece holds the separator");
    }
  }
  // Joined by the separator the pieces give the text back, short of one
  // separator at the end (no trailing empty piece).
  const Text joined = Join(pieces, separator);
  const bool endsWithSeparator = joined != text;
  if (endsWithSeparator) {
    Require(!separator.empty() && TxJoin(joined, separator) == text,
            "TxSplit + join reproduces the text");
  }
  // TxReplace walks exactly as TxSplit does.
  const Text replaced = TxReplace(text, separator, replacement);
  RequireNoZero(replaced, "TxReplace result holds no zero byte");
  if (!text.empty() && !separator.empty()) {
    const Text expected = endsWithSeparator ? TxJoin(Join(pieces, replacement), replacement)
                                            : Join(pieces, replacement);
    Require(replaced == expected, "TxReplace = TxSplit joined by the replacement");
  }
  Require(TxReplace(text, separator, separator) == text, "TxReplace of find by itself is identity");
  Require(TxReplace(text, Text(), replacement) == text, "TxReplace of an empty find is identity");
}

void CheckSpacesAndCase(const Text& text) {
  const Text trimmed = TxTrim(text);
  RequireNoZero(trimmed, "TxTrim result holds no zero byte");
  Require(text.view().find(trimmed.view()) != std::string_view::npos, "TxTrim is a substring");
  Require(TxTrim(trimmed) == trimmed, "TxTrim is idempotent");
  if (!trimmed.empty()) {
    Require(!IsSpaceAt(trimmed.view(), 0), "TxTrim leaves no leading space");
    const std::vector<std::size_t> starts = CharStarts(trimmed.view(), 0);
    Require(!IsSpaceAt(trimmed.view(), starts.back()), "TxTrim leaves no trailing space");
  }
  const Text stripped = TxStripSpaces(text);
  for (const std::size_t i : CharStarts(stripped.view(), 0)) {
    Require(!IsSpaceAt(stripped.view(), i), "TxStripSpaces leaves no space");
  }
  Require(TxStripSpaces(trimmed) == stripped, "TxStripSpaces ignores what TxTrim removed");

  const Text lower = TxLower(text);
  Require(TxLen(lower) == TxLen(text), "TxLower keeps the length");
  for (const std::size_t i : CharStarts(lower.view(), 0)) {
    const unsigned char b = static_cast<unsigned char>(lower.view()[i]);
    Require(!(b >= 'A' && b <= 'Z'), "TxLower leaves no capital at a character start");
  }
  for (std::size_t i = 0; i < lower.view().size(); ++i) {
    const auto a = static_cast<unsigned char>(text.view()[i]);
    const auto b = static_cast<unsigned char>(lower.view()[i]);
    Require(a == b || (b == a + 32 && a >= 'A' && a <= 'Z'), "TxLower changes only capitals");
  }
  Require(TxLower(lower) == lower, "TxLower is idempotent");
}

void CheckNumbers(const Text& text, int value, int n) {
  (void)TxToInt(text);
  Require(TxToInt(TxFromInt(value)) == value, "TxToInt reads TxFromInt back");
  const Text hex = TxHex(value);
  Require(!hex.empty() && hex.view().size() <= 8, "TxHex has 1-8 digits");
  Require(std::strtoul(hex.bytes().c_str(), nullptr, 16) == static_cast<std::uint32_t>(value),
          "TxHex is the unsigned value in hexadecimal");
  Require(hex.view().find_first_not_of("0123456789ABCDEF") == std::string_view::npos,
          "TxHex uses upper-case digits");
  const Text one = TxChar(n & 0xFF);
  Require(TxLen(one) == ((n & 0xFF) == 0 ? 0 : 1), "TxChar is one byte, none for 0");
  const Text spaces = TxSpaces(n);
  Require(TxLen(spaces) == std::max(n, 0) && TxStripSpaces(spaces).empty(), "TxSpaces");
}

void CheckCompareAndBytes(const Text& a, const Text& b, std::string_view rawA,
                          std::string_view rawB, int n) {
  const int ab = TxCompare(a, b);
  Require(ab == -TxCompare(b, a), "TxCompare is antisymmetric");
  Require((ab == 0) == (a == b), "TxCompare is 0 exactly for equal texts");

  const Bytes bytesA = TxToBytes(a);
  Require(bytesA.view() == a.view(), "TxToBytes keeps the bytes");
  Require(BxToText(bytesA) == a, "BxToText reads TxToBytes back");
  Require(BxToText(Bytes(rawA)).view() == rawA.substr(0, rawA.find('\0')),
          "BxToText stops at the first zero byte");

  const Bytes haystack(rawA);
  const Bytes needle(rawB);
  const int at = BxFind(haystack, needle);
  const std::size_t expected = rawB.empty() ? std::string_view::npos : rawA.find(rawB);
  Require(at == (expected == std::string_view::npos ? kNotFound : static_cast<int>(expected) + 1),
          "BxFind is the first byte offset");
  Require(BxLen(BxZeros(n)) == std::max(n, 0), "BxZeros");
  const Bytes left = BxLeft(haystack, n);
  Require(left.view() == rawA.substr(0, static_cast<std::size_t>(std::max(n, 0))), "BxLeft");
  Require(BxJoin(haystack, needle).view() == std::string(rawA) + std::string(rawB), "BxJoin");
  Require(BxLen(haystack) == static_cast<int>(rawA.size()), "BxLen");
}

void CheckHeaderRoutines(const Text& text, const Text& startMarker, const Text& endMarker,
                         std::optional<int> start, bool folded) {
  const Text between = TextBetween(text, startMarker, endMarker, start, folded);
  RequireNoZero(between, "TextBetween result holds no zero byte");
  Require(text.view().find(between.view()) != std::string_view::npos,
          "TextBetween is a part of the text");
  const Text quoteMarker("#\xD2\xFD\xBA\xC5");
  if (!folded && TxFind(startMarker, quoteMarker) == kNotFound &&
      TxFind(endMarker, quoteMarker) == kNotFound) {
    const int p = TxFind(text, startMarker, start);
    if (p != kNotFound) {
      const int q = TxFind(text, endMarker, p + TxLen(startMarker));
      if (q != kNotFound) {
        Require(TxJoin(startMarker, between, endMarker) ==
                    TxMid(text, p, TxLen(startMarker) + TxLen(between) + TxLen(endMarker)),
                "TextBetween lies between the two markers");
      }
    }
  }

  const Text value = HeaderValue(text);
  const int colon = TxFind(text, ":");
  if (colon == kNotFound) {
    Require(value.empty(), "HeaderValue without a colon is empty");
  } else {
    Require(value == TxTrim(TxMid(text, colon + 1, TxLen(text))),
            "HeaderValue is the trimmed rest after the first colon");
  }
}

}  // namespace
}  // namespace tessaly::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::fuzz;
  const FuzzInput input(data, size, 7);
  const bool folded = input.Flag(0, 0);
  const std::optional<int> start =
      input.Flag(0, 1) ? std::optional<int>(input.SignedControl(1)) : std::nullopt;
  const int n = input.SignedControl(2);
  const int value = input.IntControl(3);

  const Text text = input.TextPiece(0);
  const Text needle = input.TextPiece(1);
  const Text replacement = input.TextPiece(2);
  RequireNoZero(text, "Text constructor stops at the first zero byte");
  Require(text.view() == input.Piece(0).substr(0, input.Piece(0).find('\0')),
          "Text holds the bytes before the first zero");

  CheckFind(text, needle, start, folded);
  CheckFindLast(text, needle, start, folded);
  CheckCuts(text, n, input.SignedControl(1));
  CheckSplitAndReplace(text, needle, replacement);
  CheckSpacesAndCase(text);
  CheckNumbers(text, value, n);
  CheckCompareAndBytes(text, needle, input.Piece(0), input.Piece(1), n);
  CheckHeaderRoutines(text, needle, replacement, start, folded);
  return 0;
}
