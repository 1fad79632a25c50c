// UrlEncode with every flag combination: the output alphabet and decoding
// back to the encoded bytes.
//
// Input: separator, controls [flags: bit 0 keepSafe, bit 1 toUtf8], text.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "text/codepage.h"
#include "text/url_encode.h"

namespace tessaly::fuzz {
namespace {

bool IsKept(char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower-case digits are not what UrlEncode writes
}

void CheckEncoding(const Text& text, UrlEncodeOptions options) {
  const Text encoded = UrlEncode(text, options);
  const std::string_view e = encoded.view();
  const Text source = options.toUtf8 ? GbkTextToUtf8(text) : text;
  std::string decoded;
  for (std::size_t i = 0; i < e.size();) {
    if (e[i] == '%') {
      Require(i + 2 < e.size(), "every % is followed by two digits");
      const int high = HexValue(e[i + 1]);
      const int low = HexValue(e[i + 2]);
      Require(high >= 0 && low >= 0, "escapes use upper-case hexadecimal digits");
      const auto byte = static_cast<unsigned char>(high * 16 + low);
      Require(!(options.keepSafe && IsKept(static_cast<char>(byte))),
              "a kept byte is never escaped");
      decoded.push_back(static_cast<char>(byte));
      i += 3;
    } else {
      Require(options.keepSafe && IsKept(e[i]), "only kept bytes appear unescaped");
      decoded.push_back(e[i]);
      i += 1;
    }
  }
  Require(decoded == source.bytes(), "decoding gives the encoded bytes back");
  if (text.empty()) Require(encoded.empty(), "the empty text encodes to nothing");
}

}  // namespace
}  // namespace tessaly::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::fuzz;
  const FuzzInput input(data, size, 1);
  const Text text(input.Rest());
  const UrlEncodeOptions asked{.keepSafe = input.Flag(0, 0), .toUtf8 = input.Flag(0, 1)};
  CheckEncoding(text, asked);
  CheckEncoding(text, {});
  return 0;
}
