// Rows through the window operations: from a job thread into the real
// window, against the same calls made on the window's own thread; and the
// resident memory a row costs beyond its text.
#include <QCoreApplication>
#include <array>
#include <iostream>
#include <vector>

#include "bench_support.h"
#include "demo-site/catalogue.h"
#include "measures.h"
#include "qt_bench_support.h"
#include "text/codepage.h"
#include "ui/main_window.h"

namespace tessaly::bench {
namespace {

using RowCells = std::array<Text, 4>;

// The demo catalogue's rows in GBK, as the crawl lists them.
std::vector<RowCells> SampleRows(int rows) {
  const int pages = (rows + 29) / 30;
  const demo::Catalogue catalogue({.pages = pages, .rowsPerPage = 30});
  std::vector<RowCells> cells;
  cells.reserve(static_cast<std::size_t>(rows));
  for (const demo::CatalogueRow& row : catalogue.Rows()) {
    if (static_cast<int>(cells.size()) == rows) break;
    cells.push_back({Gbk(row.name), Gbk(row.size), Gbk(row.giftCode), Gbk(row.date)});
  }
  return cells;
}

long long TextBytes(const std::vector<RowCells>& rows) {
  long long bytes = 0;
  for (const RowCells& row : rows) {
    for (const Text& cell : row) bytes += cell.size();
  }
  return bytes;
}

void AddRows(WindowOperations& window, const std::vector<RowCells>& rows) {
  for (const RowCells& cells : rows) {
    const int row = window.ListInsertRow();
    for (int column = 0; column < 4; ++column) {
      window.ListSetCell(row, column, cells[static_cast<std::size_t>(column)]);
    }
  }
}

// Tells the view of every stored row at once, rather than waiting for the
// list's next announcement (see ResourceListModel). Both runs end with it:
// a job's run has the window announce rows while it applies the calls, and
// the direct run would otherwise leave all that work out.
void AnnounceAll(MainWindow& window) {
  window.ListModel().AnnounceAppendedRows();
}

double DirectRun(MainWindow& window, const std::vector<RowCells>& rows) {
  const Clock::time_point start = Clock::now();
  AddRows(window, rows);
  AnnounceAll(window);
  return SecondsBetween(start, Clock::now());
}

double JobRun(MainWindow& window, JobEndSignal& jobEnds, const std::vector<RowCells>& rows) {
  const int endedBefore = jobEnds.Ended();
  const Clock::time_point start = Clock::now();
  window.Workers().StartJob(jobEnds.Around([&rows](JobContext& job) {
    if (job.TakeBusyLock()) AddRows(job.Window(), rows);
  }));
  // Returns once the window has applied every call of the job.
  jobEnds.WaitForEnded(endedBefore + 1);
  AnnounceAll(window);
  return SecondsBetween(start, Clock::now());
}

bool ListHoldsRows(MainWindow& window, const std::vector<RowCells>& rows) {
  if (window.ListModel().rowCount() != static_cast<int>(rows.size())) return false;
  for (const int row : {0, static_cast<int>(rows.size()) - 1}) {
    for (int column = 0; column < 4; ++column) {
      const Text expected = rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
      if (window.ListGetCell(row, column) != expected) return false;
    }
  }
  return true;
}

void ClearList(MainWindow& window) {
  window.ListClear();
  QCoreApplication::processEvents();
}

}  // namespace

int MeasureWindowCalls(int rowCount, int repeats) {
  const std::vector<RowCells> rows = SampleRows(rowCount);
  JobEndSignal jobEnds;
  MainWindow window(JobRoutines{});
  window.show();
  QCoreApplication::processEvents();

  std::vector<double> direct;
  std::vector<double> fromJob;
  bool complete = true;
  for (int i = 0; i < repeats; ++i) {
    // Alternating, so that neither side always runs on a warmer heap.
    for (const bool job : {i % 2 == 0, i % 2 != 0}) {
      ClearList(window);
      (job ? fromJob : direct)
          .push_back(job ? JobRun(window, jobEnds, rows) : DirectRun(window, rows));
      complete = complete && ListHoldsRows(window, rows);
    }
  }
  Record("window-calls")
      .Add("rows", static_cast<long long>(rows.size()))
      .Add("calls_per_row", 5LL)
      .Add("job_seconds", Median(fromJob))
      .Add("direct_seconds", Median(direct))
      .Add("job_samples", fromJob)
      .Add("direct_samples", direct)
      .Add("complete", static_cast<long long>(complete))
      .Print();
  return complete ? 0 : 1;
}

int MeasureRowMemory(int rowCount) {
  const std::vector<RowCells> rows = SampleRows(rowCount);
  JobEndSignal jobEnds;
  MainWindow window(JobRoutines{});
  window.show();
  QCoreApplication::processEvents();

  const long long before = ResidentBytes();
  JobRun(window, jobEnds, rows);
  QCoreApplication::processEvents();  // the view paints its new rows
  const long long after = ResidentBytes();
  const long long textBytes = TextBytes(rows);
  const bool complete = ListHoldsRows(window, rows);
  Record("row-memory")
      .Add("rows", static_cast<long long>(rows.size()))
      .Add("resident_before", before)
      .Add("resident_after", after)
      .Add("text_bytes", textBytes)
      .Add("bytes_per_row",
           static_cast<double>(after - before - textBytes) / static_cast<double>(rows.size()))
      .Add("complete", static_cast<long long>(complete))
      .Print();
  return complete ? 0 : 1;
}

}  // namespace tessaly::bench
