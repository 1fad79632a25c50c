// The demo site's pages in the gift-code directory's own markup: CR LF line
// ends, the totals block, the results table's header cell and rows, the
// pager, keyword highlighting and the no-results page. All UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "demo-site/catalogue.h"

namespace tessaly::demo {

// The marker text of a keyword page that found nothing.
inline constexpr std::string_view kNoResultsMarker =
    "没有找到结果。请尝试搜索更短的词语，电影 电视剧 高清 等词语";
inline constexpr std::string_view kHighlightOpen = "<span style='color:red'>";
inline constexpr std::string_view kHighlightClose = "</span>";
// Follows the search word in a keyword page's header cell.
inline constexpr std::string_view kKeywordHeaderSuffix = "的搜索结果";

// Content types. The front page names no character set on purpose: its
// reader decodes it from UTF-8 itself, and a client that had already decoded
// it would decode it twice.
inline constexpr std::string_view kUtf8Html = "text/html; charset=utf-8";
inline constexpr std::string_view kPlainHtml = "text/html";

std::string RenderFrontPage(const Catalogue& catalogue);
// page: 1..PageCount().
std::string RenderCataloguePage(const Catalogue& catalogue, int page);
// word: the decoded search word (UTF-8). page: 1..the result page count; a
// word without results gives the no-results page.
std::string RenderKeywordPage(const Catalogue& catalogue, std::string_view word, int page);
std::string RenderNoResultsPage(std::string_view word);
std::string RenderNotFoundPage();

// The result rows' lines as the site writes them, name taken as given.
std::string RenderRowLines(const CatalogueRow& row, std::string_view name);

// name with every occurrence of word (ASCII letters in either case) wrapped in
// kHighlightOpen ... kHighlightClose.
std::string HighlightWord(std::string_view name, std::string_view word);

// Query-string decoding: "%XX" becomes its byte, "+" a space; a "%" without
// two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);
// Bytes that are not UTF-8 each become U+FFFD, so what the site echoes is
// always valid UTF-8.
std::string RepairUtf8(std::string_view bytes);
// A page number: 1 to 9 decimal digits, value at least 1.
std::optional<int> ParsePageNumber(std::string_view text);

struct SiteResponse {
  int status = 200;
  std::string_view reason = "OK";
  std::string_view contentType = kUtf8Html;
  std::string body;
};

// The page for a request target ("/", "/index.php?page=3",
// "/index.php?keyword=%41%56&page=2", or an absolute "http://host/..." form).
// Anything else, and page numbers out of range, give 404.
SiteResponse RespondToTarget(const Catalogue& catalogue, std::string_view target);

}  // namespace tessaly::demo
