#pragma once

#include <exception>
#include <string>

#include "protocol/MsgStr.h"

// A .lqd file's properties as the window's Properties dialog shows them for a
// file on the PC, and the rename of its data name. The page puts the chosen
// file into the in-memory file system; a rename rewrites it there, and the
// page hands the new bytes on as a download.
class WebFileProperties {
 public:
  explicit WebFileProperties(const std::string& language);

  // The dialog's texts, as JSON.
  std::string Texts() const;
  // {"type", "size", "name"} as the dialog shows them, or {"error"} with the
  // catalog's text for a file that is no data file.
  std::string Read(const std::string& path) const;
  // The name field's text after an edit, with the dialog's rule: at most 8
  // characters, each from blank to "}" or a half-width katakana; any other
  // character becomes one "_" for each of its UTF-8 bytes.
  std::string FilterName(const std::string& text) const;
  // Stores `name` (UTF-8) as the file's data name; "" or the failure's text.
  std::string Rename(const std::string& path, const std::string& name) const;

 private:
  std::string Word(MsgStr::Word word) const { return msg_.WordText(word); }
  std::string Failure(std::exception_ptr error) const;

  MsgStr msg_;
};
