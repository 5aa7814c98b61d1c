#pragma once

#include <string>

// The figures a benchmark program hands to scripts/bench.sh: one "key value"
// line each, appended to the file named by RAVLIN_BENCH_RESULTS (nothing is
// written when it is unset).
class BenchResults {
 public:
  static void Put(const std::string& key, double value);
  static void Put(const std::string& key, const std::string& value);
};
