#include "text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tessaly {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// A converter is the only state the conversions keep. ICU converters are not
// thread-safe, so every thread opens its own on first use.
ConverterPtr OpenConverter(const char* name) {
  UErrorCode error = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(name, &error));
  if (U_FAILURE(error) || converter == nullptr) {
    // Without its converters the program cannot read a single page; a broken
    // ICU installation must not pass for empty pages.
    std::fprintf(stderr, "tessaly: cannot open the ICU converter %s: %s\n", name,
                 u_errorName(error));
    std::abort();
  }
  return converter;
}

ConverterPtr OpenGbkConverter() {
  ConverterPtr converter = OpenConverter("windows-936-2000");
  UErrorCode error = U_ZERO_ERROR;
  // Characters GBK cannot hold become '?'. With a one-byte substitute other
  // than 0x1A, ICU decodes malformed input to U+FFFD.
  ucnv_setSubstChars(converter.get(), "?", 1, &error);
  // Best-fit mappings as the Windows code page uses them.
  ucnv_setFallback(converter.get(), true);
  return converter;
}

struct ThreadConverters {
  ConverterPtr gbk = OpenGbkConverter();
  ConverterPtr utf8 = OpenConverter("UTF-8");
};

ThreadConverters& Converters() {
  thread_local ThreadConverters converters;
  return converters;
}

std::size_t CountHighBytes(std::string_view bytes) {
  return static_cast<std::size_t>(std::count_if(
      bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

// Upper bound of the GBK bytes of valid UTF-16 units: one byte for ASCII, at
// most two for any other unit (a surrogate pair becomes one '?').
std::size_t GbkSizeOf(std::u16string_view units) {
  return units.size() + static_cast<std::size_t>(std::count_if(
                            units.begin(), units.end(), [](char16_t u) { return u >= 0x80; }));
}

// Grows a buffer that overflowed; the conversion then resumes where it stopped.
template <typename Buffer>
void Grow(Buffer& buffer) {
  buffer.resize(buffer.size() + buffer.size() / 2 + 64);
}

// Decodes bytes into UTF-16 units in one pass.
std::u16string Decode(UConverter* converter, std::string_view bytes, std::size_t estimate) {
  std::u16string units(estimate + 1, u'\0');
  ucnv_resetToUnicode(converter);
  const char* source = bytes.data();
  const char* const sourceLimit = bytes.data() + bytes.size();
  std::size_t written = 0;
  for (;;) {
    UChar* target = units.data() + written;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, units.data() + units.size(), &source, sourceLimit, nullptr,
                   true, &error);
    written = static_cast<std::size_t>(target - units.data());
    if (error != U_BUFFER_OVERFLOW_ERROR) break;
    Grow(units);
  }
  units.resize(written);
  return units;
}

// UTF-8 to UTF-16 through ICU's string function, faster than a converter;
// malformed sequences become U+FFFD as they do through the converter.
std::u16string DecodeUtf8(std::string_view utf8) {
  if (utf8.size() > INT32_MAX) return Decode(Converters().utf8.get(), utf8, utf8.size());
  // UTF-8 never yields more UTF-16 units than it has bytes.
  std::u16string units(utf8.size(), u'\0');
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8WithSub(units.data(), static_cast<int32_t>(units.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &error);
  if (U_FAILURE(error)) return Decode(Converters().utf8.get(), utf8, utf8.size());
  units.resize(static_cast<std::size_t>(length));
  return units;
}

// Encodes UTF-16 units in one pass.
std::string Encode(UConverter* converter, std::u16string_view units, std::size_t estimate) {
  std::string bytes(estimate + 1, '\0');
  ucnv_resetFromUnicode(converter);
  const UChar* source = units.data();
  const UChar* const sourceLimit = units.data() + units.size();
  std::size_t written = 0;
  for (;;) {
    char* target = bytes.data() + written;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, bytes.data() + bytes.size(), &source, sourceLimit, nullptr,
                     true, &error);
    written = static_cast<std::size_t>(target - bytes.data());
    if (error != U_BUFFER_OVERFLOW_ERROR) break;
    Grow(bytes);
  }
  bytes.resize(written);
  return bytes;
}

// Decodes with one converter and encodes with another through a small pivot
// buffer, without building the whole UTF-16 form.
std::string Transcode(UConverter* to, UConverter* from, std::string_view bytes,
                      std::size_t estimate) {
  constexpr std::size_t kPivotUnits = 4096;
  UChar pivot[kPivotUnits];
  UChar* pivotSource = pivot;
  UChar* pivotTarget = pivot;
  std::string out(estimate + 1, '\0');
  const char* source = bytes.data();
  const char* const sourceLimit = bytes.data() + bytes.size();
  std::size_t written = 0;
  bool reset = true;
  for (;;) {
    char* target = out.data() + written;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, sourceLimit, pivot,
                   &pivotSource, &pivotTarget, pivot + kPivotUnits, reset, true, &error);
    reset = false;
    written = static_cast<std::size_t>(target - out.data());
    if (error != U_BUFFER_OVERFLOW_ERROR) break;
    Grow(out);
  }
  out.resize(written);
  return out;
}

void AppendCodePoint(std::u16string& out, UChar32 c) {
  if (c <= 0xFFFF) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(static_cast<char16_t>(U16_LEAD(c)));
    out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
  }
}

// Replaces a character followed by a combining mark with the precomposed
// character that Unicode defines for the pair, repeatedly, so e + U+0301
// becomes U+00E9. Unlike a full NFC pass nothing else changes: the CJK
// compatibility ideographs that GBK holds (0xFD9C, 0xFE40, ...) keep their
// own code points, so GBK text survives a trip through UTF-16 unchanged.
// Text without any mark, nearly every page, is returned as it is, without a
// copy; otherwise the composed form is written to storage.
std::u16string_view Compose(std::u16string_view units, std::u16string& storage) {
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
  if (U_FAILURE(error)) return units;
  std::size_t composedPrefix = 0;
  if (units.size() <= INT32_MAX) {
    composedPrefix = static_cast<std::size_t>(
        unorm2_spanQuickCheckYes(nfc, units.data(), static_cast<int32_t>(units.size()), &error));
    if (U_FAILURE(error)) composedPrefix = 0;
  }
  if (composedPrefix == units.size()) return units;

  storage.clear();
  storage.reserve(units.size());
  storage.append(units.substr(0, composedPrefix));
  // The last character written and where it starts in storage; -1 when none.
  UChar32 last = -1;
  std::size_t lastAt = 0;
  if (composedPrefix > 0) {
    std::size_t at = composedPrefix;
    U16_BACK_1(units.data(), 0, at);
    U16_GET(units.data(), 0, at, composedPrefix, last);
    lastAt = at;
  }
  std::size_t i = composedPrefix;
  while (i < units.size()) {
    UChar32 c = 0;
    U16_NEXT(units.data(), i, units.size(), c);
    // Every character that combines with the one before it lies at U+0300 or
    // above and has no composition boundary before it.
    if (last >= 0 && c >= 0x300 && !unorm2_hasBoundaryBefore(nfc, c)) {
      const UChar32 composite = unorm2_composePair(nfc, last, c);
      if (composite >= 0) {
        storage.resize(lastAt);
        AppendCodePoint(storage, composite);
        last = composite;
        continue;
      }
    }
    lastAt = storage.size();
    AppendCodePoint(storage, c);  // a lone surrogate is copied as it is
    last = c;
  }
  return storage;
}

std::u16string_view UpToZeroUnit(std::u16string_view units) {
  const std::size_t zero = units.find(u'\0');
  return zero == std::u16string_view::npos ? units : units.substr(0, zero);
}

std::string ComposeAndEncodeGbk(std::u16string_view units) {
  std::u16string storage;
  const std::u16string_view composed = Compose(units, storage);
  return Encode(Converters().gbk.get(), composed, GbkSizeOf(composed));
}

}  // namespace

Bytes Utf8BytesToGbk(const Bytes& utf8) {
  if (utf8.empty()) return {};
  std::string_view source = utf8.view();
  source = source.substr(0, std::min(source.size(), source.find('\0')));
  const std::u16string units = DecodeUtf8(source);
  std::string gbk = ComposeAndEncodeGbk(units);
  gbk.push_back('\0');
  return Bytes(std::move(gbk));
}

Text Utf8TextToGbk(const Text& utf8) {
  if (utf8.empty()) return {};
  ThreadConverters& converters = Converters();
  const std::string_view source = utf8.view();
  // ASCII stays one byte; every other character is at most two GBK bytes and
  // has exactly one lead byte (0xC0-0xFF) in UTF-8.
  const auto leadBytes = static_cast<std::size_t>(std::count_if(
      source.begin(), source.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xC0; }));
  const std::size_t asciiBytes = source.size() - CountHighBytes(source);
  return Text(
      Transcode(converters.gbk.get(), converters.utf8.get(), source, asciiBytes + 2 * leadBytes));
}

Text GbkTextToUtf8(const Text& gbk) {
  if (gbk.empty()) return {};
  ThreadConverters& converters = Converters();
  const std::string_view source = gbk.view();
  // A two-byte GBK character is three UTF-8 bytes.
  return Text(Transcode(converters.utf8.get(), converters.gbk.get(), source,
                        source.size() + CountHighBytes(source) / 2));
}

std::u16string GbkToUtf16Units(std::string_view gbk) {
  if (gbk.empty()) return {};
  return Decode(Converters().gbk.get(), gbk, gbk.size() - CountHighBytes(gbk) / 2);
}

Bytes TextToUtf16(const Text& gbk) {
  const std::u16string units = GbkToUtf16Units(gbk.view());
  std::string bytes((units.size() + 1) * 2, '\0');
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(bytes.data(), units.data(), units.size() * 2);
  } else {
    for (std::size_t i = 0; i < units.size(); ++i) {
      bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
  }
  return Bytes(std::move(bytes));
}

Text Utf16ToText(const Bytes& utf16le) {
  const std::string_view bytes = utf16le.view();
  std::u16string units(bytes.size() / 2, u'\0');
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(units.data(), bytes.data(), units.size() * 2);
  } else {
    for (std::size_t i = 0; i < units.size(); ++i) {
      units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
  }
  return Utf16UnitsToText(units);
}

Text Utf16UnitsToText(std::u16string_view units) {
  units = UpToZeroUnit(units);
  if (units.empty()) return {};
  return Text(ComposeAndEncodeGbk(units));
}

Text Gbk(std::string_view utf8Literal) {
  return Utf8TextToGbk(Text(utf8Literal));
}

}  // namespace tessaly
