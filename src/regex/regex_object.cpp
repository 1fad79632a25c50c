#include "regex/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "regex/literal_runs.h"
#include "regex/match_bounds.h"
#include "text/codepage.h"

namespace tessaly {
namespace regex_internal {
namespace {

// A start position costs about one step per character its lazy groups scan,
// so a real row needs a few hundred steps and even a 100 KB line fits the
// limit. One call then tries at most a window's start positions, a fraction
// of a second even when each costs nearly the limit. The deadline is loose for
// real pages (a megabyte parses in milliseconds) and stops a hostile 10 MB page
// after about two seconds.
constexpr MatchBounds kDefaultBounds{
    .matchLimitPerStart = 100'000,
    .startWindowUnits = 2048,
    .runTimeBase = std::chrono::seconds(1),
    .runTimePerUnit = std::chrono::nanoseconds(100),
};

// The interpreter's backtracking frames live on the heap; the site patterns
// never nest deeply, so these only stop a runaway.
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
// The JIT stack grows from the first size up to the second on demand.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 4 * 1024 * 1024;
// Compiled patterns kept per thread; a job uses four.
constexpr std::size_t kMaxCachedPatterns = 64;

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};

using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context, CompileContextFree>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack, JitStackFree>;

struct CompiledPattern {
  CodePtr code;  // null when PCRE2 rejected the pattern
  std::uint32_t groupCount = 0;
  // Set when the pattern is one the literal-runs matcher takes.
  std::optional<LiteralRunsPattern> literalRuns;
};

bool JitCompiledIn() {
  static const bool available = [] {
    std::uint32_t jit = 0;
    return pcre2_config(PCRE2_CONFIG_JIT, &jit) >= 0 && jit != 0;
  }();
  return available;
}

// Everything PCRE2 needs that may be reused between runs on one thread:
// compiled patterns, the match data, the match context with its JIT stack.
// None of it is ever shared with another thread.
class ThreadEngine {
 public:
  static ThreadEngine& Current() {
    thread_local ThreadEngine engine;
    return engine;
  }

  MatchBounds bounds = kDefaultBounds;
  bool jitEnabled = JitCompiledIn();
  bool literalRunsEnabled = true;

  const CompiledPattern& Compile(const Text& pattern, std::uint32_t options) {
    // A job runs the same pattern page after page: that one is found without
    // building a key.
    if (last_ != nullptr && lastOptions_ == options && lastPattern_ == pattern) return *last_;
    last_ = &Lookup(pattern, options);
    lastOptions_ = options;
    lastPattern_ = pattern;
    return *last_;
  }

  pcre2_match_data* MatchData(std::uint32_t pairs) {
    if (!matchData_ || pcre2_get_ovector_count(matchData_.get()) < pairs) {
      matchData_.reset(pcre2_match_data_create(std::max<std::uint32_t>(pairs, 16), nullptr));
    }
    return matchData_.get();
  }

  pcre2_match_context* MatchContext() { return matchContext_.get(); }

 private:
  const CompiledPattern& Lookup(const Text& pattern, std::uint32_t options) {
    std::string key;
    key.reserve(pattern.view().size() + sizeof options);
    key.append(reinterpret_cast<const char*>(&options), sizeof options);
    key.append(pattern.view());
    if (auto found = cache_.find(key); found != cache_.end()) return found->second;
    if (cache_.size() >= kMaxCachedPatterns) {
      cache_.clear();
      last_ = nullptr;
    }

    CompiledPattern compiled;
    const std::u16string units = GbkToUtf16Units(pattern.view());
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    compiled.code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(units.data()), units.size(),
                                      options, &error, &errorOffset, compileContext_.get()));
    if (compiled.code) {
      pcre2_pattern_info(compiled.code.get(), PCRE2_INFO_CAPTURECOUNT, &compiled.groupCount);
      // Without JIT support (or when it fails) the interpreter serves.
      if (JitCompiledIn()) pcre2_jit_compile(compiled.code.get(), PCRE2_JIT_COMPLETE);
      compiled.literalRuns = ParseLiteralRuns(units, (options & PCRE2_CASELESS) != 0);
    }
    return cache_.emplace(std::move(key), std::move(compiled)).first->second;
  }

  ThreadEngine()
      : compileContext_(pcre2_compile_context_create(nullptr)),
        matchContext_(pcre2_match_context_create(nullptr)) {
    // "." must never match a line feed whatever the library's build default.
    pcre2_set_newline(compileContext_.get(), PCRE2_NEWLINE_LF);
    pcre2_set_depth_limit(matchContext_.get(), kDepthLimit);
    pcre2_set_heap_limit(matchContext_.get(), kHeapLimitKiB);
    if (JitCompiledIn()) {
      jitStack_.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
      pcre2_jit_stack_assign(matchContext_.get(), nullptr, jitStack_.get());
    }
  }

  CompileContextPtr compileContext_;
  MatchContextPtr matchContext_;
  JitStackPtr jitStack_;
  MatchDataPtr matchData_;
  std::unordered_map<std::string, CompiledPattern> cache_;
  const CompiledPattern* last_ = nullptr;
  std::uint32_t lastOptions_ = 0;
  Text lastPattern_;
};

}  // namespace

MatchBounds DefaultMatchBounds() {
  return kDefaultBounds;
}
void SetMatchBoundsForThisThread(const MatchBounds& bounds) {
  ThreadEngine::Current().bounds = bounds;
}
bool JitAvailable() {
  return JitCompiledIn();
}
void SetJitEnabledForThisThread(bool enabled) {
  ThreadEngine::Current().jitEnabled = enabled && JitCompiledIn();
}
void SetLiteralRunsEnabledForThisThread(bool enabled) {
  ThreadEngine::Current().literalRunsEnabled = enabled;
}

}  // namespace regex_internal

using regex_internal::FindResult;
using regex_internal::LiteralRunsMatcher;
using regex_internal::ThreadEngine;

namespace {

constexpr std::uint32_t kUnset = UINT32_MAX;

// "#引号" in GBK.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

// The run's deadline is a matter of milliseconds; the coarse clock costs far
// less than the precise one, and the run reads it after every match.
std::chrono::nanoseconds CoarseNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

bool IsHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

struct RegexObject::State {
  Text pattern;  // as the engine was given it: quote markers already replaced
  RunOptions options;
  DecodedGbk decoded;
  // The GBK subject, kept when its characters round trip (nearly always):
  // match and group texts are then cut from it rather than encoded again.
  Text gbkSubject;
  bool hasMatches = false;  // false when the pattern was rejected
  std::uint32_t groupCount = 0;
  int matchCount = 0;
  // Per match, groupCount + 1 pairs of (start, end) in UTF-16 units; group 0
  // is the whole match, kUnset marks a group that took no part.
  std::vector<std::uint32_t> offsets;
  // Where the last byte offset was found: texts are mostly read in order.
  mutable std::size_t pairsBeforeLast = 0;

  void Clear() {
    pairsBeforeLast = 0;
    hasMatches = false;
    groupCount = 0;
    matchCount = 0;
    offsets.clear();
  }

  std::u16string_view Subject() const { return decoded.units; }

  const std::uint32_t* Pair(int match, int group) const {
    if (match < 1 || match > matchCount || group < 0 ||
        static_cast<std::uint32_t>(group) > groupCount) {
      return nullptr;
    }
    const std::size_t index =
        (static_cast<std::size_t>(match - 1) * (groupCount + 1) + static_cast<std::size_t>(group)) *
        2;
    if (offsets[index] == kUnset) return nullptr;
    return &offsets[index];
  }

  std::u16string_view Units(const std::uint32_t* pair) const {
    return Subject().substr(pair[0], pair[1] - pair[0]);
  }

  Text Piece(int match, int group, int* position) const {
    const std::uint32_t* pair = Pair(match, group);
    if (pair == nullptr) {
      if (position != nullptr) *position = kNotFound;
      return {};
    }
    if (decoded.roundTrips) {
      const std::size_t start = decoded.ByteOffset(pair[0], pairsBeforeLast);
      const std::size_t end = decoded.ByteOffset(pair[1], pairsBeforeLast);
      if (position != nullptr) *position = static_cast<int>(start);
      return Text(std::string(gbkSubject.view().substr(start, end - start)), Text::NoZeroByte{});
    }
    if (position != nullptr) *position = Utf16UnitsToText(Subject().substr(0, pair[0])).size();
    return Utf16UnitsToText(Units(pair));
  }
};

namespace {

// The start position after an empty match or a window without a match: one
// character further on (a surrogate pair is one character).
std::size_t NextCharacter(std::u16string_view units, std::size_t at) {
  std::size_t next = at + 1;
  if (next < units.size() && IsLowSurrogate(units[next]) && IsHighSurrogate(units[at])) ++next;
  return next;
}

// The leftmost match at or after start with PCRE2, one start window per
// pcre2_match call; pairs receives the match and its groups, kUnset for a
// group that took no part.
FindResult FindWithPcre2(ThreadEngine& engine, const regex_internal::CompiledPattern& compiled,
                         std::u16string_view units, std::size_t start,
                         std::chrono::nanoseconds deadline, std::uint32_t* pairs) {
  const std::uint32_t pairCount = compiled.groupCount + 1;
  pcre2_match_data* matchData = engine.MatchData(pairCount);
  pcre2_match_context* context = engine.MatchContext();
  const regex_internal::MatchBounds& bounds = engine.bounds;
  pcre2_set_match_limit(context, bounds.matchLimitPerStart);
  const std::size_t window = std::max<std::uint32_t>(bounds.startWindowUnits, 1);
  // The subject comes from our own GBK decoder, which only ever yields
  // well-formed UTF-16 (GBK has no surrogates to break), so PCRE2 need not
  // check it.
  const std::uint32_t matchOptions = (engine.jitEnabled ? 0 : PCRE2_NO_JIT) | PCRE2_NO_UTF_CHECK;
  for (;;) {
    const std::size_t lastStart = std::min(units.size(), start + window - 1);
    pcre2_set_offset_limit(context, lastStart);
    const int rc = pcre2_match(compiled.code.get(), reinterpret_cast<PCRE2_SPTR>(units.data()),
                               units.size(), start, matchOptions, matchData, context);
    if (rc > 0) {
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData);
      for (std::uint32_t i = 0; i < pairCount * 2; ++i) {
        pairs[i] = ovector[i] == PCRE2_UNSET ? kUnset : static_cast<std::uint32_t>(ovector[i]);
      }
      return FindResult::kFound;
    }
    if (rc != PCRE2_ERROR_NOMATCH) return FindResult::kBoundReached;
    if (lastStart == units.size()) return FindResult::kNotFound;
    if (CoarseNow() > deadline) return FindResult::kBoundReached;
    start = NextCharacter(units, lastStart);
  }
}

}  // namespace

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(RegexObject&&) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&&) noexcept = default;
RegexObject::RegexObject(std::shared_ptr<const State> state) : state_(std::move(state)) {}

RegexObject RegexObject::Duplicate() const {
  return RegexObject(state_);
}

bool RegexObject::RunPattern(const Text& pattern, const Text& subject, const RunOptions& options) {
  // The last run's state is reused, with the storage of its subject and
  // offsets, when no duplicate shares it; it was made as a mutable State.
  std::shared_ptr<State> state;
  if (state_ && state_.use_count() == 1) {
    state = std::const_pointer_cast<State>(state_);
    state->Clear();
  } else {
    state = std::make_shared<State>();
  }
  state_.reset();
  state->pattern =
      options.quoteMarker ? TxReplace(pattern, Text(kQuoteMarker), Text("\"")) : pattern;
  state->options = options;
  DecodeGbkForMatching(subject.view(), state->decoded);
  if (state->decoded.roundTrips) state->gbkSubject = subject;

  ThreadEngine& engine = ThreadEngine::Current();
  std::uint32_t compileOptions = PCRE2_UTF | PCRE2_USE_OFFSET_LIMIT;
  if (!options.caseSensitive) compileOptions |= PCRE2_CASELESS;
  if (options.multiline) compileOptions |= PCRE2_MULTILINE;
  const auto& compiled = engine.Compile(state->pattern, compileOptions);
  if (!compiled.code) {
    state_ = std::move(state);
    return false;
  }

  state->hasMatches = true;
  state->groupCount = compiled.groupCount;
  const std::uint32_t pairs = compiled.groupCount + 1;
  const regex_internal::MatchBounds& bounds = engine.bounds;
  const std::u16string_view units = state->Subject();
  const auto deadline = CoarseNow() + bounds.runTimeBase +
                        bounds.runTimePerUnit * static_cast<std::int64_t>(units.size());

  std::vector<std::uint32_t> found(2 * pairs);
  std::optional<LiteralRunsMatcher> literalRuns;
  if (compiled.literalRuns && engine.literalRunsEnabled) {
    literalRuns.emplace(
        *compiled.literalRuns, units,
        regex_internal::FindBounds{
            .triesPerStart = bounds.matchLimitPerStart, .deadline = deadline, .now = CoarseNow});
  }
  const auto findFrom = [&](std::size_t start) {
    return literalRuns ? literalRuns->Find(start, found.data())
                       : FindWithPcre2(engine, compiled, units, start, deadline, found.data());
  };

  std::size_t start = 0;
  while (start <= units.size()) {
    if (findFrom(start) != FindResult::kFound) break;  // a bound keeps the matches so far
    state->offsets.insert(state->offsets.end(), found.begin(), found.end());
    ++state->matchCount;
    if (!options.global) break;
    const std::size_t matchEnd = found[1];
    if (matchEnd > found[0]) {
      start = matchEnd;
    } else {
      if (matchEnd >= units.size()) break;
      start = NextCharacter(units, matchEnd);
    }
    if (CoarseNow() > deadline) break;
  }
  state_ = std::move(state);
  return true;
}

int RegexObject::MatchCount() const {
  return state_ ? state_->matchCount : 0;
}

Text RegexObject::MatchText(int match, int* position) const {
  if (!state_) {
    if (position != nullptr) *position = kNotFound;
    return {};
  }
  return state_->Piece(match, 0, position);
}

Text RegexObject::SubMatchText(int match, int group, int* position) const {
  if (!state_ || group < 1) {
    if (position != nullptr) *position = kNotFound;
    return {};
  }
  return state_->Piece(match, group, position);
}

int RegexObject::SubMatchCount() const {
  if (!state_ || state_->matchCount == 0) return 0;
  return static_cast<int>(state_->groupCount);
}

Text RegexObject::PatternText() const {
  return state_ ? state_->pattern : Text();
}

Text RegexObject::ReplaceMatches(const Text& replacement) const {
  if (!state_ || !state_->hasMatches) return {};
  const State& s = *state_;
  if (s.matchCount == 0) return Utf16UnitsToText(s.Subject());
  const std::u16string with = GbkToUtf16Units(replacement.view());
  const std::u16string_view subject = s.Subject();
  std::u16string out;
  out.reserve(subject.size());
  std::size_t copiedUpTo = 0;
  for (int m = 1; m <= s.matchCount; ++m) {
    const std::uint32_t* whole = s.Pair(m, 0);
    out.append(subject.substr(copiedUpTo, whole[0] - copiedUpTo));
    // "$&" the match, "$`" the text before it, "$'" the text after it, "$n"
    // and "$nn" a group, "$$" one dollar; any other "$" stands for itself.
    for (std::size_t i = 0; i < with.size(); ++i) {
      const char16_t c = with[i];
      const char16_t next = i + 1 < with.size() ? with[i + 1] : u'\0';
      if (c != u'$' || next == u'\0') {
        out.push_back(c);
        continue;
      }
      if (next == u'$') {
        out.push_back(u'$');
        ++i;
      } else if (next == u'&') {
        out.append(s.Units(whole));
        ++i;
      } else if (next == u'`') {
        out.append(subject.substr(0, whole[0]));
        ++i;
      } else if (next == u'\'') {
        out.append(subject.substr(whole[1]));
        ++i;
      } else if (next >= u'0' && next <= u'9') {
        int group = next - u'0';
        std::size_t digits = 1;
        const char16_t second = i + 2 < with.size() ? with[i + 2] : u'\0';
        if (second >= u'0' && second <= u'9' &&
            static_cast<std::uint32_t>(group * 10 + (second - u'0')) <= s.groupCount) {
          group = group * 10 + (second - u'0');
          digits = 2;
        }
        if (group < 1 || static_cast<std::uint32_t>(group) > s.groupCount) {
          out.push_back(c);
          continue;
        }
        if (const std::uint32_t* pair = s.Pair(m, group)) out.append(s.Units(pair));
        i += digits;
      } else {
        out.push_back(c);
      }
    }
    copiedUpTo = whole[1];
  }
  out.append(subject.substr(copiedUpTo));
  return Utf16UnitsToText(out);
}

}  // namespace tessaly
