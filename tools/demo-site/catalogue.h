// The demo site's sample directory: a fixed, reproducible list of resources
// split into catalogue pages, and the keyword search over their names.
// Every text is UTF-8, as the site sends it.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::demo {

struct CatalogueRow {
  std::string pageName;  // the resource's page, linked as "/" + pageName + ".html"
  std::string name;
  std::string size;      // "1.25 GB", "700 MB"
  std::string giftCode;  // four lower-case letters and digits
  std::string date;      // "2026-11-03"
};

struct CatalogueShape {
  int pages = 36;
  int rowsPerPage = 30;
};

// Keyword pages list this many results each, whatever the catalogue's shape.
inline constexpr int kResultsPerKeywordPage = 30;

class Catalogue {
 public:
  // Both counts are clamped to at least 1. The same shape always gives the
  // same rows.
  explicit Catalogue(CatalogueShape shape = {});

  int PageCount() const { return pageCount_; }
  int RowsPerPage() const { return rowsPerPage_; }
  const std::vector<CatalogueRow>& Rows() const { return rows_; }

  // Rows of catalogue page `page` (1-based), newest first; empty when there
  // is no such page.
  std::span<const CatalogueRow> PageRows(int page) const;

  // Every row whose name holds `word`, ASCII letters matching in either
  // case, in catalogue order. An empty word finds nothing.
  std::vector<CatalogueRow> Search(std::string_view word) const;

 private:
  int pageCount_;
  int rowsPerPage_;
  std::vector<CatalogueRow> rows_;
};

// Result pages needed for `resultCount` keyword results (0 for none).
int KeywordPageCount(std::size_t resultCount);

// Byte offset of the first occurrence of `word` in `text` at or after
// `from`, ASCII letters matching in either case; npos when there is none.
// Both are UTF-8, so a match always starts and ends on a character boundary.
std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view word,
                                  std::size_t from = 0);

}  // namespace tessaly::demo
