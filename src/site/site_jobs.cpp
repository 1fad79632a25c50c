#include "site/site_jobs.h"

#include "http/page_fetch.h"
#include "regex/regex_object.h"
#include "site/page_formats.h"
#include "text/codepage.h"

namespace tessaly::site {
namespace {

Text RemoveAll(const Text& text, const Text& piece) { return TxReplace(text, piece, Text()); }

// Lists every match of the row pattern's last run, in match order. Keyword
// pages mark the search word in the names; that markup is removed there.
// False when the job was stopped at one of the rows' yield points.
bool ListRowMatches(JobContext& job, const RegexObject& rows, bool removeHighlight) {
  WindowOperations& window = job.Window();
  const int count = rows.MatchCount();
  for (int j = 1; j <= count; ++j) {
    if (!job.YieldToUi()) return false;
    const int row = window.ListInsertRow();
    Text name = rows.SubMatchText(j, 2);
    if (removeHighlight) name = RemoveAll(RemoveAll(name, HighlightOpen()), SpanClose());
    window.ListSetCell(row, 0, name);
    window.ListSetCell(row, 1, rows.SubMatchText(j, 3));
    window.ListSetCell(row, 2, rows.SubMatchText(j, 4));
    window.ListSetCell(row, 3, rows.SubMatchText(j, 5));
  }
  return true;
}

bool ListRowsOfPage(JobContext& job, RegexObject& regex, const Text& page, bool removeHighlight) {
  regex.RunPattern(RowPattern(), page);
  return ListRowMatches(job, regex, removeHighlight);
}

}  // namespace

void LoadSiteSummary(JobContext& job, const Text& baseUrl) {
  // The totals matches are read while the pager pattern runs over the same
  // page, so each gets an object of its own.
  RegexObject totals;
  RegexObject pager;
  if (!job.TakeBusyLock()) return;
  WindowOperations& window = job.Window();

  // The front page is UTF-8. A page FetchPage already recognised and
  // converted must not be converted a second time: that would garble the
  // totals line and lose the page count.
  bool convertedByFetch = false;
  Text page = FetchPage(FrontPageUrl(baseUrl), &convertedByFetch);
  if (!convertedByFetch) page = Utf8TextToGbk(page);

  totals.RunPattern(TotalsPattern(), page);
  const int count = totals.MatchCount();
  for (int i = 1; i <= count; ++i) {
    if (!job.YieldToUi()) return;
    window.StatusSetPanel(0, TxJoin(totals.SubMatchText(i, 1), totals.SubMatchText(i, 2),
                                    totals.SubMatchText(i, 3), totals.SubMatchText(i, 4),
                                    totals.SubMatchText(i, 5)));
    if (i == 1) pager.RunPattern(PagerPattern(), page);  // same page, same matches every pass
    window.StatusSetPanel(2, pager.SubMatchText(i, 2));
  }

  window.SetControlEnabled(JobButton::Search, true);
  window.SetControlEnabled(JobButton::Crawl, true);
  job.ReleaseBusyLock();
}

void CrawlCatalogue(JobContext& job, const Text& baseUrl) {
  RegexObject regex;
  if (!job.TakeBusyLock()) return;
  WindowOperations& window = job.Window();

  window.SetControlEnabled(JobButton::Crawl, false);
  window.ListClear();
  const int pageCount = TxToInt(window.StatusGetPanel(2));
  window.StatusSetPanel(4, TxFromInt(pageCount));

  for (int i = 1; i <= pageCount; ++i) {
    if (!job.YieldToUi()) return;
    const Text page = FetchPage(CataloguePageUrl(baseUrl, i));
    regex.RunPattern(HeaderPattern(), page);
    window.ListSetHeader(0, regex.SubMatchText(1, 1));
    if (!ListRowsOfPage(job, regex, page, /*removeHighlight=*/false)) return;
  }

  window.SetControlEnabled(JobButton::Crawl, true);
  job.ReleaseBusyLock();
}

void SearchKeyword(JobContext& job, const Text& baseUrl) {
  RegexObject regex;
  if (!job.TakeBusyLock()) return;
  WindowOperations& window = job.Window();

  window.SetControlEnabled(JobButton::Search, false);
  window.ListClear();
  // The word is read once: a word typed while the search runs must not mix
  // the results of two words under one title.
  const Text word = window.EditGetText();
  const Text encodedWord = EncodeKeyword(word);
  const Text firstPage = FetchPage(KeywordPageUrl(baseUrl, encodedWord));

  if (TxFind(firstPage, NoResultsMarker()) != kNotFound) {
    window.ListSetHeader(0, word + Gbk("没有找到资源！"));
    // Panel 2 holds the site's page count for the crawl; this search's page
    // count goes to panel 4.
    window.StatusSetPanel(4, "0");
    window.ShowMessage(Gbk("没有找到资源。请尝试搜索更短的词语，电影 电视剧 高清 等词语"),
                       Gbk("警告！"));
  } else {
    regex.RunPattern(HeaderPattern(), firstPage);
    const int headerCount = regex.MatchCount();
    for (int i = 1; i <= headerCount; ++i) {
      window.ListSetHeader(0, RemoveAll(RemoveAll(regex.SubMatchText(i, 1), HeaderSpanOpen()),
                                        SpanClose()));
    }

    // One page unless the page links to a next one. A "下一页" without a
    // pager the pattern can read still leaves this page's results worth
    // listing, so it is read as a single page too.
    bool singlePage = TxFind(firstPage, NextPageMarker()) == kNotFound;
    int resultPages = 0;
    if (!singlePage) {
      regex.RunPattern(PagerPattern(), firstPage);
      const int pagerCount = regex.MatchCount();
      for (int j = 1; j <= pagerCount; ++j) {
        if (!job.YieldToUi()) return;
        const Text lastPage = regex.SubMatchText(j, 2);
        window.StatusSetPanel(4, lastPage);
        resultPages = TxToInt(lastPage);
      }
      singlePage = pagerCount == 0;
    }

    if (singlePage) {
      window.StatusSetPanel(4, "1");
      if (!ListRowsOfPage(job, regex, firstPage, /*removeHighlight=*/true)) return;
    } else {
      for (int k = 1; k <= resultPages; ++k) {
        if (!job.YieldToUi()) return;
        const Text page = FetchPage(KeywordPageUrl(baseUrl, encodedWord, k));
        if (!ListRowsOfPage(job, regex, page, /*removeHighlight=*/true)) return;
      }
    }
    window.ShowMessage(Gbk("搜索完成！"), Gbk("提示！"));
  }

  // A stop while the message was open closed it: the button stays as it is.
  if (job.StopRequested()) return;
  window.SetControlEnabled(JobButton::Search, true);
  job.ReleaseBusyLock();
}

JobRoutines SiteJobRoutines(const Text& baseUrl) {
  return JobRoutines{
      .loadSiteSummary = [baseUrl](JobContext& job) { LoadSiteSummary(job, baseUrl); },
      .crawlCatalogue = [baseUrl](JobContext& job) { CrawlCatalogue(job, baseUrl); },
      .searchKeyword = [baseUrl](JobContext& job) { SearchKeyword(job, baseUrl); },
  };
}

}  // namespace tessaly::site
