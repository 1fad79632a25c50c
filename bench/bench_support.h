// What the benchmark driver's measurements share: a steady clock, medians,
// the process's resident memory and the one-line JSON records the bench
// script reads.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Resident memory in bytes, from /proc/self/statm.
long long ResidentBytes();

// One record: {"key": value, ...} on a line of its own, flushed at once so
// that the script reading the pipe sees it while the driver goes on.
class Record {
 public:
  explicit Record(std::string_view kind);
  Record& Add(std::string_view key, double value);
  Record& Add(std::string_view key, long long value);
  Record& Add(std::string_view key, std::string_view value);
  Record& Add(std::string_view key, const std::vector<double>& values);
  void Print();

 private:
  void Key(std::string_view key);
  std::string line_;
};

}  // namespace tessaly::bench
