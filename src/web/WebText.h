#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "protocol/MsgStr.h"

// The page's texts: JSON strings for the page's script, and catalog texts
// with their values filled in, as the window shows them.
namespace web_text {

// `text` as a JSON string, quotes included.
std::string Quoted(const std::string& text);
// "%1", "%2", ... of a catalog text replaced by `values`, in order.
std::string Filled(std::string text, const std::vector<std::string>& values);
// What a batch of several items says under its failure: which item failed
// and what was done before it.
std::string BatchNote(const MsgStr& messages, size_t failed, size_t count, const std::string& item);

}  // namespace web_text
