// How much work one RunPattern may do, and which matcher it uses.
//
// A hostile page (megabytes on one line, thousands of half-open tags) can make
// a backtracking matcher run for hours. Three bounds keep a run short:
// - PCRE2's match limit caps the work of each start position; a start that
//   needs more ends the run;
// - each pcre2_match call may only start matches within a window of the
//   subject, so that one call (which tries many start positions) is short too;
// - between calls the run checks its deadline (runTimeBase plus
//   runTimePerUnit for every UTF-16 unit of the subject), which bounds a run of
//   many matches that each cost nearly the limit.
// A run that stops on a bound keeps the matches found before.
//
// Settings are per thread; the setters exist for tests.
#pragma once

#include <chrono>
#include <cstdint>

namespace tessaly::regex_internal {

struct MatchBounds {
  std::uint32_t matchLimitPerStart;
  std::uint32_t startWindowUnits;
  std::chrono::nanoseconds runTimeBase;
  std::chrono::nanoseconds runTimePerUnit;
};

MatchBounds DefaultMatchBounds();
void SetMatchBoundsForThisThread(const MatchBounds& bounds);

// True when PCRE2 was built with JIT support for this machine.
bool JitAvailable();
// Off makes this thread's runs use the interpreter (default: on when available).
void SetJitEnabledForThisThread(bool enabled);
// Off sends every pattern to PCRE2, even those the literal-runs matcher takes
// (default: on).
void SetLiteralRunsEnabledForThisThread(bool enabled);

}  // namespace tessaly::regex_internal
