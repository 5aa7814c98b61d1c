#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The messages of one command as they went over the wire, in order: each
// line of a `--log` file without its time and meaning, which change from run
// to run or with the wording. Kept as reference files of "DIR<TAB>HEX" lines
// so that a rewrite of the keyboard engine can be held to today's wire.
class WireLog {
 public:
  struct Line {
    char direction;  // '>' to the keyboard, '<' from it, '!' a failure
    std::string hex;
    bool operator==(const Line&) const = default;
  };

  // A named way in which a log may differ from its reference: a line of the
  // reference (`inReference`) or of the log that the other does not hold.
  // `skippable` sees the whole log the line is in, so it can judge a line by
  // those before it.
  struct Allowance {
    std::string name;
    bool inReference;
    std::function<bool(const std::vector<Line>& lines, size_t index)> skippable;
  };

  struct Comparison {
    std::string difference;  // empty when the logs match
    std::vector<std::string> allowancesUsed;
  };

  // Reads a `--log` file or a reference file alike.
  static std::vector<Line> Read(const std::string& path);
  static void Write(const std::string& path, const std::vector<Line>& lines);

  // Walks both logs in step; where they part, a line that an allowance may
  // skip is passed over, else the first difference is named.
  static Comparison Compare(const std::vector<Line>& reference, const std::vector<Line>& log,
                            const std::vector<Allowance>& allowances);
};
