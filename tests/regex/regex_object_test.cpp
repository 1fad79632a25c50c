#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "regex/match_bounds.h"
#include "text/codepage.h"

namespace tessaly {
namespace {

using regex_internal::MatchBounds;

// PCRE2 with its JIT, PCRE2's interpreter, and the literal-runs matcher
// (which takes the patterns made of literals, "." and "(.*?)", and leaves
// the rest to PCRE2's JIT).
enum class Matcher { Jit, Interpreter, LiteralRuns };

const char* MatcherLabel(Matcher matcher) {
  switch (matcher) {
    case Matcher::Jit:
      return "Jit";
    case Matcher::Interpreter:
      return "Interpreter";
    case Matcher::LiteralRuns:
      return "LiteralRuns";
  }
  return "";
}

void PrintTo(Matcher matcher, std::ostream* out) {
  *out << MatcherLabel(matcher);
}

std::string MatcherName(const ::testing::TestParamInfo<Matcher>& info) {
  return MatcherLabel(info.param);
}

// Every test runs under each matcher: they must agree on every subject.
class RegexObjectTest : public ::testing::TestWithParam<Matcher> {
 protected:
  void SetUp() override {
    if (GetParam() != Matcher::Interpreter && !regex_internal::JitAvailable()) {
      GTEST_SKIP() << "PCRE2 has no JIT on this machine";
    }
    regex_internal::SetJitEnabledForThisThread(GetParam() != Matcher::Interpreter);
    regex_internal::SetLiteralRunsEnabledForThisThread(GetParam() == Matcher::LiteralRuns);
  }
  void TearDown() override {
    regex_internal::SetJitEnabledForThisThread(true);
    regex_internal::SetLiteralRunsEnabledForThisThread(true);
    regex_internal::SetMatchBoundsForThisThread(regex_internal::DefaultMatchBounds());
  }
};

INSTANTIATE_TEST_SUITE_P(Matchers, RegexObjectTest,
                         ::testing::Values(Matcher::Jit, Matcher::Interpreter,
                                           Matcher::LiteralRuns),
                         MatcherName);

std::vector<Text> AllMatches(const RegexObject& regex) {
  std::vector<Text> texts;
  for (int m = 1; m <= regex.MatchCount(); ++m) texts.push_back(regex.MatchText(m));
  return texts;
}

struct DialectCase {
  const char* name;
  Text pattern;
  Text subject;
  std::vector<Text> matches;
};

TEST_P(RegexObjectTest, dialectThePagePatternsRelyOn) {
  const std::vector<DialectCase> cases = {
      {"lazyGroupStopsAtFirstEnd", "<b>(.*?)</b>", "<b>x</b><b>y</b>", {"<b>x</b>", "<b>y</b>"}},
      {"greedyRepeatRunsToLastEnd", "<b>(.*)</b>", "<b>x</b><b>y</b>", {"<b>x</b><b>y</b>"}},
      {"nonSpaceRunStopsAtWhiteSpace", "\\S+=", "ab= c\td=", {"ab=", "d="}},
      {"spaceStarTakesNoneOrMany", "a *b", "ab a  b a\tb", {"ab", "a  b"}},
      {"quoteBracketsTakeEitherQuote",
       "=['\"]*(\\S+)[\"']",
       "='x' =\"y\" =z\"",
       {"='x'", "=\"y\"", "=z\""}},
      {"quoteBracketStarTakesSeveral", "=['\"]*x", "=''\"x", {"=''\"x"}},
      {"escapedGreaterThanIsPlain", "a\\>b", "a>b ab", {"a>b"}},
      {"dotNeverMatchesLineFeed", "a.b", "a\nb a\rb axb", {"a\rb", "axb"}},
      {"dotStarEndsAtLineFeed", "x.*", "x12\nx3", {"x12", "x3"}},
      {"crLfInPatternMatchThemselves", "a\r\nb", "a\nb a\r\nb", {"a\r\nb"}},
      {"lettersMatchInEitherCase", "<td>", "<TD><Td><td>", {"<TD>", "<Td>", "<td>"}},
      {"chineseLettersMatch", Gbk("名(.)"), Gbk("名字 名称"), {Gbk("名字"), Gbk("名称")}},
      {"matchesDoNotOverlap", "aa", "aaaaa", {"aa", "aa"}},
      {"emptyMatchesAdvance", "x*", "axxb", {"", "xx", "", ""}},
      {"emptyPatternMatchesEveryGap", "", Gbk("a中"), {"", "", ""}},
      {"caretMatchesAtLineStarts", "^b", "b\nab\nb", {"b", "b"}},
      {"nothingFound", "zz", "abc", {}},
      {"emptySubject", "a", "", {}},
  };
  for (const DialectCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject regex;
    EXPECT_TRUE(regex.RunPattern(c.pattern, c.subject));
    EXPECT_EQ(AllMatches(regex), c.matches);
  }
}

struct OptionsCase {
  const char* name;
  Text pattern;
  RunOptions options;
  std::vector<Text> matches;
};

TEST_P(RegexObjectTest, optionsChangeTheDefaults) {
  const Text subject = "<TD>a\n<td>b";
  const std::vector<OptionsCase> cases = {
      {"defaults", "<td>.", {}, {"<TD>a", "<td>b"}},
      {"caseSensitive", "<td>.", {.caseSensitive = true}, {"<td>b"}},
      {"notGlobalGivesFirstOnly", "<td>.", {.global = false}, {"<TD>a"}},
      {"multilineOffAnchorsAtTextStart", "^<td>", {.multiline = false}, {"<TD>"}},
      {"multilineOnAnchorsAtLineStarts", "^<td>", {}, {"<TD>", "<td>"}},
  };
  for (const OptionsCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject regex;
    EXPECT_TRUE(regex.RunPattern(c.pattern, subject, c.options));
    EXPECT_EQ(AllMatches(regex), c.matches);
  }
}

TEST_P(RegexObjectTest, queriesBeforeAnyRunAreEmpty) {
  const RegexObject regex;
  int position = 7;
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1, &position), Text());
  EXPECT_EQ(position, kNotFound);
  EXPECT_EQ(regex.SubMatchText(1, 1), Text());
  EXPECT_EQ(regex.PatternText(), Text());
  EXPECT_EQ(regex.ReplaceMatches("x"), Text());
}

TEST_P(RegexObjectTest, groupsAreNumberedFromOneAndOutOfRangeIsEmpty) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern("(a)|(b)(c)?", "ab"));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchCount(), 3);

  struct Lookup {
    const char* name;
    int match;
    int group;
    Text expected;
  };
  const std::vector<Lookup> lookups = {
      {"firstMatchFirstGroup", 1, 1, "a"},
      {"groupThatTookNoPart", 1, 2, ""},
      {"secondMatchSecondGroup", 2, 2, "b"},
      {"optionalGroupNotTaken", 2, 3, ""},
      {"matchZero", 0, 1, ""},
      {"negativeMatch", -1, 1, ""},
      {"matchPastTheEnd", 3, 1, ""},
      {"groupZero", 1, 0, ""},
      {"negativeGroup", 1, -2, ""},
      {"groupPastTheEnd", 1, 4, ""},
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE(l.name);
    EXPECT_EQ(regex.SubMatchText(l.match, l.group), l.expected);
  }
  EXPECT_EQ(regex.MatchText(0), Text());
  EXPECT_EQ(regex.MatchText(3), Text());
}

TEST_P(RegexObjectTest, positionsAreByteOffsetsInTheGbkSubject) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern("a(b)", Gbk("中文ab 名ab")));
  int position = 0;
  EXPECT_EQ(regex.MatchText(1, &position), "ab");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(regex.SubMatchText(2, 1, &position), "b");
  EXPECT_EQ(position, 10);
  EXPECT_EQ(regex.MatchText(3, &position), Text());
  EXPECT_EQ(position, kNotFound);

  // A byte ICU decodes alone (0x80 is the euro sign) and a lead byte without
  // its trail: texts and positions are then those of the encoded units.
  ASSERT_TRUE(regex.RunPattern("a(.*?)c", Gbk("中") + Text("\x80"
                                                           "ab\xD6\xD0"
                                                           "c a\x81")));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1, &position), Text("b\xD6\xD0"));
  EXPECT_EQ(position, 4);
  EXPECT_EQ(regex.MatchText(1, &position), Text("ab\xD6\xD0"
                                                "c"));
  EXPECT_EQ(position, 3);
}

TEST_P(RegexObjectTest, rejectedPatternReturnsFalseAndClearsEarlierMatches) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern("(a)", "aaa"));
  ASSERT_EQ(regex.MatchCount(), 3);

  for (const Text& bad : {Text("(a"), Text("a)"), Text("[a"), Text("a{2,1}"), Text("*a")}) {
    SCOPED_TRACE(bad.bytes());
    EXPECT_FALSE(regex.RunPattern(bad, "aaa"));
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.SubMatchCount(), 0);
    EXPECT_EQ(regex.MatchText(1), Text());
    EXPECT_EQ(regex.SubMatchText(1, 1), Text());
  }
}

TEST_P(RegexObjectTest, secondRunReplacesTheFirst) {
  RegexObject regex;
  const Text subject = "k1=v1;k2=v2;k3=v3";
  ASSERT_TRUE(regex.RunPattern("(k.)=(v.)", subject));
  ASSERT_EQ(regex.MatchCount(), 3);
  ASSERT_TRUE(regex.RunPattern("k2=(v.)", subject));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "v2");
  EXPECT_EQ(regex.SubMatchText(1, 2), Text());
  EXPECT_EQ(regex.MatchText(2), Text());
  EXPECT_EQ(regex.PatternText(), "k2=(v.)");
}

TEST_P(RegexObjectTest, quoteMarkerStandsForDoubleQuoteOnlyWhenAsked) {
  const Text pattern = Gbk("href=#引号(.*?)#引号");
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern(pattern, "href=\"a\"", {.quoteMarker = true}));
  EXPECT_EQ(regex.SubMatchText(1, 1), "a");
  EXPECT_EQ(regex.PatternText(), "href=\"(.*?)\"");

  ASSERT_TRUE(regex.RunPattern(pattern, "href=\"a\""));
  EXPECT_EQ(regex.MatchCount(), 0);
  ASSERT_TRUE(regex.RunPattern(pattern, Gbk("href=#引号b#引号")));
  EXPECT_EQ(regex.SubMatchText(1, 1), "b");
  EXPECT_EQ(regex.PatternText(), pattern);
}

TEST_P(RegexObjectTest, groupTextsComeBackAsGbk) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern("<b>(.*?)</b>", Gbk("<b>中文名</b><b>ok</b>")));
  EXPECT_EQ(regex.SubMatchText(1, 1), Text("\xD6\xD0\xCE\xC4\xC3\xFB"));
  EXPECT_EQ(regex.MatchText(1), Gbk("<b>中文名</b>"));
  EXPECT_EQ(regex.SubMatchText(2, 1), "ok");
}

TEST_P(RegexObjectTest, duplicateKeepsTheMatchesItWasMadeWith) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern("(x)(\\d)", "x1 x2"));
  const RegexObject copy = regex.Duplicate();
  ASSERT_TRUE(regex.RunPattern("y", "y"));
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.SubMatchText(2, 2), "2");
  EXPECT_EQ(copy.PatternText(), "(x)(\\d)");
  EXPECT_EQ(regex.MatchCount(), 1);
}

struct ReplaceCase {
  const char* name;
  Text pattern;
  RunOptions options;
  Text replacement;
  Text expected;
};

TEST_P(RegexObjectTest, replaceMatchesSubstitutesEveryMatch) {
  const Text subject = "a1b2c3";
  const std::vector<ReplaceCase> cases = {
      {"plain", "\\d", {}, "#", "a#b#c#"},
      {"firstOnlyWhenNotGlobal", "\\d", {.global = false}, "#", "a#b2c3"},
      {"group", "([a-z])(\\d)", {}, "$2$1", "1a2b3c"},
      {"wholeMatch", "b\\d", {}, "[$&]", "a1[b2]c3"},
      {"dollarDollar", "c", {}, "$$", "a1b2$3"},
      {"beforeAndAfter", "b", {}, "<$`|$'>", "a1<a1|2c3>2c3"},
      {"missingGroupStaysLiteral", "b", {}, "$1", "a1$12c3"},
      {"noMatchKeepsSubject", "z", {}, "#", "a1b2c3"},
      {"emptyMatches", "x*", {}, "-", "-a-1-b-2-c-3-"},
      {"chineseReplacement", "b", {}, Gbk("乙"), Gbk("a1乙2c3")},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject regex;
    ASSERT_TRUE(regex.RunPattern(c.pattern, subject, c.options));
    EXPECT_EQ(regex.ReplaceMatches(c.replacement), c.expected);
  }
  RegexObject rejected;
  EXPECT_FALSE(rejected.RunPattern("(", subject));
  EXPECT_EQ(rejected.ReplaceMatches("#"), Text());
}

// A line that makes "<a(.*)>(.*?)</a>\n" backtrack over every pair of its
// ">" characters: millions of steps at its one start position.
Text HostileLine(int brackets) {
  return TxJoin("<a", Text(std::string(brackets, '>')), "\n");
}

TEST_P(RegexObjectTest, runThatHitsTheLimitKeepsTheMatchesBeforeIt) {
  const Text subject = TxJoin("<a>1</a>\n<a>2</a>\n", HostileLine(3000), "<a>3</a>\n");
  RegexObject regex;
  EXPECT_TRUE(regex.RunPattern("<a(.*)>(.*?)</a>\n", subject));
  EXPECT_EQ(AllMatches(regex), (std::vector<Text>{"<a>1</a>\n", "<a>2</a>\n"}));
  EXPECT_EQ(regex.SubMatchText(2, 2), "2");
}

TEST_P(RegexObjectTest, runPastItsDeadlineKeepsTheMatchesFound) {
  regex_internal::MatchBounds bounds = regex_internal::DefaultMatchBounds();
  bounds.runTimeBase = std::chrono::nanoseconds(-1);
  bounds.runTimePerUnit = std::chrono::nanoseconds(0);
  regex_internal::SetMatchBoundsForThisThread(bounds);
  RegexObject regex;
  EXPECT_TRUE(regex.RunPattern("a(b)", "ab ab ab"));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "b");
}

TEST_P(RegexObjectTest, matchesAreFoundAcrossStartWindows) {
  regex_internal::MatchBounds bounds = regex_internal::DefaultMatchBounds();
  bounds.startWindowUnits = 16;
  regex_internal::SetMatchBoundsForThisThread(bounds);
  for (int offset : {0, 14, 15, 16, 17, 31, 32, 33, 100}) {
    SCOPED_TRACE(offset);
    RegexObject regex;
    const Text subject = TxJoin(Text(std::string(offset, 'x')), "abc", TxSpaces(40), "abc");
    ASSERT_TRUE(regex.RunPattern("a.c", subject));
    int position = 0;
    EXPECT_EQ(regex.MatchCount(), 2);
    EXPECT_EQ(regex.MatchText(1, &position), "abc");
    EXPECT_EQ(position, offset);
    EXPECT_EQ(regex.MatchText(2, &position), "abc");
    EXPECT_EQ(position, offset + 43);
  }
  RegexObject gaps;
  ASSERT_TRUE(gaps.RunPattern("", Text(std::string(40, 'x'))));
  EXPECT_EQ(gaps.MatchCount(), 41);
}

TEST_P(RegexObjectTest, aRunFindsEveryMatchOfALongPage) {
  std::string subject;
  for (int i = 0; i < 20000; ++i) subject += "<td>x</td>";
  RegexObject regex;
  EXPECT_TRUE(regex.RunPattern("<td>(.*?)</td>", Text(subject)));
  EXPECT_EQ(regex.MatchCount(), 20000);
}

TEST(RegexObjectThreads, objectsOnSeveralThreadsDoNotShareState) {
  auto countRows = [](int rows, int* count) {
    std::string subject;
    for (int i = 0; i < rows; ++i) subject += "<td>" + std::to_string(i) + "</td>";
    RegexObject regex;
    for (int pass = 0; pass < 20; ++pass) {
      regex.RunPattern("<td>(\\d+)</td>", Text(subject));
      regex.RunPattern("<TD>(\\d+)", Text(subject));
    }
    *count =
        regex.SubMatchText(rows, 1) == Text(std::to_string(rows - 1)) ? regex.MatchCount() : -1;
  };
  int first = 0;
  int second = 0;
  std::thread other(countRows, 300, &second);
  countRows(200, &first);
  other.join();
  EXPECT_EQ(first, 200);
  EXPECT_EQ(second, 300);
}

}  // namespace
}  // namespace tessaly
