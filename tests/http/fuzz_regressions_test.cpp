// Inputs the fuzzers found, kept as plain cases.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "http/url_parts.h"

namespace tessaly {
namespace {

// The dot walk used to take domainLevels steps even after the dots ran out,
// so a huge value spun for minutes.
TEST(UrlHostFuzzRegression, HugeDomainLevelsEndWhenDotsRunOut) {
  struct Case {
    const char* name;
    int levels;
    bool shortDomain;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"largest int, short", INT_MAX, true, "a.b.c"},
      {"largest int", INT_MAX, false, "a.b.c"},
      {"one more than the dots, short", 3, true, "a.b.c"},
      {"just enough dots, short", 1, true, "b.c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const UrlHostOptions options{.shortDomain = c.shortDomain, .domainLevels = c.levels};
    EXPECT_EQ(UrlHost(Text("http://A.b.c/x"), options).bytes(), c.expected);
  }
}

}  // namespace
}  // namespace tessaly
