// What each front end is given for a failed job: the catalog's text by the
// exception's class and code in both languages, the user's stop, the file a
// file failure names, and the command line's exit status.

#include <gtest/gtest.h>

#include <csignal>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "files/FileError.h"
#include "files/LqdFileStream.h"
#include "history/HistoryException.h"
#include "jobs/JobFailure.h"
#include "midi/QnException.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"

namespace {

struct Case {
  const char* name;
  std::exception_ptr error;
  int stopSignal;
  std::function<std::string(const MsgStr&)> text;
  bool cancelled;
  int exitStatus;
};

template <typename E, typename... Args>
std::exception_ptr Raised(Args... args) {
  return std::make_exception_ptr(E(args...));
}

TEST(JobFailure, EveryClassAndCodeInEveryLanguage) {
  const auto cancelled = [](const MsgStr& m) { return m.SysExText(QnSysEx::kCancelled); };
  std::vector<Case> cases;
  for (int32_t code = 0; code < 8; ++code) {
    const std::string at = std::to_string(code);
    cases.push_back({"exchange", Raised<MidiDevException>(code, 3u), 0,
                     [=](const MsgStr& m) { return m.MidiDevText(code, 3u); }, false, 1});
    cases.push_back({"protocol", Raised<QnSysExException>(code), SIGTERM,
                     [=](const MsgStr& m) { return m.SysExText(code); },
                     code == QnSysEx::kCancelled, code == QnSysEx::kCancelled ? 143 : 1});
    cases.push_back({"keyboard", Raised<QnKbdDrvException>(code), 0,
                     [=](const MsgStr& m) { return m.KbdDrvText(code); }, false, 1});
    cases.push_back({"stream", Raised<LqdStreamException>(code), SIGINT,
                     [=](const MsgStr& m) { return m.StreamText(code); }, false, 1});
    cases.push_back({"operation", Raised<OperateException>(code), 0,
                     [=](const MsgStr& m) { return m.OperateText(code); }, false, 1});
  }
  const std::pair<int32_t, MsgStr::Word> history[] = {
      {HistoryException::kBusy, MsgStr::kWordHistoryBusy},
      {HistoryException::kReadOnly, MsgStr::kWordHistoryReadOnly},
      {HistoryException::kFull, MsgStr::kWordHistoryFull},
      {HistoryException::kNewerVersion, MsgStr::kWordHistoryNewer},
      {HistoryException::kDamaged, MsgStr::kWordHistoryDamaged},
      {HistoryException::kFailed, MsgStr::kWordHistoryFailed}};
  for (const auto& entry : history) {
    const MsgStr::Word word = entry.second;
    cases.push_back({"history", Raised<HistoryException>(entry.first), SIGINT,
                     [word](const MsgStr& m) { return m.WordText(word); }, false, 1});
  }
  cases.push_back(
      {"stopped by a signal", Raised<MidiDevException>(2, 0u), SIGTERM, cancelled, true, 143});
  cases.push_back({"stopped by the user", Raised<QnSysExException>(QnSysEx::kCancelled), 0,
                   cancelled, true, 130});
  cases.push_back({"open", Raised<FileError>(FileError::Op::Open, "a/b.lqd", "gone"), 0,
                   [](const MsgStr& m) { return m.FileText(false, "a/b.lqd"); }, false, 1});
  cases.push_back({"read", Raised<FileError>(FileError::Op::Read, "a/b.lqd", "gone"), 0,
                   [](const MsgStr& m) { return m.FileText(false, "a/b.lqd"); }, false, 1});
  for (const FileError::Op op : {FileError::Op::Create, FileError::Op::Write})
    cases.push_back({"create", Raised<FileError>(op, "a/b.lqd", "gone"), 0,
                     [](const MsgStr& m) { return m.FileText(true, "a/b.lqd"); }, false, 1});
  cases.push_back({"folder", Raised<FileError>(FileError::Op::SyncFolder, "a/b.lqd", "gone"), 0,
                   [](const MsgStr& m) { return m.StreamText(LqdFileStream::kFolderNotSynced); },
                   false, 1});
  cases.push_back({"other", Raised<std::length_error>("too long"), 0,
                   [](const MsgStr&) { return std::string("too long"); }, false, 1});
  cases.push_back({"unknown", std::make_exception_ptr(42), 0,
                   [](const MsgStr&) { return std::string("?"); }, false, 1});

  for (const MsgStr::Language language : {MsgStr::Language::English, MsgStr::Language::Japanese}) {
    const MsgStr messages(language);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name + std::string(language == MsgStr::Language::English ? " en" : " ja"));
      const JobFailure failure(c.error, messages, "slot 3", c.stopSignal);
      EXPECT_EQ(failure.Text(), c.text(messages));
      EXPECT_EQ(failure.Cancelled(), c.cancelled);
      EXPECT_EQ(failure.ExitStatus(), c.exitStatus);
      EXPECT_EQ(failure.Context(), "slot 3");
    }
  }
}

TEST(JobFailure, AFileFailureNamesTheFileAsTheFrontEndWritesIt) {
  const MsgStr messages(MsgStr::Language::English);
  const JobFailure created(Raised<FileError>(FileError::Op::Write, "dir/x.lqd", "disk full"),
                           messages);
  EXPECT_TRUE(created.FileFailed());
  EXPECT_FALSE(created.FolderNotSynced());
  EXPECT_EQ(created.Path(), "dir/x.lqd");
  EXPECT_EQ(created.Reason(), "disk full");
  EXPECT_EQ(created.Text("x.lqd"), messages.FileText(true, "x.lqd"));
  EXPECT_EQ(created.Code(), -1);

  const JobFailure folder(Raised<FileError>(FileError::Op::SyncFolder, "dir", "EIO"), messages);
  EXPECT_TRUE(folder.FolderNotSynced());
  EXPECT_EQ(folder.Path(), "dir");
  EXPECT_EQ(folder.Text("elsewhere"), messages.StreamText(LqdFileStream::kFolderNotSynced));

  const JobFailure answer(Raised<QnSysExException>(99), messages);
  EXPECT_FALSE(answer.FileFailed());
  EXPECT_EQ(answer.Code(), 99);
  EXPECT_EQ(answer.Text(), "");
}

}  // namespace
