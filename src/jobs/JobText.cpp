#include "jobs/JobText.h"

std::string JobText::Filled(std::string text, const std::vector<std::string>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string mark = "%" + std::to_string(i + 1);
    if (const size_t at = text.find(mark); at != std::string::npos)
      text.replace(at, mark.size(), values[i]);
  }
  return text;
}

std::string JobText::OfCount(const MsgStr& messages, const std::string& status, size_t index,
                             size_t count) {
  return status + ' ' +
         Filled(messages, MsgStr::kWordOfCount, {std::to_string(index + 1), std::to_string(count)});
}

std::string JobText::BatchNote(const MsgStr& messages, size_t failed, size_t count,
                               const std::string& item, size_t done) {
  return Filled(messages, MsgStr::kWordBatchFailed,
                {std::to_string(failed + 1), std::to_string(count), item}) +
         (done == 0 ? messages.WordText(MsgStr::kWordNothingBefore)
                    : Filled(messages, MsgStr::kWordDoneBefore, {std::to_string(done)}));
}
