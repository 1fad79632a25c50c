// The site's four patterns run over a fuzzed page, and every group of every
// match read back, as the jobs read a page.
//
// Input: the page as GBK text (zero bytes end it, as they end any Text).
#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "regex/match_bounds.h"
#include "regex/regex_object.h"
#include "site/page_formats.h"
#include "text/codepage.h"

namespace tessaly::fuzz {
namespace {

void CheckPattern(const Text& pattern, const Text& page, bool pageSurvivesUtf16) {
  RegexObject regex;
  Require(regex.RunPattern(pattern, page), "the site's patterns compile");
  const int matches = regex.MatchCount();
  Require(matches >= 0, "MatchCount is never negative");
  const int groups = regex.SubMatchCount();
  Require(groups >= 0 && (matches > 0 || groups == 0), "groups are those of the first match");
  for (int m = 1; m <= matches; ++m) {
    int position = -1;
    const Text match = regex.MatchText(m, &position);
    RequireNoZero(match, "match text holds no zero byte");
    Require(position >= 0 && position <= TxLen(page), "a match starts within the page");
    if (pageSurvivesUtf16) {
      Require(TxMid(page, position + 1, TxLen(match)) == match,
              "the match is the page's bytes at its position");
    }
    for (int g = 1; g <= groups; ++g) {
      int groupPosition = -1;
      const Text group = regex.SubMatchText(m, g, &groupPosition);
      RequireNoZero(group, "group text holds no zero byte");
      if (pageSurvivesUtf16 && !group.empty()) {
        Require(TxMid(page, groupPosition + 1, TxLen(group)) == group,
                "the group is the page's bytes at its position");
      }
    }
    (void)regex.SubMatchText(m, 0);
    Require(regex.SubMatchText(m, groups + 1).empty(), "a group beyond the last is empty");
  }
  Require(regex.MatchText(0).empty() && regex.MatchText(matches + 1).empty(),
          "a match number outside 1..count is empty");
}

// Every match and group, text and position, of one run.
std::vector<std::pair<Text, int>> AllPieces(const Text& pattern, const Text& page) {
  RegexObject regex;
  regex.RunPattern(pattern, page);
  std::vector<std::pair<Text, int>> pieces;
  for (int m = 1; m <= regex.MatchCount(); ++m) {
    for (int g = 0; g <= regex.SubMatchCount(); ++g) {
      int position = -1;
      Text text = g == 0 ? regex.MatchText(m, &position) : regex.SubMatchText(m, g, &position);
      pieces.emplace_back(std::move(text), position);
    }
  }
  return pieces;
}

// The literal-runs matcher takes three of the four patterns; PCRE2 must find
// the same. PCRE2 backtracks where the matcher does not, so it runs with
// bounds that a page of a few kilobytes never reaches.
constexpr int kComparedPageBytes = 4096;

void CheckSameAsPcre2(const Text& pattern, const Text& page) {
  if (TxLen(page) > kComparedPageBytes) return;
  const auto ours = AllPieces(pattern, page);
  regex_internal::MatchBounds generous = regex_internal::DefaultMatchBounds();
  generous.matchLimitPerStart = 50'000'000;
  generous.runTimeBase = std::chrono::seconds(60);
  regex_internal::SetMatchBoundsForThisThread(generous);
  regex_internal::SetLiteralRunsEnabledForThisThread(false);
  const auto pcre2 = AllPieces(pattern, page);
  regex_internal::SetLiteralRunsEnabledForThisThread(true);
  regex_internal::SetMatchBoundsForThisThread(regex_internal::DefaultMatchBounds());
  Require(ours == pcre2, "the literal-runs matcher finds what PCRE2 finds");
}

}  // namespace
}  // namespace tessaly::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::fuzz;
  const Text page(std::string_view(reinterpret_cast<const char*>(data), size));
  // Positions and texts map back to the page's bytes only when the page is
  // GBK that the engine's UTF-16 form reproduces.
  const bool survives = Utf16UnitsToText(GbkToUtf16Units(page.view())) == page;
  CheckPattern(site::TotalsPattern(), page, survives);
  CheckPattern(site::PagerPattern(), page, survives);
  CheckPattern(site::HeaderPattern(), page, survives);
  CheckPattern(site::RowPattern(), page, survives);
  CheckSameAsPcre2(site::TotalsPattern(), page);
  CheckSameAsPcre2(site::HeaderPattern(), page);
  CheckSameAsPcre2(site::RowPattern(), page);
  return 0;
}
