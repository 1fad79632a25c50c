// What the program expects of the gift-code directory site: its addresses,
// the marker texts it looks for and the four patterns that read its pages.
// All texts are GBK; the patterns hold CR and LF themselves, matching the
// site's CR LF line ends.
#pragma once

#include "text/text.h"

namespace tessaly::site {

// baseUrl: the site's root, ending in "/".
Text FrontPageUrl(const Text& baseUrl);
Text CataloguePageUrl(const Text& baseUrl, int page);
// keyword: the search word in GBK; it goes out as its UTF-8 bytes, every one
// percent-encoded.
Text EncodeKeyword(const Text& keyword);
Text KeywordPageUrl(const Text& baseUrl, const Text& encodedKeyword);
Text KeywordPageUrl(const Text& baseUrl, const Text& encodedKeyword, int page);

const Text& NoResultsMarker();  // "没有找到结果。请尝试搜索更短的词语，电影 电视剧 高清 等词语"
const Text& NextPageMarker();   // "下一页"

// Removed from the header cell's text on keyword pages.
const Text& HeaderSpanOpen();   // "<span>"
const Text& SpanClose();        // "</span>"
// Removed from resource names on keyword pages.
const Text& HighlightOpen();    // "<span style='color:red'>"

const Text& TotalsPattern();    // groups 1-5: the totals line in pieces
const Text& PagerPattern();     // group 2: the last page number
const Text& HeaderPattern();    // group 1: the results table's header title
const Text& RowPattern();       // groups 2-5: name, size, gift code, date

}  // namespace tessaly::site
