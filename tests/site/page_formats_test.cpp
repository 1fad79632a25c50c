#include "site/page_formats.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "regex/match_bounds.h"
#include "regex/regex_object.h"
#include "text/codepage.h"

namespace tessaly::site {
namespace {

// Pages are written here in UTF-8, one string per line, and joined with the
// site's CR LF line ends.
std::string Lines(std::initializer_list<std::string> lines) {
  std::string page;
  for (const std::string& line : lines) page += line + "\r\n";
  return page;
}

std::string Spaces(std::size_t n) {
  return std::string(n, ' ');
}

std::string LfOnly(std::string page) {
  std::string out;
  for (char c : page) {
    if (c != '\r') out += c;
  }
  return out;
}

const std::string kTotalsBlock =
    "<div class=\"total\"><strong>本站共收录<span class=\"STYLE2\">12345</span>个资源，"
    "今日更新<span class=\"STYLE2\">67</span>个</strong></div>";

std::string FrontPage() {
  return Lines({
      "<html><body>",
      "<div class=\"nav\"><a href=\"/\">首页</a> <a href='/about'>关于</a></div>",
      kTotalsBlock,
      "<div class=\"pages\">",
      "<a href='index.php?page=1'>1</a> <a href='index.php?page=2'>2</a> "
      "<a href='index.php?page=3'>3</a> <a href='index.php?page=86'>86</a>",
      Spaces(52) + "<a href='index.php?page=2'>下一页</a>" + Spaces(12) + "</div>",
      "</body></html>",
  });
}

std::string HeaderCell(const std::string& title) {
  return "<th style=\"text-align:left;width:365px;\">" + title + "</th>";
}

// One result row as the site indents it.
std::string Row(const std::string& page, const std::string& name, const std::string& size,
                const std::string& code, const std::string& date) {
  return Lines({
             "<tr>",
             Spaces(20) + "<td><a target=\"_blank\" href=\"/" + page + ".html\">" + name +
                 "</a></td>",
             Spaces(20) + "<td style=\"text-align:center;\">" + size + "</td>",
             Spaces(20) + "<td style=\"color:red;\">" + code + "</td>",
             Spaces(20) + "<td style=\"text-align:right;color:green;\"><span class=\"date\">" +
                 date + "</span></td>",
         }) +
         "</tr>\r\n";
}

std::string CataloguePage() {
  return Lines({"<table>", "<tr>", HeaderCell("最新资源"), "</tr>"}) +
         Row("r101", "高清电影合集", "1.5G", "ab12", "2023-05-01") +
         Row("r102", "AV Player 3", "12M", "cd34", "2023-05-02") +
         Row("r103", "纪录片 第2季", "800M", "ef56", "2023-05-03") + "</table>\r\n";
}

std::string KeywordPage() {
  return Lines({"<table>", "<tr>", HeaderCell("<span>AV</span>的搜索结果"), "</tr>"}) +
         Row("r7", "<span style='color:red'>AV</span> Player <span style='color:red'>AV</span>",
             "12M", "cd34", "2023-05-02") +
         "</table>\r\n";
}

// The page as FetchPage hands it over: GBK.
Text Page(const std::string& utf8) {
  return Utf8TextToGbk(Text(utf8));
}

std::vector<Text> Groups(const RegexObject& regex, int match, int count) {
  std::vector<Text> groups;
  for (int g = 1; g <= count; ++g) groups.push_back(regex.SubMatchText(match, g));
  return groups;
}

TEST(PageFormats, textsHaveTheirExactLengthsInGbk) {
  struct Case {
    const char* name;
    const Text& text;
    int bytes;
  };
  const Case cases[] = {
      {"totals", TotalsPattern(), 124},     {"pager", PagerPattern(), 152},
      {"header", HeaderPattern(), 52},      {"row", RowPattern(), 274},
      {"noResults", NoResultsMarker(), 59}, {"nextPage", NextPageMarker(), 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TxLen(c.text), c.bytes);
  }
}

TEST(PageFormats, patternsHoldTheSiteLineBreaksAndIndentation) {
  EXPECT_EQ(TxRight(TotalsPattern(), 7), "</div>\r");
  EXPECT_NE(TxFind(PagerPattern(), TxJoin("</a>\r\n", TxSpaces(52), "<a href")), kNotFound);
  EXPECT_NE(TxFind(PagerPattern(), TxJoin(Gbk("下一页</a>"), TxSpaces(12), "</div>\r")), kNotFound);
  EXPECT_EQ(TxRight(HeaderPattern(), 6), "</th>\r");
  EXPECT_EQ(TxSplit(RowPattern(), TxJoin("</td>\r\n", TxSpaces(20), "<td")).size(), 4u);
}

TEST(PageFormats, addresses) {
  const Text base = "http://127.0.0.1:8765/";
  struct Case {
    const char* name;
    Text url;
    Text expected;
  };
  const Case cases[] = {
      {"frontPage", FrontPageUrl(base), "http://127.0.0.1:8765/"},
      {"cataloguePage", CataloguePageUrl(base, 1), "http://127.0.0.1:8765/index.php?page=1"},
      {"cataloguePageMultiDigit", CataloguePageUrl(base, 120),
       "http://127.0.0.1:8765/index.php?page=120"},
      {"keywordEncodesEveryByte", KeywordPageUrl(base, EncodeKeyword("AV")),
       "http://127.0.0.1:8765/index.php?keyword=%41%56"},
      {"keywordGoesOutAsUtf8", KeywordPageUrl(base, EncodeKeyword(Gbk("电影 1"))),
       "http://127.0.0.1:8765/index.php?keyword=%E7%94%B5%E5%BD%B1%20%31"},
      {"keywordPage", KeywordPageUrl(base, EncodeKeyword("AV"), 3),
       "http://127.0.0.1:8765/index.php?keyword=%41%56&page=3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.url, c.expected);
  }
}

TEST(PageFormats, totalsBlockGivesItsFivePieces) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern(TotalsPattern(), Page(FrontPage())));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(Groups(regex, 1, 5), (std::vector<Text>{Gbk("本站共收录"), "12345",
                                                    Gbk("个资源，今日更新"), "67", Gbk("个")}));
}

TEST(PageFormats, pagerGivesTheLastLinkBeforeTheNextPageLine) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern(PagerPattern(), Page(FrontPage())));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "index.php?page=1");
  EXPECT_EQ(regex.SubMatchText(1, 2), "86");
  EXPECT_EQ(regex.SubMatchText(1, 3), "index.php?page=2");
}

TEST(PageFormats, cataloguePageGivesHeaderAndRows) {
  const Text page = Page(CataloguePage());
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern(HeaderPattern(), page));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), Gbk("最新资源"));

  ASSERT_TRUE(regex.RunPattern(RowPattern(), page));
  ASSERT_EQ(regex.MatchCount(), 3);
  EXPECT_EQ(Groups(regex, 1, 5),
            (std::vector<Text>{"r101", Gbk("高清电影合集"), "1.5G", "ab12", "2023-05-01"}));
  EXPECT_EQ(Groups(regex, 2, 5),
            (std::vector<Text>{"r102", "AV Player 3", "12M", "cd34", "2023-05-02"}));
  EXPECT_EQ(Groups(regex, 3, 5),
            (std::vector<Text>{"r103", Gbk("纪录片 第2季"), "800M", "ef56", "2023-05-03"}));
}

TEST(PageFormats, chineseNamesComeBackAsGbkBytes) {
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern(RowPattern(), Page(Row("r1", "中文名", "1G", "x", "2023-01-01"))));
  EXPECT_EQ(regex.SubMatchText(1, 2), Text("\xD6\xD0\xCE\xC4\xC3\xFB"));
}

TEST(PageFormats, keywordPageMarkupIsRemovedWithTheSiteTexts) {
  const Text page = Page(KeywordPage());
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern(HeaderPattern(), page));
  const Text header = regex.SubMatchText(1, 1);
  EXPECT_EQ(TxReplace(TxReplace(header, HeaderSpanOpen(), ""), SpanClose(), ""),
            Gbk("AV的搜索结果"));

  ASSERT_TRUE(regex.RunPattern(RowPattern(), page));
  ASSERT_EQ(regex.MatchCount(), 1);
  const Text name = regex.SubMatchText(1, 2);
  EXPECT_EQ(TxReplace(TxReplace(name, HighlightOpen(), ""), SpanClose(), ""), "AV Player AV");
  EXPECT_EQ(regex.SubMatchText(1, 4), "cd34");
}

TEST(PageFormats, markersAreFoundInPages) {
  const Text noResults = Page(Lines(
      {"<div class=\"tips\">没有找到结果。请尝试搜索更短的词语，电影 电视剧 高清 等词语</div>"}));
  EXPECT_NE(TxFind(noResults, NoResultsMarker()), kNotFound);
  EXPECT_EQ(TxFind(Page(CataloguePage()), NoResultsMarker()), kNotFound);
  EXPECT_NE(TxFind(Page(FrontPage()), NextPageMarker()), kNotFound);
  EXPECT_EQ(TxFind(Page(CataloguePage()), NextPageMarker()), kNotFound);
}

TEST(PageFormats, lfOnlyPagesMatchNoPattern) {
  const Text page = Page(LfOnly(FrontPage() + CataloguePage()));
  for (const Text* pattern : {&TotalsPattern(), &PagerPattern(), &HeaderPattern(), &RowPattern()}) {
    RegexObject regex;
    EXPECT_TRUE(regex.RunPattern(*pattern, page));
    EXPECT_EQ(regex.MatchCount(), 0) << pattern->bytes();
  }
}

TEST(PageFormats, upperCaseTagNamesStillMatch) {
  const std::string totals =
      "<DIV CLASS=\"total\"><STRONG>共<SPAN CLASS=\"STYLE2\">9</SPAN>个<Span "
      "class=\"style2\">1</Span>页</STRONG></DIV>";
  RegexObject regex;
  ASSERT_TRUE(regex.RunPattern(TotalsPattern(), Page(Lines({totals}))));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(Groups(regex, 1, 5), (std::vector<Text>{Gbk("共"), "9", Gbk("个"), "1", Gbk("页")}));

  ASSERT_TRUE(regex.RunPattern(HeaderPattern(), Page(Lines({"<TH STYLE=\"text-align:left;"
                                                            "width:365px;\">T</TH>"}))));
  EXPECT_EQ(regex.SubMatchText(1, 1), "T");
}

// Thousands of links on one multi-megabyte line, none closed by "</a>" and a
// line break, after a page's worth of real content. Every pattern must come
// back, with the matches of the content before the line.
TEST(PageFormats, hostileLineEndsEveryPatternWithEarlierMatchesKept) {
  std::string hostile;
  while (hostile.size() < 2'000'000) hostile += "<a href='x'>y</a> <td><a target=\"_blank\" ";
  const Text page = Page(FrontPage() + CataloguePage() + hostile + "\r\n" + FrontPage());
  struct Case {
    const char* name;
    const Text& pattern;
    int matchesBefore;
  };
  const Case cases[] = {
      {"totals", TotalsPattern(), 1},
      {"pager", PagerPattern(), 1},
      {"header", HeaderPattern(), 1},
      {"row", RowPattern(), 3},
  };
  for (bool jit : {true, false}) {
    regex_internal::SetJitEnabledForThisThread(jit);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (jit ? " jit" : " interpreter"));
      RegexObject regex;
      EXPECT_TRUE(regex.RunPattern(c.pattern, page));
      EXPECT_GE(regex.MatchCount(), c.matchesBefore);
    }
  }
  regex_internal::SetJitEnabledForThisThread(true);
}

}  // namespace
}  // namespace tessaly::site
