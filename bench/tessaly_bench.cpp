// tessaly-bench: the measurement driver behind scripts/bench. Each command
// measures one thing and prints one-line JSON records on standard output.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "measures.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tessaly-bench COMMAND ...\n"
    "  crawl BASE_URL           crawl the site once per \"crawl\" line on stdin\n"
    "  parse DIRECTORY          write the parsing pages there and time the row pattern\n"
    "  window-calls ROWS REPEATS\n"
    "  row-memory ROWS\n"
    "  stop-latency STOPS\n";

int Usage() {
  std::fputs(kUsage.data(), stderr);
  return 2;
}

int Count(const char* text) {
  return std::atoi(text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view command = argv[1];
  // The window is real but never needs a screen.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  if (command == "parse" && argc == 3) return tessaly::bench::MeasureParsing(argv[2]);

  QApplication application(argc, argv);
  if (command == "crawl" && argc == 3) return tessaly::bench::MeasureCrawls(argv[2]);
  if (command == "window-calls" && argc == 4)
    return tessaly::bench::MeasureWindowCalls(Count(argv[2]), Count(argv[3]));
  if (command == "row-memory" && argc == 3) return tessaly::bench::MeasureRowMemory(Count(argv[2]));
  if (command == "stop-latency" && argc == 3)
    return tessaly::bench::MeasureStopLatency(Count(argv[2]));
  return Usage();
}
