#include "ui/window_handlers.h"

namespace tessaly {

void OnWindowCreated(WorkerControl& workers, const JobRoutines& routines) {
  workers.StartJob(routines.loadSiteSummary);
}

void OnCrawlClicked(WorkerControl& workers, const JobRoutines& routines) {
  workers.StartJob(routines.crawlCatalogue);
}

void OnSearchClicked(WorkerControl& workers, const JobRoutines& routines) {
  workers.StartJob(routines.searchKeyword);
}

void OnStopClicked(WorkerControl& workers, WindowOperations& window) {
  workers.StopLastJob();
  window.SetControlEnabled(JobButton::Search, true);
  window.SetControlEnabled(JobButton::Crawl, true);
}

void OnListRightClick(WorkerControl& workers, WindowOperations& window) {
  workers.StopLastJob();
  if (window.ListSelectedRow() != -1) window.ShowPopupMenu();
}

}  // namespace tessaly
