#include "text/url_encode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/codepage.h"

namespace tessaly {
namespace {

TEST(UrlEncode, EncodesBytesWithUpperCaseHex) {
  struct Case {
    const char* name;
    std::string text;
    UrlEncodeOptions options;
    std::string expected;
  };
  const UrlEncodeOptions plain{};
  const UrlEncodeOptions keepSafe{.keepSafe = true};
  const UrlEncodeOptions toUtf8{.toUtf8 = true};
  const std::vector<Case> cases = {
      {"empty", "", plain, ""},
      {"empty with UTF-8", "", toUtf8, ""},
      {"letters encoded by default", "AV", plain, "%41%56"},
      {"letters kept with keepSafe", "AV", keepSafe, "AV"},
      {"kept set", "a-b.c_d~e/f", keepSafe, "a-b.c%5Fd%7Ee%2Ff"},
      {"digits and capitals kept", "Z09z", keepSafe, "Z09z"},
      {"around the kept set", ",/:@[`{", keepSafe, "%2C%2F%3A%40%5B%60%7B"},
      {"space is %20", " ", keepSafe, "%20"},
      {"one-digit value padded", "\n", plain, "%0A"},
      {"GBK bytes", "\xD6\xD0", plain, "%D6%D0"},
      {"GBK bytes with keepSafe", "\xD6\xD0", keepSafe, "%D6%D0"},
      {"UTF-8 form", "\xD6\xD0", toUtf8, "%E4%B8%AD"},
      {"both flags", "a\xD6\xD0", {.keepSafe = true, .toUtf8 = true}, "a%E4%B8%AD"},
      {"highest byte", "\xFF", plain, "%FF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UrlEncode(Text(c.text), c.options), Text(c.expected));
  }
}

TEST(UrlEncode, KeywordSearchFormConvertsFirstThenEncodesEveryByte) {
  EXPECT_EQ(UrlEncode(GbkTextToUtf8(Text("AV"))), Text("%41%56"));
  EXPECT_EQ(UrlEncode(GbkTextToUtf8(Text("\xD6\xD0"))), Text("%E4%B8%AD"));
}

}  // namespace
}  // namespace tessaly
