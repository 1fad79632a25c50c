#include "bench_support.h"

#include <unistd.h>

#include <fstream>

namespace tessaly::bench {

long long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long long totalPages = 0;
  long long residentPages = 0;
  statm >> totalPages >> residentPages;
  return residentPages * sysconf(_SC_PAGESIZE);
}

Record::Record(std::string_view kind) : line_(1, '{') {
  Add("record", kind);
}

void Record::Key(std::string_view key) {
  if (line_.size() > 1) line_ += ", ";
  line_ += '"';
  line_ += key;
  line_ += "\": ";
}

Record& Record::Add(std::string_view key, double value) {
  Key(key);
  char number[64];
  std::snprintf(number, sizeof number, "%.9g", value);
  line_ += number;
  return *this;
}

Record& Record::Add(std::string_view key, long long value) {
  Key(key);
  line_ += std::to_string(value);
  return *this;
}

// Only the driver's own ASCII names and numbers go in here: no escaping needed.
Record& Record::Add(std::string_view key, std::string_view value) {
  Key(key);
  line_ += '"';
  line_ += value;
  line_ += '"';
  return *this;
}

Record& Record::Add(std::string_view key, const std::vector<double>& values) {
  Key(key);
  line_ += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    char number[64];
    std::snprintf(number, sizeof number, "%s%.9g", i == 0 ? "" : ", ", values[i]);
    line_ += number;
  }
  line_ += ']';
  return *this;
}

void Record::Print() {
  line_ += "}\n";
  std::fputs(line_.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace tessaly::bench
