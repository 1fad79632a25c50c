// The literal-runs matcher must give exactly what PCRE2 gives for every
// pattern it takes: these tests run both on the same patterns and subjects
// and compare every match and group, text and position.
#include "regex/literal_runs.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "regex/match_bounds.h"
#include "regex/regex_object.h"
#include "text/codepage.h"

namespace tessaly {
namespace {

using regex_internal::ParseLiteralRuns;

// Every match and group of a run: its text and byte position, or an empty
// text at kNotFound for a group that took no part.
struct Piece {
  Text text;
  int position;
  friend bool operator==(const Piece&, const Piece&) = default;
};

void PrintTo(const Piece& piece, std::ostream* out) {
  *out << piece.position << ":\"" << piece.text.bytes() << "\"";
}

std::vector<Piece> RunAndRead(const Text& pattern, const Text& subject, const RunOptions& options,
                              bool literalRuns, bool jit) {
  regex_internal::SetLiteralRunsEnabledForThisThread(literalRuns);
  regex_internal::SetJitEnabledForThisThread(jit);
  RegexObject regex;
  std::vector<Piece> pieces;
  if (!regex.RunPattern(pattern, subject, options)) return pieces;
  for (int m = 1; m <= regex.MatchCount(); ++m) {
    Piece whole;
    whole.text = regex.MatchText(m, &whole.position);
    pieces.push_back(whole);
    for (int g = 1; g <= regex.SubMatchCount(); ++g) {
      Piece group;
      group.text = regex.SubMatchText(m, g, &group.position);
      pieces.push_back(group);
    }
  }
  regex_internal::SetLiteralRunsEnabledForThisThread(true);
  regex_internal::SetJitEnabledForThisThread(true);
  return pieces;
}

// Both matchers agree (PCRE2 by its interpreter, which needs no JIT);
// returns how many matches there were.
std::size_t ExpectSameAsPcre2(const Text& pattern, const Text& subject,
                              const RunOptions& options = {}) {
  const std::vector<Piece> ours = RunAndRead(pattern, subject, options, true, true);
  EXPECT_EQ(ours, RunAndRead(pattern, subject, options, false, false))
      << "pattern \"" << pattern.bytes() << "\" subject \"" << subject.bytes() << "\"";
  return ours.size();
}

struct ShapeCase {
  const char* pattern;
  bool caseless;
  bool taken;
};

TEST(LiteralRuns, takesOnlyLiteralsDotsAndLazyGroupsAfterALiteral) {
  const std::vector<ShapeCase> cases = {
      {"<td>(.*?)</td>", true, true},
      {"a.b(.*?)(.*?)c", true, true},
      {"a(.*?)", true, true},
      {"a\\.\\>\\\\", true, true},
      {"a # b\r\n", true, true},
      {"\xD6\xD0(.*?)\xCE\xC4", true, true},  // Chinese has no case
      {"\xA8\xA6", false, true},              // e acute, letters matched as they are
      {"\xA8\xA6", true, false},              // ... but without case it has two forms
      {"\xA6\xC1", true, false},              // Greek alpha
      {".a", true, false},                    // no literal to look for first
      {"(.*?)a", true, false},
      {"", true, false},
      {"a*", true, false},
      {"a+", true, false},
      {"a?", true, false},
      {"a{2}", true, false},
      {"a(.*)b", true, false},
      {"a(.*?)?b", true, false},
      {"a(.+?)b", true, false},
      {"a(b)", true, false},
      {"a(?:.*?)b", true, false},
      {"a|b", true, false},
      {"[a]", true, false},
      {"a]", true, false},
      {"^a", true, false},
      {"a$", true, false},
      {"a\\d", true, false},
      {"a\\x41", true, false},
      {"a\\Qb\\E", true, false},
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.pattern);
    const std::u16string units = GbkToUtf16Units(c.pattern);
    EXPECT_EQ(ParseLiteralRuns(units, c.caseless).has_value(), c.taken);
  }
}

// Random patterns of the shape over random subjects, from small alphabets
// so that near misses, line feeds, empty groups and letters in both cases
// meet often; with sixteen-unit vectors where the processor has them, and
// with eight-unit ones.
class LiteralRunsVectors : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { regex_internal::SetAvx2EnabledForThisThread(GetParam()); }
  void TearDown() override { regex_internal::SetAvx2EnabledForThisThread(true); }
};

INSTANTIATE_TEST_SUITE_P(Widths, LiteralRunsVectors, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Avx2WhereAvailable" : "EightUnits";
                         });

TEST_P(LiteralRunsVectors, randomPatternsAndSubjectsMatchAsInPcre2) {
  std::mt19937 random(20261211);
  const std::vector<std::string> patternPieces = {
      "a", "A", "b", "k", "S", "<", ">", "\r", "\n", " ", "\xD6\xD0", ".", "(.*?)", "\\.", "\\>"};
  const std::vector<std::string> subjectPieces = {
      "a", "A", "b", "B", "k", "K", "s", "<", ">", "\r", "\n", " ", "\xD6\xD0", "\xA8\xA6", "."};
  auto pick = [&](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  int taken = 0;
  int matched = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string pattern = pick({"a", "<", "\xD6\xD0", "A", "k"});
    // Every other subject holds what the pattern spells out, groups filled
    // and letters in the other case here and there, between random pieces.
    std::string spelled = pattern;
    const int patternLength = std::uniform_int_distribution<int>(0, 24)(random);
    for (int i = 0; i < patternLength; ++i) {
      const std::string piece = pick(patternPieces);
      pattern += piece;
      if (piece == "(.*?)" || piece == ".") {
        spelled += piece == "." ? pick(subjectPieces) : pick(subjectPieces) + pick(subjectPieces);
      } else {
        spelled += piece.size() == 2 && piece[0] == '\\' ? piece.substr(1) : piece;
      }
      if (random() % 8 == 0 && !spelled.empty() &&
          std::isalpha(static_cast<unsigned char>(spelled.back()))) {
        spelled.back() = static_cast<char>(spelled.back() ^ 0x20);
      }
    }
    std::string subject;
    const int subjectLength = std::uniform_int_distribution<int>(0, 60)(random);
    for (int i = 0; i < subjectLength; ++i) {
      subject += pick(subjectPieces);
      if (round % 2 == 0 && i == subjectLength / 2) subject += spelled;
    }
    const RunOptions options{.caseSensitive = round % 3 == 0, .global = round % 5 != 0};
    taken += ParseLiteralRuns(GbkToUtf16Units(pattern), !options.caseSensitive) ? 1 : 0;
    SCOPED_TRACE(round);
    matched += ExpectSameAsPcre2(Text(pattern), Text(subject), options) > 0 ? 1 : 0;
    if (HasFailure()) return;
  }
  EXPECT_EQ(taken, 20000);
  EXPECT_GT(matched, 5000);
}

// Which characters a literal matches without case, for every ASCII letter
// and every character GBK holds that the matcher takes, CJK ideographs
// aside (they have no case, and are most of GBK): the whole of GBK is the
// subject.
TEST(LiteralRuns, everyGbkCharacterMatchesWithoutCaseAsInPcre2) {
  std::string everyCharacter;
  std::vector<std::string> literals;
  for (int c = 0x20; c < 0x7F; ++c) everyCharacter += static_cast<char>(c);
  for (char c = 'A'; c <= 'Z'; ++c) literals.emplace_back(1, c);
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string units = GbkToUtf16Units(code);
      if (units.size() != 1 || units[0] == u'\uFFFD') continue;
      everyCharacter += code;
      const bool ideograph =
          (units[0] >= 0x3400 && units[0] < 0xA000) || (units[0] >= 0xF900 && units[0] < 0xFB00);
      if (!ideograph && ParseLiteralRuns(units, true)) literals.push_back(code);
    }
  }
  ASSERT_GT(literals.size(), 1000u);
  const Text subject(everyCharacter);
  for (const std::string& literal : literals) {
    ExpectSameAsPcre2(Text(literal), subject);
    if (HasFailure()) return;
  }
}

struct BacktrackCase {
  const char* name;
  std::string pattern;
  std::string subject;
};

// Cases where the first end a group finds is not the one that matches, and
// where a group start fails again and again.
TEST(LiteralRuns, groupsBacktrackAsInPcre2) {
  std::string manyStarts;
  for (int i = 0; i < 12; ++i) manyStarts += "<a><b>";
  const std::vector<BacktrackCase> cases = {
      {"laterEndMatches", "<a>(.*?)</a>!", "<a>1</a>2</a>!"},
      {"secondGroupForcesFirstLonger", "x(.*?)y(.*?)z", "x1y2\nx3y4y5z"},
      {"emptyGroups", "a(.*?)(.*?)b", "ab aab"},
      {"groupAtTheEndIsEmpty", "a(.*?)", "aaa"},
      {"lineFeedEndsAGroup", "a(.*?)b", "a\nb a\rb"},
      {"lineFeedInTheRunAfter", "a(.*?)\nb", "a1\nb a\n\nb"},
      {"dotBeforeTheLiteral", "a(.*?).c", "ac abc abbc a\nc"},
      {"dotsOnly", "a(.*?)..", "a1 a\n12"},
      {"everyStartFails", "<a>(.*?)<b>(.*?)x", manyStarts + "\n" + manyStarts + "x"},
      {"overlappingCandidates", "aa(.*?)aab", "aaaaaaab aab aaaab"},
  };
  for (const BacktrackCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectSameAsPcre2(Text(c.pattern), Text(c.subject));
    ExpectSameAsPcre2(Text(c.pattern), Text(c.subject), {.caseSensitive = true});
  }
}

class LiteralRunsBounds : public ::testing::Test {
 protected:
  void TearDown() override {
    regex_internal::SetMatchBoundsForThisThread(regex_internal::DefaultMatchBounds());
  }
};

// A start that needs more group ends than the limit ends the run; the
// matches before it stand.
TEST_F(LiteralRunsBounds, aStartWithTooManyTriesEndsTheRun) {
  regex_internal::MatchBounds bounds = regex_internal::DefaultMatchBounds();
  bounds.matchLimitPerStart = 10;
  regex_internal::SetMatchBoundsForThisThread(bounds);
  RegexObject regex;
  const Text subject = TxJoin("a1bz a", Text(std::string(50, 'b')), "\na2bz");
  ASSERT_TRUE(regex.RunPattern("a(.*?)bz", subject));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "1");
}

// The clock is read as the work grows, within one search too: a search
// through a long stretch with nothing to find stops at the deadline.
TEST_F(LiteralRunsBounds, aSearchPastTheDeadlineStops) {
  const Text subject = TxJoin(Text(std::string(200'000, 'x')), "ab");
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern("a(.*?)b", subject));
  EXPECT_EQ(regex.MatchCount(), 1);

  regex_internal::MatchBounds bounds = regex_internal::DefaultMatchBounds();
  bounds.runTimeBase = std::chrono::nanoseconds(-1);
  bounds.runTimePerUnit = std::chrono::nanoseconds(0);
  regex_internal::SetMatchBoundsForThisThread(bounds);
  ASSERT_TRUE(regex.RunPattern("a(.*?)b", subject));
  EXPECT_EQ(regex.MatchCount(), 0);
}

}  // namespace
}  // namespace tessaly
