#include "demo-site/site_pages.h"

#include <algorithm>
#include <vector>

namespace tessaly::demo {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kSiteTitle = "礼包码资源站";
// The pager's two lines are indented exactly so; its readers depend on it.
constexpr std::size_t kPagerIndent = 52;
constexpr std::size_t kPagerCloseIndent = 12;
// Every line of a result row is indented by 20 spaces.
constexpr std::size_t kRowIndent = 20;

void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += kCrLf;
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default: {
        const auto byte = static_cast<unsigned char>(c);
        // Control characters would break the line structure the patterns rely on.
        if (byte < 0x20 || byte == 0x7F) {
          out += "&#" + std::to_string(byte) + ";";
        } else {
          out += c;
        }
      }
    }
  }
  return out;
}

std::string EncodeQueryValue(std::string_view text) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                            c == '~';
    if (unreserved) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

void AppendHead(std::string& out, std::string_view title, bool declareUtf8) {
  AppendLine(out, "<!DOCTYPE html>");
  AppendLine(out, "<html>");
  AppendLine(out, "<head>");
  if (declareUtf8) {
    AppendLine(out, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">");
  }
  AppendLine(out, "<title>" + std::string(title) + "</title>");
  AppendLine(out, "</head>");
  AppendLine(out, "<body>");
  AppendLine(out, "<div class=\"main\">");
}

void AppendSearchForm(std::string& out, std::string_view escapedWord) {
  AppendLine(out,
             "    <div class=\"search\"><form action=\"index.php\" method=\"get\">"
             "<input type=\"text\" name=\"keyword\" value=\"" +
                 std::string(escapedWord) +
                 "\"><input type=\"submit\" value=\"搜索礼包\"></form></div>");
}

void AppendTail(std::string& out) {
  AppendLine(out, "</div>");
  AppendLine(out, "</body>");
  AppendLine(out, "</html>");
}

void AppendTableStart(std::string& out, std::string_view headerTitle) {
  AppendLine(out, "    <table class=\"list\">");
  AppendLine(out, "        <tr>");
  AppendLine(out, "            <th style=\"text-align:left;width:365px;\">" +
                      std::string(headerTitle) + "</th>");
  AppendLine(out, "            <th style=\"text-align:center;\">大小</th>");
  AppendLine(out, "            <th>礼包码</th>");
  AppendLine(out, "            <th style=\"text-align:right;\">更新时间</th>");
  AppendLine(out, "        </tr>");
}

void AppendRow(std::string& out, const CatalogueRow& row, std::string_view name) {
  AppendLine(out, "        <tr>");
  out += RenderRowLines(row, name);
  out += kCrLf;
  AppendLine(out, "        </tr>");
}

void AppendTableEnd(std::string& out) {
  AppendLine(out, "    </table>");
}

// The pager: a line of page links whose last link is the last page, then a
// line holding only the next-page link and the closing tag. `current` 0 is
// the front page, where every number is a link and the next-page link is
// always there (even for a one-page site), so the last page can be read from
// it.
void AppendPager(std::string& out, int current, int last, std::string_view hrefPrefix) {
  auto link = [&](int page, std::string_view text) {
    return "<a href=\"" + std::string(hrefPrefix) + std::to_string(page) + "\">" +
           std::string(text) + "</a>";
  };
  const bool front = current == 0;
  const int shownCurrent = front ? 1 : current;
  std::vector<std::string> items;
  if (shownCurrent > 1) {
    items.push_back(link(1, "首页"));
    items.push_back(link(shownCurrent - 1, "上一页"));
  }
  const int first = std::max(1, shownCurrent - 2);
  const int windowEnd = std::min(last, front ? 5 : shownCurrent + 2);
  for (int page = first; page <= windowEnd; ++page) {
    const std::string number = std::to_string(page);
    items.push_back(page == current ? "<strong>" + number + "</strong>" : link(page, number));
  }
  if (windowEnd < last) {
    if (windowEnd < last - 1) items.push_back("...");
    items.push_back(link(last, std::to_string(last)));
  }

  AppendLine(out, "    <div class=\"pager\">");
  std::string numbers(kPagerIndent, ' ');
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) numbers += ' ';
    numbers += items[i];
  }
  AppendLine(out, numbers);
  const bool hasNext = front || current < last;
  std::string closing;
  if (hasNext) {
    closing.assign(kPagerIndent, ' ');
    closing += link(std::min(shownCurrent + 1, last), "下一页");
  }
  closing.append(kPagerCloseIndent, ' ');
  closing += "</div>";
  AppendLine(out, closing);
}

std::string RenderResultsPage(std::string_view title, std::string_view searchWord,
                              std::string_view headerTitle, std::span<const CatalogueRow> rows,
                              std::string_view highlight, int current, int last,
                              std::string_view hrefPrefix) {
  std::string out;
  out.reserve(2048 + rows.size() * 420);
  AppendHead(out, title, true);
  AppendSearchForm(out, EscapeHtml(searchWord));
  AppendTableStart(out, headerTitle);
  for (const CatalogueRow& row : rows) {
    if (highlight.empty()) {
      AppendRow(out, row, row.name);
    } else {
      AppendRow(out, row, HighlightWord(row.name, highlight));
    }
  }
  AppendTableEnd(out);
  AppendPager(out, current, last, hrefPrefix);
  AppendTail(out);
  return out;
}

std::string KeywordPage(const std::vector<CatalogueRow>& results, std::string_view word, int page) {
  const int last = KeywordPageCount(results.size());
  const std::size_t begin = static_cast<std::size_t>(page - 1) * kResultsPerKeywordPage;
  const std::size_t end = std::min(results.size(), begin + kResultsPerKeywordPage);
  const std::span<const CatalogueRow> rows =
      std::span<const CatalogueRow>(results).subspan(begin, end - begin);
  const std::string escapedWord = EscapeHtml(word);
  const std::string title = escapedWord + " - " + std::string(kSiteTitle);
  const std::string header = "<span>" + escapedWord + "</span>" + std::string(kKeywordHeaderSuffix);
  const std::string hrefPrefix = "index.php?keyword=" + EncodeQueryValue(word) + "&page=";
  return RenderResultsPage(title, word, header, rows, word, page, last, hrefPrefix);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Length of the valid UTF-8 sequence at the start of `bytes`, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view bytes) {
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return length;
}

struct QueryField {
  std::string_view name;
  std::string_view value;
};

std::vector<QueryField> SplitQuery(std::string_view query) {
  std::vector<QueryField> fields;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (piece.empty()) continue;
    const std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos) {
      fields.push_back({piece, {}});
    } else {
      fields.push_back({piece.substr(0, equals), piece.substr(equals + 1)});
    }
  }
  return fields;
}

// The first field of that name; repeats are ignored.
const QueryField* FindField(const std::vector<QueryField>& fields, std::string_view name) {
  const auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const QueryField& field) { return field.name == name; });
  return it == fields.end() ? nullptr : &*it;
}

SiteResponse NotFound() {
  return SiteResponse{404, "Not Found", kUtf8Html, RenderNotFoundPage()};
}

SiteResponse Found(std::string body) {
  return SiteResponse{200, "OK", kUtf8Html, std::move(body)};
}

std::string_view StripAbsoluteForm(std::string_view target) {
  constexpr std::string_view kScheme = "http://";
  if (target.size() < kScheme.size()) return target;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    const char c = target[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != kScheme[i]) return target;
  }
  const std::size_t pathStart = target.find_first_of("/?", kScheme.size());
  if (pathStart == std::string_view::npos) return "/";
  return target.substr(pathStart);  // may start with "?": an empty path reads as "/"
}

}  // namespace

std::string RenderRowLines(const CatalogueRow& row, std::string_view name) {
  const std::string indent(kRowIndent, ' ');
  std::string out;
  out.reserve(300 + name.size());
  out += indent;
  out += "<td><a target=\"_blank\" href=\"/" + row.pageName + ".html\">";
  out += name;
  out += "</a></td>\r\n";
  out += indent + "<td style=\"text-align:center;\">" + row.size + "</td>\r\n";
  out += indent + "<td style=\"color:red;\">" + row.giftCode + "</td>\r\n";
  out += indent + "<td style=\"text-align:right;color:green;\"><span class=\"date\">" + row.date +
         "</span></td>";
  return out;
}

std::string HighlightWord(std::string_view name, std::string_view word) {
  std::string out;
  std::size_t done = 0;
  for (;;) {
    const std::size_t hit = FindIgnoringAsciiCase(name, word, done);
    if (hit == std::string_view::npos) break;
    out += name.substr(done, hit - done);
    out += kHighlightOpen;
    out += name.substr(hit, word.size());
    out += kHighlightClose;
    done = hit + word.size();
  }
  out += name.substr(done);
  return out;
}

std::string RenderFrontPage(const Catalogue& catalogue) {
  const std::string resources = std::to_string(catalogue.Rows().size());
  std::string out;
  out.reserve(2048 + static_cast<std::size_t>(catalogue.RowsPerPage()) * 420);
  AppendHead(out, kSiteTitle, false);
  AppendLine(out, "<div class=\"total\"><strong>共有<span class=\"STYLE2\">" + resources +
                      "</span>个资源，<span class=\"STYLE2\">" + resources +
                      "</span>个礼包码</strong></div>");
  AppendSearchForm(out, "");
  AppendTableStart(out, "最新资源");
  for (const CatalogueRow& row : catalogue.PageRows(1)) AppendRow(out, row, row.name);
  AppendTableEnd(out);
  AppendPager(out, 0, catalogue.PageCount(), "index.php?page=");
  AppendTail(out);
  return out;
}

std::string RenderCataloguePage(const Catalogue& catalogue, int page) {
  const std::string title = "第" + std::to_string(page) + "页 - " + std::string(kSiteTitle);
  return RenderResultsPage(title, "", "最新资源", catalogue.PageRows(page), "", page,
                           catalogue.PageCount(), "index.php?page=");
}

std::string RenderKeywordPage(const Catalogue& catalogue, std::string_view word, int page) {
  const std::vector<CatalogueRow> results = catalogue.Search(word);
  if (results.empty()) return RenderNoResultsPage(word);
  return KeywordPage(results, word, std::clamp(page, 1, KeywordPageCount(results.size())));
}

std::string RenderNoResultsPage(std::string_view word) {
  const std::string escapedWord = EscapeHtml(word);
  std::string out;
  AppendHead(out, escapedWord + " - " + std::string(kSiteTitle), true);
  AppendSearchForm(out, escapedWord);
  AppendLine(out, "    <div class=\"empty\">" + std::string(kNoResultsMarker) + "</div>");
  AppendTail(out);
  return out;
}

std::string RenderNotFoundPage() {
  std::string out;
  AppendHead(out, "404 Not Found", true);
  AppendLine(out, "    <h1>404 Not Found</h1>");
  AppendTail(out);
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
               HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string RepairUtf8(std::string_view bytes) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t length = Utf8SequenceLength(bytes);
    if (length == 0) {
      out += kReplacement;
      bytes.remove_prefix(1);
    } else {
      out += bytes.substr(0, length);
      bytes.remove_prefix(length);
    }
  }
  return out;
}

std::optional<int> ParsePageNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1) return std::nullopt;
  return value;
}

SiteResponse RespondToTarget(const Catalogue& catalogue, std::string_view target) {
  target = StripAbsoluteForm(target);
  const std::size_t questionMark = target.find('?');
  std::string_view path = target.substr(0, questionMark);
  const std::string_view query =
      questionMark == std::string_view::npos ? std::string_view() : target.substr(questionMark + 1);
  if (path.empty()) path = "/";
  if (path != "/" && path != "/index.php") return NotFound();

  const std::vector<QueryField> fields = SplitQuery(query);
  const QueryField* keyword = FindField(fields, "keyword");
  const QueryField* page = FindField(fields, "page");
  std::optional<int> pageNumber = 1;
  if (page != nullptr) pageNumber = ParsePageNumber(page->value);

  if (keyword != nullptr) {
    const std::string word = RepairUtf8(PercentDecode(keyword->value));
    const std::vector<CatalogueRow> results = catalogue.Search(word);
    if (results.empty()) return Found(RenderNoResultsPage(word));
    if (!pageNumber || *pageNumber > KeywordPageCount(results.size())) return NotFound();
    return Found(KeywordPage(results, word, *pageNumber));
  }
  if (page != nullptr) {
    if (!pageNumber || *pageNumber > catalogue.PageCount()) return NotFound();
    return Found(RenderCataloguePage(catalogue, *pageNumber));
  }
  return SiteResponse{200, "OK", kPlainHtml, RenderFrontPage(catalogue)};
}

}  // namespace tessaly::demo
