#pragma once

#include <cstdint>
#include <exception>
#include <string>

class MsgStr;

// What a front end shows for work that ended in an exception: the catalog's
// text for the exception's class and code, the item it befell, whether the
// user stopped the work, and the command line's exit status. The window, the
// page and the command line lay these out each in their own way.
class JobFailure {
 public:
  // `context` says which file or slot failed and what was done before it.
  // `stopSignal` is the signal the command line received while the work ran
  // (0: none); an exchange given up for it, or timed out in an item it had
  // to let finish, is the user's stop.
  JobFailure(std::exception_ptr error, const MsgStr& messages, std::string context = {},
             int stopSignal = 0);

  bool Cancelled() const { return cancelled_; }
  // The catalog's text; a file failure names the file as `shownPath`, the
  // front end's way of writing Path().
  std::string Text(const std::string& shownPath) const;
  std::string Text() const { return Text(path_); }
  // The code of a failed exchange, else -1; the catalog has no text for
  // some (Text() is then empty).
  int32_t Code() const { return code_; }
  // The failed file and the platform's reason, for a file failure; the
  // folder whose new entry is not yet on the disk names itself (Path()).
  bool FileFailed() const { return fileFailed_; }
  bool FolderNotSynced() const { return folderNotSynced_; }
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }
  const std::string& Context() const { return context_; }
  // 1, or for the user's stop 128 + the signal (SIGINT when the stop came
  // another way).
  int ExitStatus() const;

 private:
  const MsgStr& messages_;
  std::string text_;
  std::string context_;
  std::string path_;
  std::string reason_;
  int32_t code_ = -1;
  int stopSignal_;
  bool cancelled_ = false;
  bool fileFailed_ = false;
  bool fileCreated_ = false;
  bool folderNotSynced_ = false;
};
