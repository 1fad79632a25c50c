#include "text/codepage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

using namespace std::string_literals;

// "中文" in each form.
const std::string kGbkZhongWen = "\xD6\xD0\xCE\xC4";
const std::string kUtf8ZhongWen = "\xE4\xB8\xAD\xE6\x96\x87";
// e followed by the combining acute accent U+0301, and its precomposed GBK code.
const std::string kUtf8DecomposedE = "e\xCC\x81";
const std::string kGbkPrecomposedE = "\xA8\xA6";

TEST(Utf8BytesToGbk, DecodesUpToZeroComposesAndEndsWithOneZero) {
  struct Case {
    const char* name;
    std::string utf8;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"two Chinese characters", kUtf8ZhongWen, kGbkZhongWen + "\0"s},
      {"stops at a zero byte", "a\0b"s, "a\0"s},
      {"zero byte first", "\0abc"s, "\0"s},
      {"empty gives empty", "", ""},
      {"composes e and acute", kUtf8DecomposedE, kGbkPrecomposedE + "\0"s},
      {"Thai letter becomes one question mark", "\xE0\xB8\x81", "?\0"s},
      {"invalid bytes become question marks",
       "a\xFF"
       "b",
       "a?b\0"s},
      {"truncated sequence at the end", "a\xE4\xB8", "a?\0"s},
      {"encoded surrogate is invalid",
       "\xED\xA0\x80"
       "a",
       "???a\0"s},
      {"outside the BMP", "\xF0\x9F\x98\x80", "?\0"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8BytesToGbk(Bytes(c.utf8)).data(), c.expected);
  }
}

TEST(Utf8TextToGbk, EncodesWithoutComposition) {
  EXPECT_EQ(Utf8TextToGbk(Text(kUtf8ZhongWen)).bytes(), kGbkZhongWen);
  EXPECT_EQ(Utf8TextToGbk(Text(kUtf8DecomposedE)).bytes(), "e?");
  EXPECT_EQ(Utf8TextToGbk(Text("\xE0\xB8\x81")).bytes(), "?");
  EXPECT_EQ(Utf8TextToGbk(Text("a\xC3")).bytes(), "a?");
  EXPECT_TRUE(Utf8TextToGbk(Text()).empty());
}

TEST(GbkTextToUtf8, DecodesGbk) {
  EXPECT_EQ(GbkTextToUtf8(Text(kGbkZhongWen)).bytes(), kUtf8ZhongWen);
  EXPECT_EQ(GbkTextToUtf8(Text("A\x80")).bytes(), "A\xE2\x82\xAC");  // the euro sign
  EXPECT_TRUE(GbkTextToUtf8(Text()).empty());
}

TEST(GbkDecoding, MalformedGbkBecomesReplacementAndKeepsWhatFollows) {
  struct Case {
    const char* name;
    std::string gbk;
    std::string expectedUtf8;
  };
  const std::vector<Case> cases = {
      {"lone lead byte at the end", "ab\xD6", "ab\xEF\xBF\xBD"},
      {"lead byte before a byte that cannot follow",
       "\x81\x7F"
       "b",
       "\xEF\xBF\xBD\x7F"
       "b"},
      {"lead byte before a space", "\x81 b", "\xEF\xBF\xBD b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GbkTextToUtf8(Text(c.gbk)).bytes(), c.expectedUtf8);
    EXPECT_EQ(Utf16ToText(TextToUtf16(Text(c.gbk))), Utf8TextToGbk(Text(c.expectedUtf8)));
  }
}

TEST(TextToUtf16, UnitsLowByteFirstAndOneZeroUnit) {
  EXPECT_EQ(TextToUtf16(Text("\xD6\xD0")).data(), "\x2D\x4E\0\0"s);
  EXPECT_EQ(TextToUtf16(Text("A")).data(), "A\0\0\0"s);
  EXPECT_EQ(TextToUtf16(Text()).data(), "\0\0"s);
}

TEST(Utf16ToText, ReadsHalfTheLengthStopsAtZeroAndComposes) {
  struct Case {
    const char* name;
    std::string utf16le;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"stops at the zero unit", "\x2D\x4E\0\0\x41\0"s, "\xD6\xD0"},
      {"odd last byte ignored", "\x2D\x4E\x41", "\xD6\xD0"},
      {"one byte only", "A", ""},
      {"empty", "", ""},
      {"composes e and acute", "e\0\x01\x03"s, kGbkPrecomposedE},
      {"lone surrogate becomes a question mark",
       "\x00\xD8"
       "a\0"s,
       "?a"},
      {"surrogate pair outside GBK", "\x3D\xD8\x00\xDE"s, "?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16ToText(Bytes(c.utf16le)).bytes(), c.expected);
  }
}

TEST(NativeUnits, SameConversionsOnCodeUnits) {
  EXPECT_EQ(GbkToUtf16Units("A\xD6\xD0"), u"A\u4E2D");
  EXPECT_TRUE(GbkToUtf16Units("").empty());
  EXPECT_EQ(Utf16UnitsToText(u"A\u4E2D").bytes(), "A\xD6\xD0");
  EXPECT_EQ(Utf16UnitsToText(std::u16string_view(u"a\0b", 3)).bytes(), "a");
  EXPECT_EQ(Utf16UnitsToText(u"e\u0301").bytes(), kGbkPrecomposedE);
  // A mark that has no precomposed form with its base stays a mark ('?').
  EXPECT_EQ(Utf16UnitsToText(u"x\u0301").bytes(), "x?");
}

TEST(Gbk, ConvertsUtf8SourceLiterals) {
  EXPECT_EQ(Gbk("中文").bytes(), kGbkZhongWen);
  EXPECT_EQ(Gbk("#引号").bytes(), "#\xD2\xFD\xBA\xC5");
  EXPECT_EQ(Gbk("下一页").bytes(), "\xCF\xC2\xD2\xBB\xD2\xB3");
  EXPECT_TRUE(Gbk("").empty());
}

// Mixed Chinese and ASCII, a few KB, with full-width forms and punctuation.
Text MixedGbkText() {
  const Text piece = Gbk("礼包码：AV-1024 「最新资源」 大小 1.5GB，更新时间 2024-05-01　\r\n");
  Text text;
  while (text.size() < 6000) text += piece;
  return text;
}

TEST(RoundTrip, MixedTextSurvivesEveryConversionPair) {
  const Text gbk = MixedGbkText();
  const Text utf8 = GbkTextToUtf8(gbk);
  ASSERT_GT(utf8.size(), gbk.size());

  EXPECT_EQ(Utf8TextToGbk(utf8), gbk);
  EXPECT_EQ(BxToText(Utf8BytesToGbk(TxToBytes(utf8))), gbk);
  EXPECT_EQ(Utf8BytesToGbk(TxToBytes(utf8)).size(), gbk.size() + 1);
  EXPECT_EQ(Utf16ToText(TextToUtf16(gbk)), gbk);
  EXPECT_EQ(Utf16UnitsToText(GbkToUtf16Units(gbk.view())), gbk);
  EXPECT_EQ(GbkTextToUtf8(Utf16ToText(TextToUtf16(gbk))), utf8);
}

// Every two-byte code GBK assigns, including the CJK compatibility ideographs
// (0xFD9C, 0xFE40, ...) that a full NFC pass would turn into other characters.
TEST(RoundTrip, EveryAssignedGbkCodeSurvivesUtf16WithComposition) {
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string units = GbkToUtf16Units(code);
      if (units.size() == 1 && units[0] != u'\uFFFD') all += code;
    }
  }
  ASSERT_GT(all.size(), 2u * 20000u);
  const Text gbk(all);
  EXPECT_EQ(Utf16ToText(TextToUtf16(gbk)), gbk);
  EXPECT_EQ(BxToText(Utf8BytesToGbk(TxToBytes(GbkTextToUtf8(gbk)))), gbk);
  EXPECT_EQ(Utf8TextToGbk(GbkTextToUtf8(gbk)), gbk);
}

// Random bytes of many lengths through every conversion: nothing crashes or
// reads out of bounds (the sanitizer build checks the latter), a Text never
// holds a zero byte, and Utf8BytesToGbk ends with exactly one.
TEST(BadInput, RandomBytesConvertWithoutHarm) {
  std::mt19937 random(20240501);
  std::uniform_int_distribution<int> byteValue(0, 255);
  for (int length = 0; length < 300; ++length) {
    std::string bytes(static_cast<std::size_t>(length), '\0');
    for (char& b : bytes) b = static_cast<char>(byteValue(random));
    SCOPED_TRACE(length);
    const Text text(bytes);

    const Bytes gbk = Utf8BytesToGbk(Bytes(bytes));
    if (!bytes.empty()) {
      ASSERT_FALSE(gbk.empty());
      EXPECT_EQ(gbk.view().find('\0'), gbk.view().size() - 1);
    }
    for (const Text& converted :
         {Utf8TextToGbk(text), GbkTextToUtf8(text), Utf16ToText(Bytes(bytes)),
          Utf16ToText(TextToUtf16(text)), Utf16UnitsToText(GbkToUtf16Units(text.view()))}) {
      EXPECT_EQ(converted.view().find('\0'), std::string_view::npos);
    }
    EXPECT_EQ(TextToUtf16(text).size() % 2, 0);
  }
}

TEST(BadInput, TensOfMegabytesConvertWhole) {
  const Text piece = Gbk("资源 AV-1234 大小：1.5GB\r\n");
  std::string big;
  big.reserve(24u << 20);
  while (big.size() < (24u << 20)) big += piece.bytes();
  const Text gbk(std::move(big));

  const Text utf8 = GbkTextToUtf8(gbk);
  const std::size_t pieces = gbk.view().size() / piece.view().size();
  EXPECT_EQ(utf8.view().size(), pieces * GbkTextToUtf8(piece).view().size());

  const Bytes back = Utf8BytesToGbk(TxToBytes(utf8));
  ASSERT_EQ(back.view().size(), gbk.view().size() + 1);
  EXPECT_EQ(BxToText(back), gbk);
  EXPECT_EQ(Utf8TextToGbk(utf8), gbk);
  EXPECT_EQ(Utf16ToText(TextToUtf16(gbk)), gbk);
}

// One text that needs composition after megabytes of text that does not: the
// whole tail is composed and nothing is lost on either side.
TEST(BadInput, LargeTextWithACombiningMarkNearTheEnd) {
  std::string utf8(3u << 20, 'a');
  utf8 += kUtf8DecomposedE + kUtf8ZhongWen;
  const Bytes gbk = Utf8BytesToGbk(Bytes(utf8));
  EXPECT_EQ(gbk.view().substr(0, 3u << 20), std::string(3u << 20, 'a'));
  EXPECT_EQ(gbk.view().substr(3u << 20), kGbkPrecomposedE + kGbkZhongWen + "\0"s);
}

// Each thread has its own converters; conversions running at the same time
// give the same results as on one thread.
TEST(Threads, ConcurrentConversionsAgree) {
  const Text gbk = MixedGbkText();
  const Text utf8 = GbkTextToUtf8(gbk);
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        if (!(GbkTextToUtf8(gbk) == utf8)) ++mismatches[t];
        if (!(BxToText(Utf8BytesToGbk(TxToBytes(utf8))) == gbk)) ++mismatches[t];
        if (!(Utf16ToText(TextToUtf16(gbk)) == gbk)) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tessaly
