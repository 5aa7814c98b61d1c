#pragma once

#include <string>
#include <utility>
#include <vector>

class JobFailure;
class MsgStr;

// The page's texts as JSON for the page's script.
namespace web_text {

// `text` as a JSON string, quotes included.
std::string Quoted(const std::string& text);
// The texts as one JSON object under their keys.
std::string Object(const std::vector<std::pair<std::string, std::string>>& texts);
// Every text of the engine's part of the page: captions, labels and
// sentences.
std::string EngineTexts(const MsgStr& messages);
// A failure's text, naming its file as `shownPath`; a file's failure adds
// the platform's reason on a line of its own.
std::string FailureText(const JobFailure& failure, const std::string& shownPath);

}  // namespace web_text
