// The GBK conversions copy ASCII themselves, look other characters up in a
// per-thread table of ICU's answers and hand ICU only what the table cannot
// answer, piece by piece. Whatever the input, the result must be what one ICU
// conversion of the whole text gives: these cases put malformed, unassigned
// and multi-unit characters next to ASCII runs and to each other.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "text/codepage.h"

namespace tessaly {
namespace {

const std::string kStretch(20, 'a');  // longer than any stretch that is copied

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};

// The converter exactly as the program sets it up.
std::unique_ptr<UConverter, ConverterCloser> WholeTextConverter() {
  UErrorCode error = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open("windows-936-2000", &error));
  ucnv_setSubstChars(converter.get(), "?", 1, &error);
  ucnv_setFallback(converter.get(), true);
  EXPECT_TRUE(U_SUCCESS(error));
  return converter;
}

std::u16string DecodeWhole(const std::string& gbk) {
  auto converter = WholeTextConverter();
  std::u16string units(gbk.size() + 1, u'\0');
  UErrorCode error = U_ZERO_ERROR;
  const int32_t length =
      ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()), gbk.data(),
                    static_cast<int32_t>(gbk.size()), &error);
  EXPECT_TRUE(U_SUCCESS(error));
  units.resize(static_cast<std::size_t>(length));
  return units;
}

std::string EncodeWhole(const std::u16string& units) {
  auto converter = WholeTextConverter();
  std::string bytes(2 * units.size() + 1, '\0');
  UErrorCode error = U_ZERO_ERROR;
  const int32_t length =
      ucnv_fromUChars(converter.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                      units.data(), static_cast<int32_t>(units.size()), &error);
  EXPECT_TRUE(U_SUCCESS(error));
  bytes.resize(static_cast<std::size_t>(length));
  return bytes;
}

struct GbkCase {
  const char* name;
  std::string gbk;
};

TEST(GbkFastPaths, DecodingEqualsOneWholeTextConversion) {
  const GbkCase cases[] = {
      {"lead byte whose trail is an ASCII letter", "\x81" + kStretch},
      {"lead byte before a line end", "x\x81\r" + kStretch},
      {"lead byte before 0xFF", "\x81\xFF" + kStretch},
      {"lone 0xFF", "\xFF" + kStretch + "\xFF"},
      {"0x80, one byte", "\x80" + kStretch + "\x80"},
      {"lead byte at the very end", kStretch + "\x81"},
      {"characters between stretches", kStretch + "\xD6\xD0\xCE\xC4" + kStretch},
      {"short ASCII between characters", std::string("\xD6\xD0") + "ab" + "\xCE\xC4" + kStretch},
      {"unassigned pair", kStretch + "\xA2\xA0" + kStretch},
      {"only ASCII", kStretch + kStretch},
  };
  for (const GbkCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GbkToUtf16Units(c.gbk), DecodeWhole(c.gbk));
  }
}

// ASCII is widened in blocks of sixteen or thirty-two bytes: a character at
// every offset within and across a block.
TEST(GbkFastPaths, CharactersAtEveryOffsetOfTheAsciiBlocks) {
  for (std::size_t offset = 0; offset <= 70; ++offset) {
    SCOPED_TRACE(offset);
    const std::string gbk = std::string(offset, 'a') + "\xD6\xD0" + std::string(70 - offset, 'b') +
                            "\x80" + std::string(offset, 'c') + "\xCE";
    ASSERT_EQ(GbkToUtf16Units(gbk), DecodeWhole(gbk));
  }
}

TEST(GbkFastPaths, RandomMixturesDecodeAsOneWholeText) {
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {
      kStretch, "ab",   "\xD6\xD0", "\x81",     "\x80",     "\xFF",     "\r\n",
      "\xA1",   "\x7F", "\xFE\x40", "\xA1\xA1", "\xFD\x9C", "\xA2\xA0", "\xAA\xA1"};
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  for (int round = 0; round < 2000; ++round) {
    std::string gbk;
    for (int i = 0; i < 12; ++i) gbk += pieces[pick(random)];
    SCOPED_TRACE(round);
    ASSERT_EQ(GbkToUtf16Units(gbk), DecodeWhole(gbk));
  }
}

TEST(GbkFastPaths, RandomMixturesEncodeAsOneWholeText) {
  std::mt19937 random(11);
  const std::u16string longAscii(20, u'b');
  // No combining marks, so composition leaves every mixture as it is.
  const std::vector<std::u16string> pieces = {longAscii, u"xy",         u"\u4E2D", u"\u20AC",
                                              u"\u00E9", u"\U0001F600", u"\xD800", u"\xDC00",
                                              u"\uFFFD", u"\uF92C",     u"\u3000", u"\r\n"};
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  for (int round = 0; round < 2000; ++round) {
    std::u16string units;
    for (int i = 0; i < 12; ++i) units += pieces[pick(random)];
    SCOPED_TRACE(round);
    ASSERT_EQ(Utf16UnitsToText(units).bytes(), EncodeWhole(units));
  }
}

TEST(GbkFastPaths, AMarkRightAfterAStretchStillComposes) {
  // e + U+0301 at the end of a long ASCII stretch becomes the one GBK code of é.
  const std::u16string units = std::u16string(20, u'a') + u"e\u0301";
  EXPECT_EQ(Utf16UnitsToText(units).bytes(), std::string(20, 'a') + "\xA8\xA6");
}

// A text decoded for matching says whether its characters round trip; when
// they do, any run of its units encodes to the very bytes at the run's byte
// offsets, whichever order the offsets are asked in.
TEST(GbkForMatching, RoundTripMeansEveryRunOfUnitsIsItsOwnBytes) {
  std::mt19937 random(13);
  // The first five round trip; each of the others is decoded by ICU alone
  // or is no character.
  const std::vector<std::string> pieces = {kStretch,   "ab",   "\xD6\xD0", "\xA1\xA1",
                                           "\xFD\x9C", "\x80", "\xFF",     "\x81\x7F"};
  constexpr std::size_t kRoundTripping = 5;
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  DecodedGbk decoded;
  int roundTripping = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string gbk;
    bool clean = true;
    for (int i = 0; i < 8; ++i) {
      const std::size_t piece = round % 2 == 0 ? pick(random) % kRoundTripping : pick(random);
      clean = clean && piece < kRoundTripping;
      gbk += pieces[piece];
    }
    SCOPED_TRACE(round);
    DecodeGbkForMatching(gbk, decoded);
    ASSERT_EQ(decoded.units, DecodeWhole(gbk));
    ASSERT_EQ(decoded.roundTrips, clean);
    if (!clean) continue;
    ++roundTripping;
    std::size_t hint = 0;
    std::uniform_int_distribution<std::size_t> unit(0, decoded.units.size());
    for (int i = 0; i < 20; ++i) {
      std::size_t a = unit(random);
      std::size_t b = unit(random);
      if (a > b) std::swap(a, b);
      const std::size_t from = decoded.ByteOffset(a, hint);
      const std::size_t to = decoded.ByteOffset(b, hint);
      ASSERT_EQ(Utf16UnitsToText(std::u16string_view(decoded.units).substr(a, b - a)).bytes(),
                gbk.substr(from, to - from));
    }
  }
  EXPECT_GE(roundTripping, 1000);  // every even round, and some others
  DecodeGbkForMatching("", decoded);
  EXPECT_TRUE(decoded.units.empty());
  EXPECT_TRUE(decoded.roundTrips);
}

}  // namespace
}  // namespace tessaly
