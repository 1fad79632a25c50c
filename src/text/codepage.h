// Conversions between GBK (Windows code page 936), UTF-8 and UTF-16LE.
//
// Every conversion goes through UTF-16 code units on ICU's "windows-936-2000"
// converter. A character GBK cannot hold becomes "?"; invalid UTF-8 decodes to
// U+FFFD and so also becomes "?". Utf8BytesToGbk and Utf16ToText compose a
// base character and a following combining mark (NFC) before encoding GBK.
// Converters are cached per thread and never shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace tessaly {

// Decodes up to the first zero byte; the result ends with one zero byte
// (empty Bytes give empty Bytes).
Bytes Utf8BytesToGbk(const Bytes& utf8);
Text Utf8TextToGbk(const Text& utf8);
Text GbkTextToUtf8(const Text& gbk);
// The UTF-16LE units of the text followed by one zero unit.
Bytes TextToUtf16(const Text& gbk);
// Reads size/2 units, stops at the first zero unit, composes, encodes GBK.
Text Utf16ToText(const Bytes& utf16le);

// The same conversions on native code units, for the hot paths (the regex
// subject, group texts, the window's display texts) that would otherwise
// build a byte copy only to read it back.
std::u16string GbkToUtf16Units(std::string_view gbk);

// A GBK text decoded for matching: its units, and which of them came from
// two bytes, so that a unit offset converts to a byte offset.
struct DecodedGbk {
  std::u16string units;
  // Offsets of the units that came from a two-byte pair, in order.
  std::vector<std::uint32_t> pairUnits;
  // True when every character came from one ASCII byte or one two-byte pair
  // that its unit encodes back to (nearly every page): the GBK of any run of
  // the units is then the very bytes they came from.
  bool roundTrips = true;

  // The byte offset in the GBK text of the unit at unit. pairsBefore is the
  // count of pair units before the offset asked last (0 at first): offsets
  // asked in order are then found by stepping on from there.
  std::size_t ByteOffset(std::size_t unit, std::size_t& pairsBefore) const;
};
// Storage is reused from one text to the next.
void DecodeGbkForMatching(std::string_view gbk, DecodedGbk& decoded);

// Stops at the first zero unit; composes before encoding.
Text Utf16UnitsToText(std::u16string_view units);

// A GBK text from a UTF-8 source literal: how the program writes its Chinese
// captions, markers and patterns (source files are UTF-8).
Text Gbk(std::string_view utf8Literal);

}  // namespace tessaly
