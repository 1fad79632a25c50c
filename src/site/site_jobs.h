// The three jobs that read the site, each run on a worker thread of its own.
#pragma once

#include "text/text.h"
#include "ui/job_context.h"

namespace tessaly::site {

// Reads the front page: totals line into panel 0, page count into panel 2,
// then enables both job buttons.
void LoadSiteSummary(JobContext& job, const Text& baseUrl);
// Walks catalogue pages 1..panel 2 into the list.
void CrawlCatalogue(JobContext& job, const Text& baseUrl);
// Searches the site for the edit box's word over all result pages.
void SearchKeyword(JobContext& job, const Text& baseUrl);

// The three jobs bound to one site, as the window starts them.
JobRoutines SiteJobRoutines(const Text& baseUrl);

}  // namespace tessaly::site
