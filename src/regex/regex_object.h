// RegexObject: one pattern over one text, matches and groups by 1-based number.
//
// Runs on PCRE2's 16-bit library: the subject crosses as UTF-16 units, match
// and group texts come back as GBK. Defaults: letters match in either case,
// multiline on, global on, no quote marker. "." never matches a line feed.
// Every run replaces all results of the previous one. An object belongs to
// the thread that made it.
#pragma once

#include <memory>

#include "text/text.h"

namespace tessaly {

struct RunOptions {
  bool caseSensitive = false;
  bool multiline = true;
  bool global = true;
  // Every "#引号" in the pattern stands for a double quote.
  bool quoteMarker = false;
};

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(RegexObject&&) noexcept;
  RegexObject& operator=(RegexObject&&) noexcept;
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // A second object sharing this one's compiled pattern and matches.
  RegexObject Duplicate() const;

  // False when the pattern is rejected; the previous matches are gone either way.
  bool RunPattern(const Text& pattern, const Text& subject, const RunOptions& options = {});

  int MatchCount() const;
  // position, when asked for, receives the 0-based byte offset of the match
  // (or group) in the GBK subject; kNotFound when there is no such match or
  // group.
  Text MatchText(int match, int* position = nullptr) const;
  Text SubMatchText(int match, int group, int* position = nullptr) const;
  // Groups of the first match; 0 without matches.
  int SubMatchCount() const;
  Text PatternText() const;
  // The last subject with the matches replaced (all of them when global).
  Text ReplaceMatches(const Text& replacement) const;

  struct State;

 private:
  explicit RegexObject(std::shared_ptr<const State> state);
  std::shared_ptr<const State> state_;
};

}  // namespace tessaly
