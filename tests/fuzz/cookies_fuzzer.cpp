// MergeCookies and its helpers over fuzzed cookie texts.
//
// Input: separator, old cookies, new cookies.
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_input.h"
#include "http/cookies.h"

namespace tessaly::fuzz {
namespace {

// True when every blank of the text (0x20 or the ideographic space, at a
// character start) is the one of a "; " separator. The byte before is
// looked at, not the character: a piece may end in a lone lead byte, which
// then swallows the ";" as its second byte.
bool BlanksOnlyInSeparators(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == 0xA1 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xA1) return false;
    if (b == ' ' && (i == 0 || s[i - 1] != ';')) return false;
    i += b >= 0x80 ? 2 : 1;
  }
  return true;
}

// True when a two-byte character has ";" or a blank as its second byte. The
// walk then does not see that separator, and a second merge cuts the text
// into other pieces than the first did (a UTF-8 value of odd length does
// this). Such texts are left out of the stability checks.
bool SwallowsASeparator(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    if (i + 1 < s.size() && (s[i + 1] == ';' || s[i + 1] == ' ')) return true;
    i += 2;
  }
  return false;
}

bool NamesAreDistinct(const Text& cookies) {
  std::set<std::string> names;
  for (const Text& piece : TxSplit(cookies, "; ")) {
    if (!names.insert(CookieName(piece).bytes()).second) return false;
  }
  return true;
}

Text Merge(Text oldCookies, Text newCookies) {
  return MergeCookies(oldCookies, newCookies);
}

}  // namespace
}  // namespace tessaly::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::fuzz;
  const FuzzInput input(data, size, 0);
  Text oldCookies = input.TextPiece(0);
  Text newCookies = input.TextPiece(1);
  const Text givenNew = newCookies;
  const Text merged = MergeCookies(oldCookies, newCookies);

  RequireNoZero(merged, "merged cookies hold no zero byte");
  Require(oldCookies == merged, "oldCookies receives the merged text");
  Require(newCookies == TxStripSpaces(givenNew), "newCookies loses its blanks");
  Require(BlanksOnlyInSeparators(merged.view()), "no blank but in the separators");
  const bool swallows = SwallowsASeparator(merged.view());
  // The one way a "; " stays at the end: an empty piece is the last kept
  // piece (new cookies "a;;;": "a", "", "" become "a; ; ", the two bytes cut
  // leave "a; ", and dropping the repeat keeps "a" and the empty piece).
  const bool endsWithSeparator = merged.view().ends_with("; ");
  if (!swallows && endsWithSeparator) {
    const Text before = TxLeft(merged, TxLen(merged) - 2);
    for (const Text& piece : TxSplit(before, "; ")) {
      Require(!piece.empty(), "a separator at the end only for the one empty piece");
    }
  }
  std::set<std::string> distinctPieces;
  for (const Text& piece : TxSplit(merged, "; ")) {
    Require(swallows || distinctPieces.insert(piece.bytes()).second, "no piece is repeated");
  }

  // Merging into nothing keeps everything; merging with nothing is stable
  // once names are unique (new pieces of one name all stay the first time).
  // A trailing empty piece is lost on the next merge, so it is left out.
  if (!swallows && !endsWithSeparator) {
    Require(Merge(Text(), merged) == merged, "merged text as new cookies is kept as it is");
    const Text withNothing = Merge(merged, Text());
    if (NamesAreDistinct(merged)) Require(withNothing == merged, "merging with empty is stable");
    Require(Merge(withNothing, Text()) == withNothing, "merging with empty settles");
  }

  // The helpers agree with each other.
  const TextArray pieces = TxSplit(merged, "; ");
  for (const Text& piece : pieces) {
    Require(HasCookieName(pieces, CookieName(piece)), "HasCookieName finds every piece's name");
    const int index = IndexOfText(pieces, piece);
    Require(index >= 1 && pieces[static_cast<std::size_t>(index) - 1] == piece,
            "IndexOfText names an equal element");
  }
  return 0;
}
