// A matcher of its own for patterns made only of literal characters, "." and
// lazy "(.*?)" groups: the shape of the patterns that pull fields out of a
// page, such as "<td>(.*?)</td>".
//
// PCRE2 tries a lazy group one position at a time. Here a group scans ahead
// for the next literal character of the pattern (or the line feed that ends
// it), eight units at a time, and a group start that once failed with the
// rest of the pattern is never tried again, since nothing before it can
// change that outcome. The results are those PCRE2 gives for the same
// pattern under the same options: the leftmost match, each group as short as
// the rest allows, earlier groups first, "." never a line feed.
//
// Subjects come from the GBK decoder and so hold no surrogates and no zero
// unit; patterns that need anything PCRE2 alone can do (classes, other
// repeats, anchors, letters whose other cases lie beyond ASCII) are left to
// PCRE2.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaly::regex_internal {

// One pattern character. A unit u matches when (u | fold) == value, unless
// it is a line feed and notLineFeed is set: the "." has all three at 0xFFFF.
struct RunChar {
  char16_t value = 0;
  char16_t fold = 0;
  char16_t notLineFeed = 0;
};

// The units that may stand where a run's first literal character stands,
// with the number of "." before it in the run.
struct RunLead {
  std::size_t dotsBefore = 0;
  bool hasLiteral = false;
  char16_t units[2] = {0, 0};
};

// A run's characters, each field in an array of its own so that a run is
// compared with eight subject units at a time.
struct LiteralRun {
  std::vector<char16_t> values;
  std::vector<char16_t> folds;
  std::vector<char16_t> notLineFeeds;
  bool hasDots = false;
  RunLead lead;

  std::size_t size() const { return values.size(); }
};

struct LiteralRunsPattern {
  // Run 0, group 1, run 1, ..., group n, run n: one run more than groups.
  std::vector<LiteralRun> runs;
  // A second literal character of run 0 that a start candidate is checked
  // against along with the first; 0 when run 0 has none among its first 16.
  std::size_t secondLiteral = 0;
  std::uint32_t GroupCount() const { return static_cast<std::uint32_t>(runs.size() - 1); }
};

// The pattern in this shape, or nothing when PCRE2 must match it. The pattern
// must already be one PCRE2 accepts. The first run must start with a literal
// character, which is what the search for a match start looks for.
std::optional<LiteralRunsPattern> ParseLiteralRuns(std::u16string_view pattern, bool caseless);

// Off makes this thread's runs compare and scan eight units at a time even
// where the processor has AVX2 (default: on where it has).
void SetAvx2EnabledForThisThread(bool enabled);

enum class FindResult { kFound, kNotFound, kBoundReached };

struct FindBounds {
  // Group ends tried from one start position before the run gives up.
  std::uint32_t triesPerStart;
  std::chrono::nanoseconds deadline;
  std::chrono::nanoseconds (*now)();
};

// One run of a pattern over one subject. Failed group starts are remembered
// from one Find to the next.
class LiteralRunsMatcher {
 public:
  LiteralRunsMatcher(const LiteralRunsPattern& pattern, std::u16string_view subject,
                     const FindBounds& bounds);

  // The leftmost match starting at or after from: pairs receives (start, end)
  // of the match and of every group, GroupCount() + 1 pairs.
  FindResult Find(std::size_t from, std::uint32_t* pairs);

 private:
  bool MatchRunAt(std::size_t run, std::size_t at);
  bool MatchGroupFrom(std::size_t group, std::size_t start);
  bool RunCharsMatchAt(const LiteralRun& run, std::size_t at) const;
  std::size_t FindStartCandidate(std::size_t from) const;
  bool KnownToFail(std::size_t group, std::size_t start) const;
  void RememberFailure(std::size_t group, std::size_t start);
  bool Bounded(std::size_t scannedUnits);

  const LiteralRunsPattern& pattern_;
  std::u16string_view subject_;
  FindBounds bounds_;
  std::uint32_t* pairs_ = nullptr;
  std::vector<std::uint64_t> failed_;  // one bit per (group, start), made on first use
  std::uint32_t triesThisStart_ = 0;
  std::size_t workSinceClock_ = 0;
  bool boundReached_ = false;
};

}  // namespace tessaly::regex_internal
