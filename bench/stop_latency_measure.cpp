// Stop latency: the crawl job inside a page fetch from a server that accepts
// and never answers; the click on "停止"; the time until the job's routine
// has returned.
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <iostream>
#include <vector>

#include "bench_support.h"
#include "hanging_server.h"
#include "measures.h"
#include "qt_bench_support.h"
#include "site/site_jobs.h"
#include "ui/main_window.h"

namespace tessaly::bench {

int MeasureStopLatency(int stops) {
  JobEndSignal jobEnds;
  std::atomic<int> requestsSeen{0};
  HangingServer server([&] {
    requestsSeen.fetch_add(1);
    jobEnds.Wake();
  });
  const Text baseUrl(server.BaseUrl());

  std::atomic<Clock::rep> crawlReturnedAt{0};
  JobRoutines routines;
  // The summary would wait on the silent server too: its stand-in sets the
  // page count the crawl reads and opens the buttons.
  routines.loadSiteSummary = jobEnds.Around([](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    job.Window().StatusSetPanel(2, Text("1"));
    job.Window().SetControlEnabled(JobButton::Search, true);
    job.Window().SetControlEnabled(JobButton::Crawl, true);
  });
  routines.crawlCatalogue = [&, baseUrl](JobContext& job) {
    site::CrawlCatalogue(job, baseUrl);
    crawlReturnedAt.store(Clock::now().time_since_epoch().count());
    jobEnds.JobEnded();
  };

  MainWindow window(routines);
  window.show();
  jobEnds.WaitForEnded(1);
  auto* crawlButton = window.findChild<QPushButton*>(QStringLiteral("按钮2"));
  auto* stopButton = window.findChild<QPushButton*>(QStringLiteral("按钮3"));
  if (crawlButton == nullptr || stopButton == nullptr) return 1;

  std::vector<double> latencies;
  for (int i = 0; i < stops; ++i) {
    QTest::mouseClick(crawlButton, Qt::LeftButton);
    jobEnds.WaitUntil([&] { return requestsSeen.load() > i; });
    const int endedBefore = jobEnds.Ended();
    const Clock::time_point clicked = Clock::now();
    QTest::mouseClick(stopButton, Qt::LeftButton);
    jobEnds.WaitForEnded(endedBefore + 1);
    const Clock::time_point returned{Clock::duration(crawlReturnedAt.load())};
    latencies.push_back(SecondsBetween(clicked, returned));
  }
  Record("stop-latency")
      .Add("stops", static_cast<long long>(latencies.size()))
      .Add("median_seconds", Median(latencies))
      .Add("max_seconds", *std::max_element(latencies.begin(), latencies.end()))
      .Add("samples", latencies)
      .Print();
  return 0;
}

}  // namespace tessaly::bench
