#include "BenchResults.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

void BenchResults::Put(const std::string& key, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  Put(key, std::string(text));
}

void BenchResults::Put(const std::string& key, const std::string& value) {
  const char* path = std::getenv("RAVLIN_BENCH_RESULTS");
  if (path == nullptr || *path == '\0') return;
  std::string tagged = key;
  if (const char* tag = std::getenv("RAVLIN_BENCH_TAG"))
    tagged.insert(std::min(key.find('.'), key.size()), tag);
  std::ofstream out(path, std::ios::app);
  out << tagged << ' ' << value << '\n';
}
