#pragma once

#include <string>

// The figures a benchmark program hands to scripts/bench.sh: one "key value"
// line each, appended to the file named by RAVLIN_BENCH_RESULTS (nothing is
// written when it is unset). RAVLIN_BENCH_TAG, when set, is added to the
// first part of each key ("fig3.bare_s" with tag "@256" becomes
// "fig3@256.bare_s"), so that a program can run under several conditions.
class BenchResults {
 public:
  static void Put(const std::string& key, double value);
  static void Put(const std::string& key, const std::string& value);
};
