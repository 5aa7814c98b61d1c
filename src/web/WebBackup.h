#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/KeyboardBackup.h"
#include "protocol/MsgStr.h"

class ProgressBar;

// A whole-keyboard backup as the page hands it out and takes it back: the
// core's backup folder, kept in the in-memory file system, travels as one
// .zip of stored entries named as the folder's files. As a listener it shows
// how far the work has come, as the window's status line does.
class WebBackup : public KeyboardBackup::Listener {
 public:
  using Show = std::function<void(const std::string& status)>;

  // `status` is the line the work began with; each item adds "n of m".
  // `folder` is the backup's folder, which the page's user never sees.
  WebBackup(const MsgStr& messages, ProgressBar& bar, std::string status, std::string folder,
            Show show);

  void Starting(const Step& step) override;
  void Written(const std::string& /*path*/) override { ++done_; }
  void Restored(const std::string& /*path*/, const SlotAddress& /*address*/) override { ++done_; }

  // The file or slot where `backup` stopped and what was done before it, once
  // its transfers had begun; "" when there is nothing to say.
  std::string FailureNote(const KeyboardBackup& backup) const;

  // Every file directly in `folder` as an archive's entry, in name order.
  static std::vector<uint8_t> Pack(const std::string& folder);
  // The files of `archive` into `folder`, which is emptied first. Returns
  // the folder that holds the backup: `folder`, or the one folder the
  // archive holds (a .zip made of a backup's folder).
  static std::string Unpack(const std::vector<uint8_t>& archive, const std::string& folder);

 private:
  const MsgStr& messages_;
  ProgressBar& bar_;
  std::string status_;
  std::string folder_;
  Show show_;
  size_t count_ = 0;
  size_t done_ = 0;
};
