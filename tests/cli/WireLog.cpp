#include "WireLog.h"

#include <fstream>
#include <sstream>

namespace {

std::string Text(const std::vector<WireLog::Line>& lines, size_t index) {
  if (index >= lines.size()) return "the end";
  return std::string(1, lines[index].direction) + " " + lines[index].hex;
}

// The first allowance that lets line `index` of `lines` go, or nullptr.
const WireLog::Allowance* Skipping(const std::vector<WireLog::Allowance>& allowances,
                                   bool inReference, const std::vector<WireLog::Line>& lines,
                                   size_t index) {
  if (index >= lines.size()) return nullptr;
  for (const WireLog::Allowance& allowance : allowances) {
    if (allowance.inReference == inReference && allowance.skippable(lines, index)) {
      return &allowance;
    }
  }
  return nullptr;
}

}  // namespace

std::vector<WireLog::Line> WireLog::Read(const std::string& path) {
  std::vector<Line> lines;
  std::ifstream in(path);
  for (std::string text; std::getline(in, text);) {
    std::vector<std::string> fields;
    std::istringstream split(text);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    // A log line starts with its time, a reference line with its direction.
    if (fields.size() >= 4) fields.erase(fields.begin());
    if (fields.empty() || fields[0].size() != 1) continue;
    lines.push_back({fields[0][0], fields.size() > 1 ? fields[1] : std::string()});
  }
  return lines;
}

void WireLog::Write(const std::string& path, const std::vector<Line>& lines) {
  std::ofstream out(path, std::ios::trunc);
  for (const Line& line : lines) out << line.direction << '\t' << line.hex << '\n';
}

WireLog::Comparison WireLog::Compare(const std::vector<Line>& reference,
                                     const std::vector<Line>& log,
                                     const std::vector<Allowance>& allowances) {
  Comparison result;
  size_t r = 0;
  size_t l = 0;
  while (r < reference.size() || l < log.size()) {
    if (r < reference.size() && l < log.size() && reference[r] == log[l]) {
      ++r;
      ++l;
    } else if (const Allowance* extra = Skipping(allowances, false, log, l)) {
      result.allowancesUsed.push_back(extra->name);
      ++l;
    } else if (const Allowance* missing = Skipping(allowances, true, reference, r)) {
      result.allowancesUsed.push_back(missing->name);
      ++r;
    } else {
      result.difference = "message " + std::to_string(r + 1) + " of the reference is " +
                          Text(reference, r) + ", message " + std::to_string(l + 1) +
                          " of the log " + Text(log, l);
      break;
    }
  }
  return result;
}
