#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "text/codepage.h"
#include "text/text.h"

namespace tessaly {
namespace {

// GBK fixtures. A lead byte (0x80-0xFF) and the byte after it are one character.
constexpr const char* kZhongWen = "\xD6\xD0\xCE\xC4";  // two characters: D6D0 CEC4
constexpr const char* kIdeographicSpace = "\xA1\xA1";

struct FindCase {
  const char* name;
  std::string text;
  std::string needle;
  std::optional<int> start;
  bool caseInsensitive;
  int expected;
};

TEST(TxFind, FindsFirstOccurrenceFromStartByCharacters) {
  const std::vector<FindCase> cases = {
      {"no start", "abcb", "b", std::nullopt, false, 2},
      {"start 1", "abcb", "b", 1, false, 2},
      {"start inside", "abcb", "b", 3, false, 4},
      {"start on the hit", "abcb", "b", 4, false, 4},
      {"start 0 searches from 1", "abcb", "b", 0, false, 2},
      {"negative start searches from 1", "abcb", "b", -1, false, 2},
      {"start beyond the length", "abcb", "b", 5, false, kNotFound},
      {"empty needle", "abcb", "", std::nullopt, false, 1},
      {"empty needle in an empty range", "abcb", "", 5, false, kNotFound},
      {"empty needle in empty text", "", "", std::nullopt, false, kNotFound},
      {"needle longer than text", "ab", "abc", std::nullopt, false, kNotFound},
      {"needle at the very end", "abcdef", "ef", std::nullopt, false, 5},
      {"flag finds capitals", "charset=UTF-8", "utf-8", std::nullopt, true, 9},
      {"without flag capitals differ", "charset=UTF-8", "utf-8", std::nullopt, false, kNotFound},
      {"needle straddling two characters", kZhongWen, "\xD0\xCE", std::nullopt, false, kNotFound},
      {"two-byte needle at a character start", kZhongWen, "\xCE\xC4", std::nullopt, false, 3},
      {"ASCII-valued second byte is skipped",
       "\x81"
       "AA",
       "A", std::nullopt, false, 3},
      {"flag folds second bytes too",
       "\x81"
       "A",
       "\x81"
       "a",
       std::nullopt, true, 1},
      {"start on a second byte scans from there",
       "\xD6"
       "AA",
       "A", 2, false, 2},
      {"lone lead byte at the end", "ab\xD6", "\xD6\xD0", std::nullopt, false, kNotFound},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxFind(Text(c.text), Text(c.needle), c.start, c.caseInsensitive), c.expected);
  }
}

TEST(TxFindLast, FindsLastOccurrenceWhollyBeforeStart) {
  const std::vector<FindCase> cases = {
      {"no start", "a.b.c", ".", std::nullopt, false, 4},
      {"start 4", "a.b.c", ".", 4, false, 2},
      {"start 5 allows a hit at 4", "a.b.c", ".", 5, false, 4},
      {"start 2", "a.b.c", ".", 2, false, kNotFound},
      {"start 1", "a.b.c", ".", 1, false, kNotFound},
      {"start 0", "a.b.c", ".", 0, false, kNotFound},
      {"start beyond the length", "a.b.c", ".", 99, false, 4},
      {"needle must end before start", "abcabc", "bc", 6, false, 2},
      {"needle ending at start - 1", "abcabc", "bc", 7, false, 5},
      {"empty needle", "abc", "", std::nullopt, false, 1},
      {"empty needle with start 1", "abc", "", 1, false, kNotFound},
      {"needle straddling two characters", kZhongWen, "\xD0\xCE", std::nullopt, false, kNotFound},
      {"ASCII-valued second byte is skipped",
       "A\x81"
       "A",
       "A", std::nullopt, false, 1},
      {"flag", "UTF-8 utf-8 x", "UTF-8", std::nullopt, true, 7},
      {"lone lead byte at the end", "a.\xD6", ".", std::nullopt, false, 2},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxFindLast(Text(c.text), Text(c.needle), c.start, c.caseInsensitive), c.expected);
  }
}

TEST(TxFindLast, PreviousResultAsStartWalksBackThroughDots) {
  const Text host("www.example.co.uk");
  std::vector<int> dots;
  for (int p = TxFindLast(host, "."); p != kNotFound; p = TxFindLast(host, ".", p)) {
    dots.push_back(p);
  }
  EXPECT_EQ(dots, (std::vector<int>{15, 12, 4}));
}

struct CutCase {
  const char* name;
  Text actual;
  Text expected;
};

TEST(ByteCuts, CountBytesAndClampToTheText) {
  const Text abc("abc");
  const std::vector<CutCase> cases = {
      {"mid from 0", TxMid(abc, 0, 2), ""},
      {"mid from -1", TxMid(abc, -1, 3), ""},
      {"mid cut short", TxMid(abc, 2, 10), "bc"},
      {"mid past the end", TxMid(abc, 4, 1), ""},
      {"mid with n 0", TxMid(abc, 1, 0), ""},
      {"mid single", TxMid(abc, 3, 1), "c"},
      {"mid near INT_MAX", TxMid(abc, 2, INT_MAX), "bc"},
      {"left 0", TxLeft(abc, 0), ""},
      {"left negative", TxLeft(abc, -3), ""},
      {"left larger", TxLeft(abc, 10), "abc"},
      {"left cuts a character in half", TxLeft(Text(kZhongWen), 1), "\xD6"},
      {"right 0", TxRight(abc, 0), ""},
      {"right negative", TxRight(abc, -1), ""},
      {"right larger", TxRight(abc, 10), "abc"},
      {"right 2", TxRight(abc, 2), "bc"},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.actual, c.expected);
  }
}

TEST(TxReplace, ReplacesWholeCharactersWithoutOverlap) {
  struct Case {
    const char* name;
    std::string text, find, replacement, expected;
  };
  const std::vector<Case> cases = {
      {"every occurrence", "a-b-c", "-", "+", "a+b+c"},
      {"no overlap", "aaa", "aa", "b", "ba"},
      {"longer replacement", "ab", "b", "xyz", "axyz"},
      {"empty replacement removes", "a, b, c", ", ", "", "abc"},
      {"empty find leaves unchanged", "abc", "", "x", "abc"},
      {"empty text", "", "a", "x", ""},
      {"case-sensitive", "aAa", "A", "x", "axa"},
      {"needle straddling two characters", kZhongWen, "\xD0\xCE", "x", kZhongWen},
      {"ASCII-valued second byte untouched",
       "\x81"
       "AA",
       "A", "x",
       "\x81"
       "Ax"},
      {"two-byte find",
       "a\xD6\xD0"
       "b",
       "\xD6\xD0", "-", "a-b"},
      {"lone lead byte at the end kept", "a\xD6", "a", "b", "b\xD6"},
      {"tail shorter than find kept", "abcab", "abc", "", "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxReplace(Text(c.text), Text(c.find), Text(c.replacement)), Text(c.expected));
  }
}

TEST(TxSplit, KeepsInnerAndLeadingEmptyPiecesButNoTrailingOne) {
  struct Case {
    const char* name;
    std::string text, separator;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"inner empty, trailing dropped", "a;;b;", ";", {"a", "", "b"}},
      {"one separator", ";", ";", {""}},
      {"two separators", ";;", ";", {"", ""}},
      {"leading empty kept", ";a", ";", {"", "a"}},
      {"no separator", "abc", ";", {"abc"}},
      {"empty text", "", ";", {}},
      {"empty separator", "a;b", "", {"a;b"}},
      {"header block",
       "HTTP/1.1 200 OK\r\nA: 1\r\n\r\nB: 2\r\n",
       "\r\n",
       {"HTTP/1.1 200 OK", "A: 1", "", "B: 2"}},
      {"multi-byte separator", "a----b--", "--", {"a", "", "b"}},
      {"separator as a second byte", "\x81;b;c", ";", {"\x81;b", "c"}},
      {"two-byte separator",
       "a\xA1\xA1"
       "b",
       kIdeographicSpace,
       {"a", "b"}},
      {"lone lead byte at the end", "a;\xD6", ";", {"a", "\xD6"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> pieces;
    for (const Text& piece : TxSplit(Text(c.text), Text(c.separator))) {
      pieces.push_back(piece.bytes());
    }
    EXPECT_EQ(pieces, c.expected);
  }
}

struct TransformCase {
  const char* name;
  std::string text;
  std::string expected;
};

TEST(TxTrim, RemovesSpacesAndIdeographicSpacesAtBothEnds) {
  const std::vector<TransformCase> cases = {
      {"plain spaces", "  a b  ", "a b"},
      {"leading tab kept", "\ta ", "\ta"},
      {"CR LF kept", "\r\na\r\n", "\r\na\r\n"},
      {"ideographic space at both ends",
       "\xA1\xA1"
       "a\xA1\xA1",
       "a"},
      {"ideographic space inside kept",
       "a\xA1\xA1"
       "b",
       "a\xA1\xA1"
       "b"},
      {"only spaces", " \xA1\xA1 ", ""},
      {"empty", "", ""},
      {"second byte 0x20 is not a space", "a\x81 ", "a\x81 "},
      {"A1 A1 across a character boundary is not a space", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},
      {"lone lead byte at the end", " a\xA1", "a\xA1"},
  };
  for (const TransformCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxTrim(Text(c.text)), Text(c.expected));
  }
}

TEST(TxStripSpaces, RemovesEverySpaceCharacter) {
  const std::vector<TransformCase> cases = {
      {"spaces and ideographic spaces",
       " a \xA1\xA1"
       "b ",
       "ab"},
      {"tabs stay", "a\tb", "a\tb"},
      {"second byte 0x20 stays", "\x81 x", "\x81 x"},
      {"A1 A1 across a character boundary stays", "\xB0\xA1\xA1\xA1\xA1", "\xB0\xA1\xA1"},
      {"lone lead byte at the end", "a \xA1", "a\xA1"},
  };
  for (const TransformCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxStripSpaces(Text(c.text)), Text(c.expected));
  }
}

TEST(TxLower, LowersAsciiCapitalsButNeverSecondBytes) {
  const std::vector<TransformCase> cases = {
      {"ASCII", "AbC-Z@[", "abc-z@["},
      {"second byte in A-Z kept",
       "\x81"
       "AB",
       "\x81"
       "Ab"},
      {"two-byte characters kept", kZhongWen, kZhongWen},
      {"lone lead byte at the end", "A\xC1", "a\xC1"},
  };
  for (const TransformCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxLower(Text(c.text)), Text(c.expected));
  }
}

TEST(TxToInt, ReadsDecimalWithFullWidthFormsAndSpaces) {
  struct Case {
    const char* name;
    std::string text;
    int expected;
  };
  const std::vector<Case> cases = {
      {"full-width eight zero", "\xA3\xB8\xA3\xB0", 80},
      {"space, digits, letters", " 443abc", 443},
      {"letters only", "abc", 0},
      {"minus", "-12", -12},
      {"plus", "+7", 7},
      {"full-width minus",
       "\xA3\xAD"
       "12",
       -12},
      {"full-width plus", "\xA3\xAB\xA3\xB5", 5},
      {"ideographic space first",
       "\xA1\xA1"
       "7",
       7},
      {"white space 0x09-0x0D", "\t\n\v\f\r9", 9},
      {"ASCII and full-width digits mixed", "12\xA3\xB3", 123},
      {"sign then space", "- 5", 0},
      {"two signs", "+-5", 0},
      {"other two-byte character stops",
       "\xB0\xA1"
       "5",
       0},
      {"two-byte character after digits stops",
       "5\xB0\xA1"
       "6",
       5},
      {"lone lead byte", "\xA3", 0},
      {"empty", "", 0},
      {"leading zeros", "007", 7},
      {"largest", "2147483647", INT_MAX},
      {"smallest", "-2147483648", INT_MIN},
      {"too large saturates", "99999999999999999999", INT_MAX},
      {"too small saturates", "-99999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxToInt(Text(c.text)), c.expected);
  }
}

TEST(NumberTexts, FromIntHexCharSpaces) {
  const std::vector<CutCase> cases = {
      {"from int 0", TxFromInt(0), "0"},
      {"from int negative", TxFromInt(-45), "-45"},
      {"from int smallest", TxFromInt(INT_MIN), "-2147483648"},
      {"hex 10 is one digit", TxHex(10), "A"},
      {"hex 255", TxHex(255), "FF"},
      {"hex 0", TxHex(0), "0"},
      {"hex of -1 as unsigned", TxHex(-1), "FFFFFFFF"},
      {"char 0 is empty", TxChar(0), ""},
      {"char A", TxChar(65), "A"},
      {"char high byte", TxChar(0xD6), "\xD6"},
      {"spaces 3", TxSpaces(3), "   "},
      {"spaces 0", TxSpaces(0), ""},
      {"spaces negative", TxSpaces(-2), ""},
      {"join", TxJoin(Text("a"), Text(""), Text("b"), Text("c")), "abc"},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.actual, c.expected);
  }
}

TEST(TxCompare, ComparesBytesAsUnsigned) {
  EXPECT_EQ(TxCompare(Text("abc"), Text("abc")), 0);
  EXPECT_EQ(TxCompare(Text(""), Text()), 0);
  EXPECT_NE(TxCompare(Text("A"), Text("a")), 0);
  EXPECT_LT(TxCompare(Text("ab"), Text("abc")), 0);
  EXPECT_LT(TxCompare(Text("a"), Text("b")), 0);
  EXPECT_GT(TxCompare(Text("\x80"), Text("a")), 0);
}

TEST(ZeroBytes, TextStopsAtTheFirstZeroByteBytesKeepThem) {
  using namespace std::string_literals;
  EXPECT_EQ(Text("a\0b"s).bytes(), "a");
  EXPECT_EQ(Text(std::string_view("a\0b", 3)).bytes(), "a");
  EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
  EXPECT_EQ(BxToText(Bytes("a\0b"s)), Text("a"));
  EXPECT_EQ(BxToText(Bytes("ab"s)), Text("ab"));
  EXPECT_EQ(BxToText(Bytes("\0a"s)), Text());

  EXPECT_EQ(TxToBytes(Text("ab")).data(), "ab");
  EXPECT_TRUE(TxToBytes(Text()).empty());
  EXPECT_EQ(BxZeros(3).data(), "\0\0\0"s);
  EXPECT_TRUE(BxZeros(0).empty());
  EXPECT_TRUE(BxZeros(-1).empty());
  EXPECT_EQ(BxLeft(Bytes("a\0bc"s), 3).data(), "a\0b"s);
  EXPECT_EQ(BxLeft(Bytes("ab"s), 9).data(), "ab");
  EXPECT_TRUE(BxLeft(Bytes("ab"s), 0).empty());
  EXPECT_EQ(BxLen(Bytes("a\0b"s)), 3);
  EXPECT_EQ(BxJoin(Bytes("a\0"s), Bytes(), Bytes("\0b"s)).data(), "a\0\0b"s);
}

TEST(BxFind, TriesEveryByteOffsetAndRejectsEmptyNeedle) {
  using namespace std::string_literals;
  EXPECT_EQ(BxFind(Bytes("abc"s), Bytes()), kNotFound);
  EXPECT_EQ(BxFind(Bytes(), Bytes("a"s)), kNotFound);
  EXPECT_EQ(BxFind(Bytes(std::string(kZhongWen)), Bytes("\xD0\xCE"s)), 2);
  EXPECT_EQ(BxFind(Bytes("a\0b\0c"s), Bytes("\0c"s)), 4);
  EXPECT_EQ(BxFind(Bytes("abc"s), Bytes("abcd"s)), kNotFound);
}

TEST(TextBetween, CutsBetweenMarkers) {
  struct Case {
    const char* name;
    Text text, startMarker, endMarker;
    std::optional<int> start;
    bool caseInsensitive;
    Text expected;
  };
  const Text statusLine("HTTP/1.1 301 Moved Permanently");
  const Text link("<a href=\"x.htm\">X</a> <a href=\"y.htm\">Y</a>");
  const std::vector<Case> cases = {
      {"status code", statusLine, "HTTP/1.1 ", " Moved", std::nullopt, false, "301"},
      {"start marker at the very end", Text("abcEND"), "END", "x", std::nullopt, false, ""},
      {"end marker right after start", Text("a[]b"), "[", "]", std::nullopt, false, ""},
      {"start marker missing", Text("abc"), "x", "c", std::nullopt, false, ""},
      {"end marker missing", Text("abc"), "a", "x", std::nullopt, false, ""},
      {"end marker only before start", Text("]a["), "[", "]", std::nullopt, false, ""},
      {"quote marker", link, Gbk("href=#引号"), Gbk("#引号"), std::nullopt, false, "x.htm"},
      {"quote marker as GBK bytes", link, "href=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5",
       std::nullopt, false, "x.htm"},
      {"start position", link, Gbk("href=#引号"), Gbk("#引号"), 10, false, "y.htm"},
      {"case-insensitive", Text("Charset=UTF-8;"), "CHARSET=", ";", std::nullopt, true, "UTF-8"},
      {"case-sensitive misses", Text("Charset=UTF-8;"), "CHARSET=", ";", std::nullopt, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextBetween(c.text, c.startMarker, c.endMarker, c.start, c.caseInsensitive),
              c.expected);
  }
}

TEST(HeaderValue, TrimmedTextAfterTheFirstColon) {
  const std::vector<TransformCase> cases = {
      {"location", "Location:   /a/b.htm  ", "/a/b.htm"},
      {"no colon", "Location /a", ""},
      {"nothing after the colon", "X:", ""},
      {"later colons belong to the value", "Set-Cookie: a=b: c", "a=b: c"},
      {"tab is not trimmed", "A:\tv", "\tv"},
  };
  for (const TransformCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HeaderValue(Text(c.text)), Text(c.expected));
  }
}

}  // namespace
}  // namespace tessaly
