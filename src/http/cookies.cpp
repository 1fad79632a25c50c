#include "http/cookies.h"

namespace tessaly {

Text MergeCookies(Text& oldCookies, Text& newCookies) {
  oldCookies = TxStripSpaces(oldCookies);
  newCookies = TxStripSpaces(newCookies);
  const TextArray oldPieces = TxSplit(oldCookies, ";");
  TextArray merged = TxSplit(newCookies, ";");
  // Tested against the list as it grows: of two old pieces with one name
  // only the first gets in, while new pieces of one name all stay.
  for (const Text& piece : oldPieces) {
    if (!HasCookieName(merged, CookieName(piece))) merged.push_back(piece);
  }
  oldCookies = Text();
  for (const Text& piece : merged) {
    if (TxRight(piece, 8) != Text("=deleted")) oldCookies += TxJoin(piece, Text("; "));
  }
  oldCookies = TxLeft(oldCookies, TxLen(oldCookies) - 2);
  oldCookies = RemoveDuplicatePieces(oldCookies, "; ");
  return oldCookies;
}

Text CookieName(const Text& piece) {
  const int equals = TxFind(piece, "=");
  return TxTrim(equals == kNotFound ? piece : TxLeft(piece, equals - 1));
}

bool HasCookieName(const TextArray& list, const Text& name) {
  for (const Text& piece : list) {
    if (TxCompare(CookieName(piece), name) == 0) return true;
  }
  return false;
}

Text RemoveDuplicatePieces(const Text& text, const Text& separator) {
  TextArray seen;
  Text kept;
  for (const Text& piece : TxSplit(text, separator)) {
    if (IndexOfText(seen, piece) == kNotFound) {
      seen.push_back(piece);
      kept += TxJoin(piece, separator);
    }
  }
  return TxLeft(kept, TxLen(kept) - TxLen(separator));
}

int IndexOfText(const TextArray& list, const Text& text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int>(i) + 1;
  }
  return kNotFound;
}

}  // namespace tessaly
