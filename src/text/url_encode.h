#pragma once

#include "text/text.h"

namespace tessaly {

struct UrlEncodeOptions {
  // Copy ASCII letters, digits, '-' and '.' unencoded.
  bool keepSafe = false;
  // Encode the bytes of the text's UTF-8 form instead of its GBK bytes.
  bool toUtf8 = false;
};

// Percent-encodes every byte not kept, with upper-case hex digits ("%20" for a space).
Text UrlEncode(const Text& text, UrlEncodeOptions options = {});

}  // namespace tessaly
