// The demo site's pages read with the program's own four patterns, written
// out here byte for byte, so a drift in the markup (an indent, a line end, a
// pager layout) shows up as a wrong or missing match.
#include "demo-site/site_pages.h"

#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "demo-site/catalogue.h"

namespace tessaly::demo {
namespace {

const std::string kTotalsPattern =
    R"(<div class="total"><strong>(.*?)<span class="STYLE2">(.*?)</span>(.*?)<span class="STYLE2">(.*?)</span>(.*?)</strong></div>)"
    "\r";
const std::string kPagerPattern =
    std::string(R"(<a href *= *['"]*(\S+)["'].*\>(.*?)</a>)") + "\r\n" + std::string(52, ' ') +
    R"(<a href *= *['"]*(\S+)["'].*\>下一页</a>)" + std::string(12, ' ') + "</div>\r";
const std::string kHeaderPattern = R"(<th style="text-align:left;width:365px;">(.*?)</th>)"
                                   "\r";
const std::string kRowPattern =
    std::string(R"(<td><a target="_blank" href="/(.*?).html">(.*?)</a></td>)") + "\r\n" +
    std::string(20, ' ') + R"(<td style="text-align:center;">(.*?)</td>)" + "\r\n" +
    std::string(20, ' ') + R"(<td style="color:red;">(.*?)</td>)" + "\r\n" + std::string(20, ' ') +
    R"(<td style="text-align:right;color:green;"><span class="date">(.*?)</span></td>)";

using Groups = std::vector<std::string>;

// Every match of pattern in page, each as its groups 1..n. Letters match in
// either case, as the program runs its patterns.
std::vector<Groups> AllMatches(const std::string& pattern, const std::string& page) {
  const std::regex regex(pattern, std::regex::ECMAScript | std::regex::icase);
  std::vector<Groups> matches;
  for (auto it = std::sregex_iterator(page.begin(), page.end(), regex);
       it != std::sregex_iterator(); ++it) {
    Groups groups;
    for (std::size_t g = 1; g < it->size(); ++g) groups.push_back((*it)[g].str());
    matches.push_back(groups);
  }
  return matches;
}

std::string RemoveAll(std::string text, const std::string& piece) {
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at)) {
    text.erase(at, piece.size());
  }
  return text;
}

std::string AsciiLowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

Groups RowGroups(const CatalogueRow& row) {
  return {row.pageName, row.name, row.size, row.giftCode, row.date};
}

TEST(DemoSitePatterns, TranscribedPatternsHaveTheirDocumentedLengths) {
  EXPECT_EQ(kTotalsPattern.size(), 124u);
  EXPECT_EQ(kPagerPattern.size(), 152u + 3u);  // "下一页" is 6 bytes in GBK, 9 in UTF-8
  EXPECT_EQ(kHeaderPattern.size(), 52u);
  EXPECT_EQ(kRowPattern.size(), 274u);
}

TEST(DemoSitePages, RowLinesAreTheSitesExactBytes) {
  const CatalogueRow row{"code/100007", "高清电影合集 AV 第8辑", "1.25 GB", "a1b2", "2026-11-03"};
  const std::string spaces(20, ' ');
  const std::string expected =
      spaces +
      "<td><a target=\"_blank\" href=\"/code/100007.html\">高清电影合集 AV 第8辑</a></td>\r\n" +
      spaces + "<td style=\"text-align:center;\">1.25 GB</td>\r\n" + spaces +
      "<td style=\"color:red;\">a1b2</td>\r\n" + spaces +
      "<td style=\"text-align:right;color:green;\"><span class=\"date\">2026-11-03</span></td>";
  EXPECT_EQ(RenderRowLines(row, row.name), expected);
}

TEST(DemoSitePages, CataloguePageGivesItsTitleAndEveryRowInOrder) {
  const Catalogue catalogue({.pages = 4, .rowsPerPage = 7});
  for (int page = 1; page <= 4; ++page) {
    SCOPED_TRACE(page);
    const std::string body = RenderCataloguePage(catalogue, page);
    EXPECT_EQ(AllMatches(kHeaderPattern, body), std::vector<Groups>{{"最新资源"}});
    std::vector<Groups> expected;
    for (const CatalogueRow& row : catalogue.PageRows(page)) expected.push_back(RowGroups(row));
    EXPECT_EQ(AllMatches(kRowPattern, body), expected);
  }
}

struct PagerCase {
  const char* name;
  int pages;
};

void PrintTo(const PagerCase& c, std::ostream* out) {
  *out << c.name;
}

class DemoSiteFrontPager : public testing::TestWithParam<PagerCase> {};

// The summary reads the page count as the pager's group 2; the page links
// around the current one change with the count, the last link must not.
TEST_P(DemoSiteFrontPager, TotalsAndLastPageNumber) {
  const Catalogue catalogue({.pages = GetParam().pages, .rowsPerPage = 3});
  const std::string body = RenderFrontPage(catalogue);
  const std::string total = std::to_string(GetParam().pages * 3);

  const std::vector<Groups> totals = AllMatches(kTotalsPattern, body);
  ASSERT_EQ(totals.size(), 1u);
  EXPECT_EQ(totals[0], (Groups{"共有", total, "个资源，", total, "个礼包码"}));

  const std::vector<Groups> pager = AllMatches(kPagerPattern, body);
  ASSERT_EQ(pager.size(), 1u);
  EXPECT_EQ(pager[0][1], std::to_string(GetParam().pages));
}

INSTANTIATE_TEST_SUITE_P(Shapes, DemoSiteFrontPager,
                         testing::Values(PagerCase{"OnePage", 1}, PagerCase{"TwoPages", 2},
                                         PagerCase{"FivePages", 5}, PagerCase{"SixPages", 6},
                                         PagerCase{"SevenPages", 7},
                                         PagerCase{"ThirtySixPages", 36},
                                         PagerCase{"ThreeHundredPages", 300}),
                         [](const auto& row) { return std::string(row.param.name); });

// What a keyword search lists: the first page's pager gives the page count,
// and pages 1..count give every matching name once, markup removed.
TEST(DemoSitePages, KeywordSearchListsEveryMatchingNameOverItsPages) {
  const Catalogue catalogue;
  struct Case {
    const char* word;
    const char* encoded;
  };
  for (const Case& c : {Case{"AV", "%41%56"}, Case{"av", "%61%76"},
                        Case{"高清", "%E9%AB%98%E6%B8%85"}, Case{"java", "java"}}) {
    SCOPED_TRACE(c.word);
    std::vector<std::string> expected;
    for (const CatalogueRow& row : catalogue.Rows()) {
      if (AsciiLowered(row.name).find(AsciiLowered(c.word)) != std::string::npos) {
        expected.push_back(row.name);
      }
    }
    ASSERT_FALSE(expected.empty());
    const int pageCount = static_cast<int>((expected.size() + 29) / 30);

    const std::string base = std::string("/index.php?keyword=") + c.encoded;
    const SiteResponse first = RespondToTarget(catalogue, base);
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.body.find(kNoResultsMarker), std::string::npos);
    const std::vector<Groups> header = AllMatches(kHeaderPattern, first.body);
    ASSERT_EQ(header.size(), 1u);
    EXPECT_EQ(header[0][0],
              "<span>" + std::string(c.word) + "</span>" + std::string(kKeywordHeaderSuffix));
    if (pageCount == 1) {
      EXPECT_EQ(first.body.find("下一页"), std::string::npos);
    } else {
      const std::vector<Groups> pager = AllMatches(kPagerPattern, first.body);
      ASSERT_EQ(pager.size(), 1u);
      EXPECT_EQ(pager[0][1], std::to_string(pageCount));
    }

    std::vector<std::string> listed;
    for (int page = 1; page <= pageCount; ++page) {
      const SiteResponse result =
          RespondToTarget(catalogue, base + "&page=" + std::to_string(page));
      ASSERT_EQ(result.status, 200) << page;
      for (const Groups& row : AllMatches(kRowPattern, result.body)) {
        listed.push_back(RemoveAll(RemoveAll(row[1], std::string(kHighlightOpen)), "</span>"));
      }
    }
    EXPECT_EQ(listed, expected);
  }
}

TEST(DemoSitePages, DefaultSearchWordSpansSeveralResultPages) {
  const Catalogue catalogue;
  EXPECT_GT(KeywordPageCount(catalogue.Search("AV").size()), 1);
}

TEST(DemoSitePages, HighlightWrapsEveryOccurrenceKeepingItsCase) {
  struct Case {
    const char* name;
    const char* word;
    const char* expected;
  };
  const std::string open(kHighlightOpen);
  for (const Case& c : {
           Case{"Java AV x", "av",
                "J<span style='color:red'>av</span>a <span style='color:red'>AV</span> x"},
           Case{"高清电影合集", "高清", "<span style='color:red'>高清</span>电影合集"},
           Case{"Linux Notes", "av", "Linux Notes"},
           Case{"aaa", "aa", "<span style='color:red'>aa</span>a"},
       }) {
    EXPECT_EQ(HighlightWord(c.name, c.word), c.expected) << c.name << " / " << c.word;
  }
}

TEST(DemoSitePages, QueryValuesAreDecodedAsUtf8) {
  struct Case {
    const char* name;
    const char* encoded;
    const char* decoded;
  };
  for (const Case& c : {
           Case{"every byte escaped", "%41%56", "AV"},
           Case{"lower-case hex", "%e9%ab%98%e6%b8%85", "高清"},
           Case{"plus is a space", "a+b", "a b"},
           Case{"percent at the end", "100%", "100%"},
           Case{"one digit only", "%4", "%4"},
           Case{"not hexadecimal", "%zz1", "%zz1"},
           Case{"escaped percent", "%2541", "%41"},
       }) {
    EXPECT_EQ(PercentDecode(c.encoded), c.decoded) << c.name;
  }
  EXPECT_EQ(RepairUtf8("a\xFF"
                       "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(RepairUtf8("\xE9\xAB"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // cut-off character
  EXPECT_EQ(RepairUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong "/"
  EXPECT_EQ(RepairUtf8("高清"), "高清");
}

TEST(DemoSitePages, TargetsRouteToTheirPages) {
  const Catalogue catalogue({.pages = 12, .rowsPerPage = 30});
  struct Case {
    const char* target;
    int status;
    const char* holds;  // a text the body must hold
  };
  for (const Case& c : {
           Case{"/", 200, "<div class=\"total\">"},
           Case{"/index.php", 200, "<div class=\"total\">"},
           Case{"/index.php?page=1", 200, "第1页"},
           Case{"/index.php?page=12", 200, "第12页"},
           Case{"http://127.0.0.1:8765/index.php?page=2", 200, "第2页"},
           Case{"/index.php?page=0", 404, "404"},
           Case{"/index.php?page=13", 404, "404"},
           Case{"/index.php?page=abc", 404, "404"},
           Case{"/index.php?page=", 404, "404"},
           Case{"/index.php?keyword=%41%56&page=99", 404, "404"},
           Case{"/index.php?keyword=%41%56&page=x", 404, "404"},
           Case{"/other.php?page=1", 404, "404"},
           Case{"/code/100000.html", 404, "404"},
           Case{"/index.php?keyword=zzzz", 200, kNoResultsMarker.data()},
           Case{"/index.php?keyword=", 200, kNoResultsMarker.data()},
           Case{"/index.php?keyword=zzzz&page=7", 200, kNoResultsMarker.data()},
           Case{"/index.php?keyword=%FF", 200, kNoResultsMarker.data()},
       }) {
    const SiteResponse response = RespondToTarget(catalogue, c.target);
    EXPECT_EQ(response.status, c.status) << c.target;
    EXPECT_NE(response.body.find(c.holds), std::string::npos) << c.target;
  }
}

// The word comes back inside the page; it must not become markup or break a
// line that a pattern reads.
TEST(DemoSitePages, EchoedSearchWordIsEscaped) {
  const Catalogue catalogue({.pages = 2, .rowsPerPage = 5});
  const SiteResponse response =
      RespondToTarget(catalogue, "/index.php?keyword=%3Cscript%3E%22%0D%0A");
  ASSERT_NE(response.body.find(kNoResultsMarker), std::string::npos);
  EXPECT_EQ(response.body.find("<script>"), std::string::npos);
  EXPECT_NE(response.body.find("&lt;script&gt;&quot;&#13;&#10;"), std::string::npos);
}

// The front page's reader decodes it from UTF-8 itself, after the fetch; had
// the fetch already decoded it (a "utf-8" in the response headers or early
// in the body), its Chinese text would be decoded twice and lost. Every
// other page must be recognised as UTF-8 by the fetch.
TEST(DemoSitePages, OnlyTheFrontPageIsNotMarkedAsUtf8) {
  const Catalogue catalogue;
  const SiteResponse front = RespondToTarget(catalogue, "/");
  EXPECT_EQ(AsciiLowered(std::string(front.contentType)).find("utf-8"), std::string::npos);
  EXPECT_EQ(AsciiLowered(front.body).find("utf-8"), std::string::npos);

  for (const char* target : {"/index.php?page=1", "/index.php?keyword=%41%56",
                             "/index.php?keyword=%41%56&page=2", "/index.php?keyword=zzzz"}) {
    const SiteResponse page = RespondToTarget(catalogue, target);
    EXPECT_NE(std::string(page.contentType).find("charset=utf-8"), std::string::npos) << target;
  }
}

TEST(DemoSiteCatalogue, RowsAreReproducibleAndWellFormed) {
  const Catalogue catalogue({.pages = 5, .rowsPerPage = 30});
  const Catalogue again({.pages = 5, .rowsPerPage = 30});
  ASSERT_EQ(catalogue.Rows().size(), 150u);
  const std::regex size(R"(\d+ MB|\d+\.\d\d GB)");
  const std::regex code("[a-z0-9]{4}");
  const std::regex date(R"(20\d\d-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]))");
  for (std::size_t i = 0; i < catalogue.Rows().size(); ++i) {
    const CatalogueRow& row = catalogue.Rows()[i];
    EXPECT_EQ(RowGroups(row), RowGroups(again.Rows()[i]));
    EXPECT_TRUE(std::regex_match(row.size, size)) << row.size;
    EXPECT_TRUE(std::regex_match(row.giftCode, code)) << row.giftCode;
    EXPECT_TRUE(std::regex_match(row.date, date)) << row.date;
    EXPECT_EQ(row.name.find_first_of("<>&\"\r\n"), std::string::npos) << row.name;
  }
  EXPECT_EQ(catalogue.Rows().front().date, "2026-11-03");
  EXPECT_EQ(catalogue.PageRows(2).front().name, catalogue.Rows()[30].name);
  EXPECT_TRUE(catalogue.PageRows(6).empty());
}

}  // namespace
}  // namespace tessaly::demo
