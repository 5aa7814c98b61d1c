#pragma once

#include <string>
#include <vector>

// The page's texts: JSON strings for the page's script, and catalog texts
// with their values filled in.
namespace web_text {

// `text` as a JSON string, quotes included.
std::string Quoted(const std::string& text);
// "%1", "%2", ... of a catalog text replaced by `values`, in order.
std::string Filled(std::string text, const std::vector<std::string>& values);

}  // namespace web_text
