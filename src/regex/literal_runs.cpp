#include "regex/literal_runs.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>

namespace tessaly::regex_internal {
namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr std::u16string_view kLazyGroup = u"(.*?)";
// Deeper nesting of groups is left to PCRE2 rather than to this recursion.
constexpr std::size_t kMaxGroups = 256;
// Units scanned or compared between two looks at the clock.
constexpr std::size_t kWorkPerClockCheck = 1 << 15;

bool IsAsciiLetter(char16_t u) {
  return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool IsAsciiAlphanumeric(char16_t u) {
  return IsAsciiLetter(u) || (u >= u'0' && u <= u'9');
}

// Characters that stand for something other than themselves outside a class.
bool IsMeta(char16_t u) {
  return std::u16string_view(u"^$[]|()?*+{}").find(u) != std::u16string_view::npos;
}

RunChar Exact(char16_t u) {
  return {.value = u, .fold = 0};
}

constexpr RunChar kAnyButLineFeed{.value = 0xFFFF, .fold = 0xFFFF, .notLineFeed = 0xFFFF};

// A literal as PCRE2 matches it. Without case an ASCII letter matches both of
// its cases; Unicode's folding also pairs "k" with the Kelvin sign and "s"
// with the long s, but GBK holds neither, so no subject has them. Other
// characters with case are not taken.
std::optional<RunChar> Literal(char16_t u, bool caseless) {
  if (U16_IS_SURROGATE(u)) return std::nullopt;
  if (!caseless) return Exact(u);
  if (IsAsciiLetter(u)) {
    const auto lower = static_cast<char16_t>(u | 0x20);
    return RunChar{.value = lower, .fold = 0x20};
  }
  if (u >= 0x80 && u_hasBinaryProperty(u, UCHAR_CASE_SENSITIVE)) return std::nullopt;
  return Exact(u);
}

RunLead LeadOf(const std::vector<RunChar>& chars) {
  RunLead lead;
  for (const RunChar& c : chars) {
    if (c.notLineFeed != 0) {
      ++lead.dotsBefore;
      continue;
    }
    lead.hasLiteral = true;
    lead.units[0] = c.value;
    lead.units[1] = static_cast<char16_t>(c.value ^ c.fold);
    break;
  }
  return lead;
}

LiteralRun MakeRun(const std::vector<RunChar>& chars) {
  LiteralRun run;
  for (const RunChar& c : chars) {
    run.values.push_back(c.value);
    run.folds.push_back(c.fold);
    run.notLineFeeds.push_back(c.notLineFeed);
    run.hasDots = run.hasDots || c.notLineFeed != 0;
  }
  run.lead = LeadOf(chars);
  return run;
}

bool UnitMatches(const LiteralRun& run, std::size_t i, char16_t u) {
  if (u == kLineFeed && run.notLineFeeds[i] != 0) return false;
  return static_cast<char16_t>(u | run.folds[i]) == run.values[i];
}

#if defined(__SSE2__)
__m128i Load8(const char16_t* units) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
}

// True when the eight subject units at s match the run's characters from i
// on; a "." also needs its unit to be no line feed.
bool EightMatch(const LiteralRun& run, std::size_t i, const char16_t* s) {
  const __m128i units = Load8(s);
  const __m128i same = _mm_cmpeq_epi16(_mm_or_si128(units, Load8(run.folds.data() + i)),
                                       Load8(run.values.data() + i));
  if (!run.hasDots) return _mm_movemask_epi8(same) == 0xFFFF;
  const __m128i lineFeed =
      _mm_and_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(kLineFeed))),
                    Load8(run.notLineFeeds.data() + i));
  return _mm_movemask_epi8(_mm_andnot_si128(lineFeed, same)) == 0xFFFF;
}
#endif

#if defined(__x86_64__)
// Sixteen units at a time where the processor has AVX2, asked once; tests
// turn it off to run the eight-unit paths.
bool CpuHasAvx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

thread_local bool avx2Enabled = CpuHasAvx2();

bool HasAvx2() {
  return avx2Enabled;
}

__attribute__((target("avx2"))) __m256i Load16(const char16_t* units) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units));
}

// EightMatch for sixteen units.
__attribute__((target("avx2"))) bool SixteenMatch(const LiteralRun& run, std::size_t i,
                                                  const char16_t* s) {
  const __m256i units = Load16(s);
  const __m256i same = _mm256_cmpeq_epi16(_mm256_or_si256(units, Load16(run.folds.data() + i)),
                                          Load16(run.values.data() + i));
  if (!run.hasDots) return _mm256_movemask_epi8(same) == -1;
  const __m256i lineFeed =
      _mm256_and_si256(_mm256_cmpeq_epi16(units, _mm256_set1_epi16(static_cast<short>(kLineFeed))),
                       Load16(run.notLineFeeds.data() + i));
  return _mm256_movemask_epi8(_mm256_andnot_si256(lineFeed, same)) == -1;
}

// A run of at least sixteen characters against the units at s; the last
// sixteen overlap the ones before when the size is no multiple of sixteen.
__attribute__((target("avx2"))) bool RunMatchesSixteenAtATime(const LiteralRun& run,
                                                              const char16_t* s) {
  const std::size_t size = run.size();
  for (std::size_t i = 0; i + 16 < size; i += 16) {
    if (!SixteenMatch(run, i, s + i)) return false;
  }
  return SixteenMatch(run, size - 16, s + size - 16);
}
#endif

#if defined(__x86_64__)
// Start candidates sixteen at a time: the first position from from on where
// both of run 0's characters match, or where fewer than sixteen positions
// before lastStart are left.
__attribute__((target("avx2"))) std::size_t SkipToStartSixteenAtATime(const char16_t* s,
                                                                      std::size_t from,
                                                                      std::size_t lastStart,
                                                                      const LiteralRun& run,
                                                                      std::size_t second) {
  const __m256i first0 = _mm256_set1_epi16(static_cast<short>(run.lead.units[0]));
  const __m256i first1 = _mm256_set1_epi16(static_cast<short>(run.lead.units[1]));
  const __m256i value = _mm256_set1_epi16(static_cast<short>(run.values[second]));
  const __m256i fold = _mm256_set1_epi16(static_cast<short>(run.folds[second]));
  while (from + 16 <= lastStart) {
    const __m256i at = Load16(s + from);
    const __m256i firstHits =
        _mm256_or_si256(_mm256_cmpeq_epi16(at, first0), _mm256_cmpeq_epi16(at, first1));
    const __m256i secondHits =
        _mm256_cmpeq_epi16(_mm256_or_si256(Load16(s + from + second), fold), value);
    const auto mask =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(firstHits, secondHits)));
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
    from += 16;
  }
  return from;
}
#endif

// The first position from from on whose unit is one of the three, or the
// subject's size.
std::size_t FindAnyOf(std::u16string_view s, std::size_t from, char16_t a, char16_t b, char16_t c) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  const __m128i vc = _mm_set1_epi16(static_cast<short>(c));
  while (from + 8 <= s.size()) {
    const __m128i units = Load8(s.data() + from);
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, va), _mm_cmpeq_epi16(units, vb)),
                     _mm_cmpeq_epi16(units, vc));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
    from += 8;
  }
#endif
  for (; from < s.size(); ++from) {
    const char16_t u = s[from];
    if (u == a || u == b || u == c) return from;
  }
  return s.size();
}

}  // namespace

void SetAvx2EnabledForThisThread(bool enabled) {
#if defined(__x86_64__)
  avx2Enabled = enabled && CpuHasAvx2();
#else
  (void)enabled;
#endif
}

std::optional<LiteralRunsPattern> ParseLiteralRuns(std::u16string_view pattern, bool caseless) {
  std::vector<std::vector<RunChar>> runs(1);
  std::size_t i = 0;
  while (i < pattern.size()) {
    if (pattern.substr(i, kLazyGroup.size()) == kLazyGroup) {
      if (runs.size() > kMaxGroups) return std::nullopt;
      runs.emplace_back();
      i += kLazyGroup.size();
      continue;
    }
    char16_t u = pattern[i++];
    if (u == u'.') {
      runs.back().push_back(kAnyButLineFeed);
      continue;
    }
    if (IsMeta(u)) return std::nullopt;
    if (u == u'\\') {
      // A backslash before any ASCII character that is no letter or digit
      // only makes that character plain.
      if (i == pattern.size() || pattern[i] >= 0x80 || IsAsciiAlphanumeric(pattern[i])) {
        return std::nullopt;
      }
      u = pattern[i++];
    }
    const std::optional<RunChar> literal = Literal(u, caseless);
    if (!literal) return std::nullopt;
    runs.back().push_back(*literal);
  }

  LiteralRunsPattern parsed;
  for (const std::vector<RunChar>& chars : runs) parsed.runs.push_back(MakeRun(chars));
  const RunLead& first = parsed.runs.front().lead;
  if (!first.hasLiteral || first.dotsBefore != 0) return std::nullopt;
  const LiteralRun& run0 = parsed.runs.front();
  for (std::size_t k = std::min<std::size_t>(run0.size(), 16); k-- > 1;) {
    if (run0.notLineFeeds[k] == 0) {
      parsed.secondLiteral = k;
      break;
    }
  }
  return parsed;
}

LiteralRunsMatcher::LiteralRunsMatcher(const LiteralRunsPattern& pattern,
                                       std::u16string_view subject, const FindBounds& bounds)
    : pattern_(pattern), subject_(subject), bounds_(bounds) {}

FindResult LiteralRunsMatcher::Find(std::size_t from, std::uint32_t* pairs) {
  pairs_ = pairs;
  std::size_t at = from;
  while (at < subject_.size()) {
    const std::size_t start = FindStartCandidate(at);
    if (Bounded(start - at)) return FindResult::kBoundReached;
    if (start == subject_.size()) break;
    triesThisStart_ = 0;
    if (MatchRunAt(0, start)) {
      pairs_[0] = static_cast<std::uint32_t>(start);
      return FindResult::kFound;
    }
    if (boundReached_) return FindResult::kBoundReached;
    at = start + 1;
  }
  return FindResult::kNotFound;
}

// The first position from from on where run 0's first character and its
// second literal both match, or the subject's size. Positions too close to
// the end for run 0 are never candidates.
std::size_t LiteralRunsMatcher::FindStartCandidate(std::size_t from) const {
  const LiteralRun& run = pattern_.runs.front();
  const RunLead& lead = run.lead;
  const std::size_t second = pattern_.secondLiteral;
  const std::size_t size = subject_.size();
  if (size <= second) return size;
  const std::size_t lastStart = size - second;  // exclusive
  const char16_t* s = subject_.data();
#if defined(__x86_64__)
  if (HasAvx2()) from = SkipToStartSixteenAtATime(s, from, lastStart, run, second);
#endif
#if defined(__SSE2__)
  const __m128i first0 = _mm_set1_epi16(static_cast<short>(lead.units[0]));
  const __m128i first1 = _mm_set1_epi16(static_cast<short>(lead.units[1]));
  const __m128i value = _mm_set1_epi16(static_cast<short>(run.values[second]));
  const __m128i fold = _mm_set1_epi16(static_cast<short>(run.folds[second]));
  while (from + 8 <= lastStart) {
    const __m128i at = Load8(s + from);
    const __m128i firstHits =
        _mm_or_si128(_mm_cmpeq_epi16(at, first0), _mm_cmpeq_epi16(at, first1));
    const __m128i later = Load8(s + from + second);
    const __m128i secondHits = _mm_cmpeq_epi16(_mm_or_si128(later, fold), value);
    const auto mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(firstHits, secondHits)));
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
    from += 8;
  }
#endif
  for (; from < lastStart; ++from) {
    if (UnitMatches(run, 0, s[from]) && UnitMatches(run, second, s[from + second])) return from;
  }
  return size;
}

bool LiteralRunsMatcher::RunCharsMatchAt(const LiteralRun& run, std::size_t at) const {
  const std::size_t size = run.size();
  if (size > subject_.size() - at) return false;
  const char16_t* s = subject_.data() + at;
#if defined(__x86_64__)
  if (size >= 16 && HasAvx2()) return RunMatchesSixteenAtATime(run, s);
#endif
#if defined(__SSE2__)
  if (size >= 8) {
    // Eight at a time; the last eight overlap the ones before when the run's
    // size is no multiple of eight.
    for (std::size_t i = 0; i + 8 < size; i += 8) {
      if (!EightMatch(run, i, s + i)) return false;
    }
    return EightMatch(run, size - 8, s + size - 8);
  }
#endif
  for (std::size_t i = 0; i < size; ++i) {
    if (!UnitMatches(run, i, s[i])) return false;
  }
  return true;
}

// Run number run matched at at, and everything after it.
bool LiteralRunsMatcher::MatchRunAt(std::size_t run, std::size_t at) {
  const LiteralRun& chars = pattern_.runs[run];
  if (Bounded(chars.size()) || !RunCharsMatchAt(chars, at)) return false;
  const std::size_t end = at + chars.size();
  if (run + 1 == pattern_.runs.size()) {
    pairs_[1] = static_cast<std::uint32_t>(end);
    return true;
  }
  return MatchGroupFrom(run + 1, end);
}

// Group number group starting at start, and everything after it: each end
// the group may take, shortest first, that the run after it can match at.
bool LiteralRunsMatcher::MatchGroupFrom(std::size_t group, std::size_t start) {
  if (KnownToFail(group, start)) return false;
  const LiteralRun& next = pattern_.runs[group];
  const RunLead& lead = next.lead;
  const std::size_t size = subject_.size();
  std::optional<std::size_t> end;
  auto tryEnd = [&](std::size_t candidate) {
    if (++triesThisStart_ > bounds_.triesPerStart) boundReached_ = true;
    if (!boundReached_ && MatchRunAt(group, candidate)) end = candidate;
    return end.has_value() || boundReached_;
  };

  if (!lead.hasLiteral) {
    for (std::size_t candidate = start;; ++candidate) {
      if (tryEnd(candidate) || candidate == size || subject_[candidate] == kLineFeed) break;
    }
  } else {
    // The group and the dots before the literal take no line feed.
    const std::size_t dots = lead.dotsBefore;
    bool open = start + dots < size;
    for (std::size_t i = start; open && i < start + dots; ++i) open = subject_[i] != kLineFeed;
    std::size_t at = start + dots;
    while (open) {
      const std::size_t hit = FindAnyOf(subject_, at, lead.units[0], lead.units[1], kLineFeed);
      if (Bounded(hit - at) || hit == size) break;
      const char16_t u = subject_[hit];
      if ((u == lead.units[0] || u == lead.units[1]) && tryEnd(hit - dots)) {
        break;
      }
      if (u == kLineFeed) break;
      at = hit + 1;
    }
  }

  if (!end) {
    if (!boundReached_) RememberFailure(group, start);
    return false;
  }
  pairs_[2 * group] = static_cast<std::uint32_t>(start);
  pairs_[2 * group + 1] = static_cast<std::uint32_t>(*end);
  return true;
}

bool LiteralRunsMatcher::KnownToFail(std::size_t group, std::size_t start) const {
  if (failed_.empty()) return false;
  const std::size_t bit = start * pattern_.GroupCount() + (group - 1);
  return (failed_[bit / 64] >> (bit % 64) & 1) != 0;
}

void LiteralRunsMatcher::RememberFailure(std::size_t group, std::size_t start) {
  if (failed_.empty()) {
    const std::size_t bits = (subject_.size() + 1) * pattern_.GroupCount();
    failed_.assign(bits / 64 + 1, 0);
  }
  const std::size_t bit = start * pattern_.GroupCount() + (group - 1);
  failed_[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

// Counts work done and looks at the clock now and then; true once a bound
// is reached, and from then on.
bool LiteralRunsMatcher::Bounded(std::size_t work) {
  workSinceClock_ += work;
  if (workSinceClock_ >= kWorkPerClockCheck) {
    workSinceClock_ = 0;
    if (bounds_.now() > bounds_.deadline) boundReached_ = true;
  }
  return boundReached_;
}

}  // namespace tessaly::regex_internal
