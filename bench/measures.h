// The driver's measurements. Each prints its figures as records (see
// bench_support.h) and returns the process's exit status.
#pragma once

#include <string>

namespace tessaly::bench {

// The real window and the real jobs against the site at baseUrl: loads the
// summary, then crawls the whole catalogue once for every "crawl" line read
// from standard input, until end of input.
int MeasureCrawls(const std::string& baseUrl);

// Writes the two parsing pages (UTF-8, as the site sends them) into
// directory, then times the row pattern over each.
int MeasureParsing(const std::string& directory);

// rows rows of four cells through the window operations, from a job thread
// and on the window's thread, repeats times each.
int MeasureWindowCalls(int rows, int repeats);

// Resident memory before and after rows rows reach the window from a job.
int MeasureRowMemory(int rows);

// stops stops of the crawl job while its fetch waits on a server that never
// answers.
int MeasureStopLatency(int stops);

}  // namespace tessaly::bench
