#include "jobs/JobFailure.h"

#include <csignal>
#include <utility>

#include "files/FileError.h"
#include "files/LqdFileStream.h"
#include "history/HistoryException.h"
#include "jobs/JobException.h"
#include "midi/QnException.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"

JobFailure::JobFailure(std::exception_ptr error, const MsgStr& messages, std::string context,
                       int stopSignal)
    : messages_(messages), context_(std::move(context)), stopSignal_(stopSignal) {
  try {
    std::rethrow_exception(error);
  } catch (const MidiDevException& e) {
    cancelled_ = stopSignal != 0;
    text_ = cancelled_ ? messages.SysExText(QnSysEx::kCancelled)
                       : messages.MidiDevText(e.Code(), e.SubCode());
  } catch (const QnSysExException& e) {
    code_ = e.Code();
    cancelled_ = e.Code() == QnSysEx::kCancelled;
    text_ = messages.SysExText(e.Code());
  } catch (const QnKbdDrvException& e) {
    text_ = messages.KbdDrvText(e.Code());
  } catch (const LqdStreamException& e) {
    text_ = messages.StreamText(e.Code());
  } catch (const OperateException& e) {
    text_ = messages.OperateText(e.Code());
  } catch (const JobException& e) {
    text_ = messages.WordText(e.Code() == JobException::kSlotEmpty ? MsgStr::kWordCliSlotEmpty
                                                                   : MsgStr::kWordCliNoDataName);
  } catch (const HistoryException& e) {
    text_ = messages.WordText(static_cast<MsgStr::Word>(MsgStr::kWordHistoryBusy + e.Code()));
  } catch (const FileError& e) {
    fileFailed_ = true;
    folderNotSynced_ = e.Operation() == FileError::Op::SyncFolder;
    fileCreated_ = e.Operation() == FileError::Op::Create || e.Operation() == FileError::Op::Write;
    path_ = e.Path();
    reason_ = e.Reason();
    if (folderNotSynced_) text_ = messages.StreamText(LqdFileStream::kFolderNotSynced);
  } catch (const std::exception& e) {
    text_ = e.what();
  } catch (...) {
    text_ = "?";
  }
}

std::string JobFailure::Text(const std::string& shownPath) const {
  if (fileFailed_ && !folderNotSynced_) return messages_.FileText(fileCreated_, shownPath);
  return text_;
}

int JobFailure::ExitStatus() const {
  if (!cancelled_) return 1;
  return 128 + (stopSignal_ != 0 ? stopSignal_ : SIGINT);
}
