// The crawl as a user runs it: the real window (offscreen) with the real
// jobs, the click on "获取全部礼包", and the time until the job has ended and
// the window has applied every call it made.
#include <QPushButton>
#include <QTest>
#include <iostream>
#include <string>

#include "bench_support.h"
#include "measures.h"
#include "qt_bench_support.h"
#include "site/site_jobs.h"
#include "text/text.h"
#include "ui/main_window.h"

namespace tessaly::bench {

int MeasureCrawls(const std::string& baseUrl) {
  JobEndSignal jobEnds;
  JobRoutines routines = site::SiteJobRoutines(Text(baseUrl));
  routines.loadSiteSummary = jobEnds.Around(routines.loadSiteSummary);
  routines.crawlCatalogue = jobEnds.Around(routines.crawlCatalogue);

  MainWindow window(routines);
  window.show();
  jobEnds.WaitForEnded(1);
  auto* crawlButton = window.findChild<QPushButton*>(QStringLiteral("按钮2"));
  const int pages = TxToInt(window.StatusGetPanel(2));
  if (crawlButton == nullptr || !crawlButton->isEnabled() || pages <= 0) {
    std::cerr << "tessaly-bench: the site summary did not load from " << baseUrl << "\n";
    return 1;
  }
  Record("crawl-ready").Add("pages", static_cast<long long>(pages)).Print();

  std::string line;
  while (std::getline(std::cin, line)) {
    if (line != "crawl") continue;
    const int endedBefore = jobEnds.Ended();
    const Clock::time_point clicked = Clock::now();
    QTest::mouseClick(crawlButton, Qt::LeftButton);
    jobEnds.WaitForEnded(endedBefore + 1);
    const Clock::time_point ended = Clock::now();
    // The last rows' announcement to the view may trail the job's last call.
    while (window.ListModel().rowCount() != window.ListRowCount())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Record("crawl")
        .Add("seconds", SecondsBetween(clicked, ended))
        .Add("rows", static_cast<long long>(window.ListModel().rowCount()))
        .Add("button_enabled_again", static_cast<long long>(crawlButton->isEnabled()))
        .Print();
  }
  return 0;
}

}  // namespace tessaly::bench
