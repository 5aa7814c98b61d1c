#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "protocol/MsgStr.h"

// The catalog's texts with their values filled in, as every front end shows
// them.
class JobText {
 public:
  // "%1", "%2", ... of `text` replaced by `values`, in order.
  static std::string Filled(std::string text, const std::vector<std::string>& values);
  static std::string Filled(const MsgStr& messages, MsgStr::Word word,
                            const std::vector<std::string>& values) {
    return Filled(messages.WordText(word), values);
  }
  // A status line with the item under way: "Sending... 2 of 3".
  static std::string OfCount(const MsgStr& messages, const std::string& status, size_t index,
                             size_t count);
  // What a batch of several items says under its failure: which item failed
  // and what was done before it.
  static std::string BatchNote(const MsgStr& messages, size_t failed, size_t count,
                               const std::string& item) {
    return BatchNote(messages, failed, count, item, failed);
  }
  // As above, for a job that keeps what it has done until its end: `done`
  // items were done before the failed one.
  static std::string BatchNote(const MsgStr& messages, size_t failed, size_t count,
                               const std::string& item, size_t done);
};
