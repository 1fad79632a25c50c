// The row pattern over a page, the whole way a job takes it: the GBK page to
// UTF-16, the match, every group's text back to GBK.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "demo-site/catalogue.h"
#include "demo-site/site_pages.h"
#include "measures.h"
#include "regex/regex_object.h"
#include "site/page_formats.h"
#include "text/codepage.h"

namespace tessaly::bench {
namespace {

constexpr int kSamples = 15;
// Passes in one sample are chosen so that a sample lasts at least this long.
constexpr double kMinSampleSeconds = 0.02;
constexpr std::size_t kBigPageBytes = 1 << 20;

struct PageCase {
  std::string name;
  std::string utf8;
};

std::string CataloguePage(int rows) {
  return demo::RenderCataloguePage(demo::Catalogue({.pages = 1, .rowsPerPage = rows}), 1);
}

// A catalogue page of 30 rows, as the site serves it, and one of as many
// rows as make 1 MB.
std::vector<PageCase> PageCases() {
  const std::string typical = CataloguePage(30);
  const std::size_t perRow = (CataloguePage(60).size() - typical.size()) / 30;
  const std::size_t frame = typical.size() - 30 * perRow;
  const int bigRows = static_cast<int>((kBigPageBytes - frame) / perRow);
  return {{"typical", typical}, {"1mb", CataloguePage(bigRows)}};
}

// One pass: returns the bytes of every group text so that none is skipped.
std::size_t ParseOnce(RegexObject& regex, const Text& page, int& matches) {
  regex.RunPattern(site::RowPattern(), page);
  matches = regex.MatchCount();
  std::size_t bytes = 0;
  for (int match = 1; match <= matches; ++match) {
    for (int group = 1; group <= 5; ++group)
      bytes += regex.SubMatchText(match, group).bytes().size();
  }
  return bytes;
}

}  // namespace

int MeasureParsing(const std::string& directory) {
  for (const PageCase& page : PageCases()) {
    const std::string path = directory + "/" + page.name + ".html";
    std::ofstream(path, std::ios::binary) << page.utf8;
    // FetchPage hands the job the page already in GBK.
    const Text gbk = Utf8TextToGbk(Text(page.utf8));
    RegexObject regex;
    int matches = 0;
    std::size_t checksum = ParseOnce(regex, gbk, matches);  // also warms the JIT

    int passes = 1;
    for (;;) {
      const Clock::time_point start = Clock::now();
      for (int i = 0; i < passes; ++i) checksum += ParseOnce(regex, gbk, matches);
      if (SecondsBetween(start, Clock::now()) >= kMinSampleSeconds) break;
      passes *= 2;
    }
    std::vector<double> perPass;
    for (int sample = 0; sample < kSamples; ++sample) {
      const Clock::time_point start = Clock::now();
      for (int i = 0; i < passes; ++i) checksum += ParseOnce(regex, gbk, matches);
      perPass.push_back(SecondsBetween(start, Clock::now()) / passes);
    }
    Record("parse")
        .Add("page", page.name)
        .Add("path", path)
        .Add("bytes", static_cast<long long>(page.utf8.size()))
        .Add("matches", static_cast<long long>(matches))
        .Add("seconds", Median(perPass))
        .Add("samples", perPass)
        .Add("checksum", static_cast<long long>(checksum))
        .Print();
  }
  return 0;
}

}  // namespace tessaly::bench
