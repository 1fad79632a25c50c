// Folding the cookies a response set into the cookies a caller keeps.
#pragma once

#include "text/text.h"

namespace tessaly {

// New pieces first in the order received, then the old pieces whose names the
// new ones do not carry; "=deleted" pieces drop out; exact repeats removed.
// Both arguments are written: oldCookies receives the merged text, newCookies
// its own text without blanks.
Text MergeCookies(Text& oldCookies, Text& newCookies);
Text CookieName(const Text& piece);
bool HasCookieName(const TextArray& list, const Text& name);
Text RemoveDuplicatePieces(const Text& text, const Text& separator);
// 1-based index of the first element equal to the text, or kNotFound.
int IndexOfText(const TextArray& list, const Text& text);

}  // namespace tessaly
