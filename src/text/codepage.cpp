#include "text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

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

bool IsGbkLeadByte(unsigned char byte) {
  return byte >= 0x81 && byte <= 0xFE;
}

// Text that needs ICU's encoder (see EncodeGbk) is still mostly ASCII:
// stretches of at least this many ASCII units are copied directly, and ICU
// converts what lies between them.
constexpr std::size_t kMinAsciiStretch = 16;

// End of the ASCII run that starts at begin, four units at a time where it can.
std::size_t AsciiRunEnd(std::u16string_view units, std::size_t begin) {
  constexpr std::size_t kPerWord = sizeof(std::uint64_t) / sizeof(char16_t);
  constexpr std::uint64_t kHighBits = 0xFF80FF80FF80FF80ULL;
  std::size_t end = begin;
  while (end + kPerWord <= units.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, units.data() + end, sizeof word);
    if ((word & kHighBits) != 0) break;
    end += kPerWord;
  }
  while (end < units.size() && units[end] < 0x80) ++end;
  return end;
}

// Calls convert(begin, end) for each piece ICU must convert and copy(begin,
// end) for each long ASCII stretch, in order. A high surrogate takes the next
// unit with it, whatever it is, so no piece ends inside a character, and a
// piece that ends in a broken one ends where the whole-text conversion would
// end it too: the result is the same as converting the whole text at once.
template <typename Convert, typename Copy>
void SplitAtAsciiStretches(std::u16string_view units, const Convert& convert, const Copy& copy) {
  std::size_t pieceStart = 0;
  std::size_t i = 0;
  while (i < units.size()) {
    if (units[i] >= 0x80) {
      i += U16_IS_LEAD(units[i]) && i + 1 < units.size() ? 2 : 1;
      continue;
    }
    const std::size_t end = AsciiRunEnd(units, i);
    if (end - i >= kMinAsciiStretch) {
      if (pieceStart < i) convert(pieceStart, i);
      copy(i, end);
      pieceStart = end;
    }
    i = end;
  }
  if (pieceStart < units.size()) convert(pieceStart, units.size());
}

// Converts source onto out from written on, growing out as needed; returns
// the new end. One ICU call per piece, with its converter reset.
template <typename Out, typename In, typename Step>
std::size_t ConvertOnto(const Step& step, In source, Out& out, std::size_t written) {
  auto* from = source.data();
  auto* const fromLimit = source.data() + source.size();
  for (;;) {
    auto* target = out.data() + written;
    UErrorCode error = U_ZERO_ERROR;
    step(&target, out.data() + out.size(), &from, fromLimit, &error);
    written = static_cast<std::size_t>(target - out.data());
    if (error != U_BUFFER_OVERFLOW_ERROR) break;
    Grow(out);
  }
  return written;
}

// Copies the ASCII run that starts at from into UTF-16 units at to and
// returns its length: sixteen bytes at a time while they are all ASCII.
std::size_t WidenAsciiRun(const char* from, std::size_t available, char16_t* to) {
  std::size_t done = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (done + 16 <= available) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + done));
    if (_mm_movemask_epi8(bytes) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + done), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + done + 8), _mm_unpackhi_epi8(bytes, zero));
    done += 16;
  }
#endif
  while (done < available && static_cast<unsigned char>(from[done]) < 0x80) {
    to[done] = static_cast<unsigned char>(from[done]);
    ++done;
  }
  return done;
}

// The same where to has room for sixteen units more than the run: a block
// with a high byte is widened whole and only its ASCII head counted, so
// that text with a character every few bytes still goes sixteen at a time.
std::size_t WidenAsciiRunWithRoom(const char* from, std::size_t available, char16_t* to) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  std::size_t done = 0;
  while (done + 16 <= available) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + done));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + done), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + done + 8), _mm_unpackhi_epi8(bytes, zero));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (high != 0) return done + static_cast<std::size_t>(std::countr_zero(high));
    done += 16;
  }
  return done + WidenAsciiRun(from + done, available - done, to + done);
#else
  return WidenAsciiRun(from, available, to);
#endif
}

#if defined(__x86_64__)
bool HasAvx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

// The same thirty-two bytes at a time, where to has room for thirty-two
// units more than the run.
__attribute__((target("avx2"))) std::size_t WidenAsciiRunAvx2(const char* from,
                                                              std::size_t available, char16_t* to) {
  std::size_t done = 0;
  while (done + 32 <= available) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + done));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + done),
                        _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bytes)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + done + 16),
                        _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bytes, 1)));
    const auto high = static_cast<unsigned>(_mm256_movemask_epi8(bytes));
    if (high != 0) return done + static_cast<std::size_t>(std::countr_zero(high));
    done += 32;
  }
  return done + WidenAsciiRunWithRoom(from + done, available - done, to + done);
}
#endif

// Decodes one piece with ICU onto units from written on; returns the new end.
std::size_t DecodePieceOnto(UConverter* converter, std::string_view piece, std::u16string& units,
                            std::size_t written) {
  ucnv_resetToUnicode(converter);
  return ConvertOnto(
      [converter](UChar** target, const UChar* targetLimit, const char** source,
                  const char* sourceLimit, UErrorCode* error) {
        ucnv_toUnicode(converter, target, targetLimit, source, sourceLimit, nullptr, true, error);
      },
      piece, units, written);
}

// The same, kept out of line: the page decoder calls it only for bytes its
// tables cannot answer, and its loop keeps its values in registers.
[[gnu::noinline]] std::size_t DecodeWithIcuOnto(std::string_view piece, std::u16string& units,
                                                std::size_t written) {
  return DecodePieceOnto(Converters().gbk.get(), piece, units, written);
}

// ICU's answers for single characters, asked once per character and thread:
// whole pages are then converted by looking characters up, and only what the
// tables cannot answer on their own (malformed bytes, surrogates, marks that
// may compose) goes to ICU. GBK is stateless, so a character converts the
// same alone as within any text.
class CharMemo {
 public:
  static CharMemo& ForThisThread() {
    thread_local CharMemo memo;
    return memo;
  }

  // The unit a lead and a trail byte decode to in the low 16 bits, 0 when
  // ICU does not decode them to one proper character (a malformed or
  // unassigned pair); kRoundTrips when the unit encodes back to exactly
  // these two bytes and composes with nothing.
  std::uint32_t DecodePair(unsigned char lead, unsigned char trail) {
    std::uint32_t& entry = pairs_[static_cast<std::size_t>(lead) << 8 | trail];
    if (entry == kPairNotAsked) entry = AskPair(lead, trail);
    return entry;
  }

  // What a unit that is no surrogate encodes to: kTwoBytes with both bytes
  // in the low 16 bits, or one byte in the low 8; kMayCompose when it may
  // combine with the character before it.
  std::uint32_t EncodeUnit(char16_t unit) {
    std::uint32_t& entry = units_[unit];
    if (entry == 0) entry = AskUnit(unit);
    return entry;
  }

  static constexpr std::uint32_t kAsked = 1U << 31;
  static constexpr std::uint32_t kMayCompose = 1U << 30;
  static constexpr std::uint32_t kTwoBytes = 1U << 16;
  static constexpr std::uint32_t kRoundTrips = 1U << 16;

 private:
  static constexpr std::uint32_t kPairNotAsked = UINT32_MAX;

  [[gnu::noinline]] std::uint32_t AskPair(unsigned char lead, unsigned char trail) {
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    std::u16string units(4, u'\0');
    units.resize(DecodePieceOnto(Converters().gbk.get(), std::string_view(pair, 2), units, 0));
    if (units.size() != 1) return 0;
    const char16_t unit = units[0];
    if (unit == 0 || unit == 0xFFFD || unit == 0xFFFF || U16_IS_SURROGATE(unit)) return 0;
    const std::uint32_t back = kAsked | kTwoBytes | static_cast<std::uint32_t>(lead) << 8 | trail;
    return EncodeUnit(unit) == back ? unit | kRoundTrips : unit;
  }

  [[gnu::noinline]] static std::uint32_t AskUnit(char16_t unit) {
    std::uint32_t entry = kAsked;
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
    // The test Compose makes before it combines a character with the one before.
    if (unit >= 0x300 && (U_FAILURE(error) || !unorm2_hasBoundaryBefore(nfc, unit))) {
      entry |= kMayCompose;
    }
    UConverter* converter = Converters().gbk.get();
    ucnv_resetFromUnicode(converter);
    char bytes[8];
    char* target = bytes;
    const UChar* source = &unit;
    error = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, bytes + sizeof bytes, &source, &unit + 1, nullptr, true,
                     &error);
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    if (target - bytes == 2)
      return entry | kTwoBytes | static_cast<std::uint32_t>(first) << 8 | second;
    // A zero byte would end the text: such a unit is left to the slow path.
    if (target - bytes == 1 && first != 0) return entry | first;
    return entry | kMayCompose;  // never seen; the slow path then decides
  }

  std::vector<std::uint32_t> pairs_ =
      std::vector<std::uint32_t>(std::size_t{1} << 16, kPairNotAsked);
  std::vector<std::uint32_t> units_ = std::vector<std::uint32_t>(std::size_t{1} << 16, 0);
};

// GBK bytes to UTF-16 units. ASCII and proper pairs come from the memo;
// anything else is decoded by ICU as a piece of its own: the lead byte with
// whatever byte follows it, or a lone byte. Each such piece ends where the
// whole-text conversion ends that character too, so the result is the same.
// No byte gives more than one unit, so the buffer is always large enough.
// Returns whether every character round trips (see GbkToUtf16Units); pairUnits,
// when given, receives the offsets of the units that came from two bytes.
bool DecodeGbk(std::string_view gbk, std::u16string& units, std::vector<std::uint32_t>* pairUnits) {
  if (pairUnits != nullptr) pairUnits->clear();
  // Room for a widened block of thirty-two past the last unit. Growing only:
  // a buffer that held a page of this size before is not cleared again.
  if (units.size() < gbk.size() + 32) units.resize(gbk.size() + 32);
#if defined(__x86_64__)
  const auto widen = HasAvx2() ? WidenAsciiRunAvx2 : WidenAsciiRunWithRoom;
#else
  const auto widen = WidenAsciiRunWithRoom;
#endif
  const char* const in = gbk.data();
  const std::size_t size = gbk.size();
  char16_t* out = units.data();
  CharMemo* memo = nullptr;
  bool roundTrips = true;
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < size) {
    const auto byte = static_cast<unsigned char>(in[i]);
    if (byte < 0x80) {
      const std::size_t run = widen(in + i, size - i, out + written);
      written += run;
      i += run;
      continue;
    }
    const std::size_t length = IsGbkLeadByte(byte) && i + 1 < size ? 2 : 1;
    if (length == 2) {
      if (memo == nullptr) memo = &CharMemo::ForThisThread();
      const std::uint32_t entry = memo->DecodePair(byte, static_cast<unsigned char>(in[i + 1]));
      if (const auto unit = static_cast<char16_t>(entry); unit != 0) {
        if (pairUnits != nullptr) pairUnits->push_back(static_cast<std::uint32_t>(written));
        out[written++] = unit;
        roundTrips = roundTrips && (entry & CharMemo::kRoundTrips) != 0;
        i += 2;
        continue;
      }
    }
    roundTrips = false;
    written = DecodeWithIcuOnto(gbk.substr(i, length), units, written);
    out = units.data();
    i += length;
  }
  units.resize(written);
  return roundTrips;
}

constexpr std::size_t kMemoFailed = SIZE_MAX;

// UTF-16 units to GBK bytes from the memo alone, up to the first zero unit,
// onto out (room for two bytes a unit); returns the bytes written, or
// kMemoFailed when a surrogate or a mark that may compose needs the slow path.
std::size_t EncodeByMemoOnto(std::u16string_view units, char* const out) {
  CharMemo* memo = nullptr;
  char* at = out;
  for (const char16_t unit : units) {
    if (unit < 0x80) {
      if (unit == 0) break;
      *at++ = static_cast<char>(unit);
      continue;
    }
    if (U16_IS_SURROGATE(unit)) return kMemoFailed;
    if (memo == nullptr) memo = &CharMemo::ForThisThread();
    const std::uint32_t entry = memo->EncodeUnit(unit);
    if ((entry & CharMemo::kMayCompose) != 0) return kMemoFailed;
    if ((entry & CharMemo::kTwoBytes) != 0) *at++ = static_cast<char>(entry >> 8);
    *at++ = static_cast<char>(entry);
  }
  return static_cast<std::size_t>(at - out);
}

// The same into bytes; false when the slow path is needed. Short texts (group
// texts, list cells) go through a buffer on the stack, so that bytes is
// allocated once at its final size.
bool EncodeGbkByMemo(std::u16string_view units, std::string& bytes) {
  constexpr std::size_t kStackUnits = 128;
  if (units.size() <= kStackUnits) {
    char local[2 * kStackUnits];
    const std::size_t written = EncodeByMemoOnto(units, local);
    if (written == kMemoFailed) return false;
    bytes.assign(local, written);
    return true;
  }
  bytes.resize(2 * units.size());
  const std::size_t written = EncodeByMemoOnto(units, bytes.data());
  if (written == kMemoFailed) return false;
  bytes.resize(written);
  return true;
}

// UTF-16 units to GBK bytes through ICU, long ASCII stretches copied directly:
// for text the memo cannot encode alone (see EncodeGbkByMemo).
std::string EncodeGbk(std::u16string_view units, std::size_t estimate) {
  UConverter* converter = Converters().gbk.get();
  std::string bytes(estimate + 1, '\0');
  std::size_t written = 0;
  SplitAtAsciiStretches(
      units,
      [&](std::size_t begin, std::size_t end) {
        ucnv_resetFromUnicode(converter);
        written = ConvertOnto(
            [converter](char** target, const char* targetLimit, const UChar** source,
                        const UChar* sourceLimit, UErrorCode* error) {
              ucnv_fromUnicode(converter, target, targetLimit, source, sourceLimit, nullptr, true,
                               error);
            },
            units.substr(begin, end - begin), bytes, written);
      },
      [&](std::size_t begin, std::size_t end) {
        if (written + (end - begin) > bytes.size()) bytes.resize(written + (end - begin));
        char* out = bytes.data() + written;
        for (std::size_t i = begin; i < end; ++i) *out++ = static_cast<char>(units[i]);
        written += end - begin;
      });
  bytes.resize(written);
  return bytes;
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

// Units that hold no zero unit.
std::string ComposeAndEncodeGbk(std::u16string_view units) {
  // Without a mark that may compose, composing changes nothing.
  if (std::string bytes; EncodeGbkByMemo(units, bytes)) return bytes;
  std::u16string storage;
  const std::u16string_view composed = Compose(units, storage);
  return EncodeGbk(composed, GbkSizeOf(composed));
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
  std::u16string units;
  DecodeGbk(gbk, units, nullptr);
  return units;
}

void DecodeGbkForMatching(std::string_view gbk, DecodedGbk& decoded) {
  decoded.roundTrips = DecodeGbk(gbk, decoded.units, &decoded.pairUnits);
}

std::size_t DecodedGbk::ByteOffset(std::size_t unit, std::size_t& pairsBefore) const {
  if (pairsBefore > pairUnits.size() || (pairsBefore > 0 && pairUnits[pairsBefore - 1] >= unit)) {
    pairsBefore = static_cast<std::size_t>(
        std::lower_bound(pairUnits.begin(), pairUnits.end(), unit) - pairUnits.begin());
  }
  while (pairsBefore < pairUnits.size() && pairUnits[pairsBefore] < unit) ++pairsBefore;
  return unit + pairsBefore;
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
  // Nearly every text is encoded in one pass by the memo, which stops at a
  // zero unit itself; GBK encodes no other unit with a zero byte.
  if (std::string bytes; EncodeGbkByMemo(units, bytes)) {
    return Text(std::move(bytes), Text::NoZeroByte{});
  }
  units = UpToZeroUnit(units);
  if (units.empty()) return {};
  return Text(ComposeAndEncodeGbk(units));
}

Text Gbk(std::string_view utf8Literal) {
  return Utf8TextToGbk(Text(utf8Literal));
}

}  // namespace tessaly
