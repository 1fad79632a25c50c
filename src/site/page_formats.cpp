#include "site/page_formats.h"

#include <string>

#include "text/codepage.h"
#include "text/url_encode.h"

namespace tessaly::site {
namespace {

std::string Spaces(std::size_t n) {
  return std::string(n, ' ');
}

}  // namespace

Text FrontPageUrl(const Text& baseUrl) {
  return baseUrl;
}

Text CataloguePageUrl(const Text& baseUrl, int page) {
  return TxJoin(baseUrl, "index.php?page=", TxFromInt(page));
}

Text EncodeKeyword(const Text& keyword) {
  return UrlEncode(GbkTextToUtf8(keyword));
}

Text KeywordPageUrl(const Text& baseUrl, const Text& encodedKeyword) {
  return TxJoin(baseUrl, "index.php?keyword=", encodedKeyword);
}

Text KeywordPageUrl(const Text& baseUrl, const Text& encodedKeyword, int page) {
  return TxJoin(KeywordPageUrl(baseUrl, encodedKeyword), "&page=", TxFromInt(page));
}

const Text& NoResultsMarker() {
  static const Text marker = Gbk("没有找到结果。请尝试搜索更短的词语，电影 电视剧 高清 等词语");
  return marker;
}

const Text& NextPageMarker() {
  static const Text marker = Gbk("下一页");
  return marker;
}

const Text& HeaderSpanOpen() {
  static const Text open("<span>");
  return open;
}

const Text& SpanClose() {
  static const Text close("</span>");
  return close;
}

const Text& HighlightOpen() {
  static const Text open("<span style='color:red'>");
  return open;
}

// The patterns hold the site's CR LF line ends and its indentation runs
// literally; a lost space or line break makes a pattern match nothing.

const Text& TotalsPattern() {
  static const Text pattern =
      Gbk("<div class=\"total\"><strong>(.*?)<span class=\"STYLE2\">(.*?)</span>(.*?)"
          "<span class=\"STYLE2\">(.*?)</span>(.*?)</strong></div>\r");
  return pattern;
}

const Text& PagerPattern() {
  static const Text pattern =
      Gbk("<a href *= *['\"]*(\\S+)[\"'].*\\>(.*?)</a>\r\n" + Spaces(52) +
          "<a href *= *['\"]*(\\S+)[\"'].*\\>下一页</a>" + Spaces(12) + "</div>\r");
  return pattern;
}

const Text& HeaderPattern() {
  static const Text pattern = Gbk("<th style=\"text-align:left;width:365px;\">(.*?)</th>\r");
  return pattern;
}

const Text& RowPattern() {
  static const Text pattern =
      Gbk("<td><a target=\"_blank\" href=\"/(.*?).html\">(.*?)</a></td>\r\n" + Spaces(20) +
          "<td style=\"text-align:center;\">(.*?)</td>\r\n" + Spaces(20) +
          "<td style=\"color:red;\">(.*?)</td>\r\n" + Spaces(20) +
          "<td style=\"text-align:right;color:green;\"><span class=\"date\">(.*?)</span></td>");
  return pattern;
}

}  // namespace tessaly::site
