#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QnData;
class QnDataDrive;
class QnDataFile;

// Several items moved in one command. Everything a single send checks is
// checked for the whole batch before the first exchange, so that a batch
// that cannot succeed changes nothing on the keyboard; the names of a batch
// of imports never make one file of the batch replace another.
class TransferBatch {
 public:
  struct Send {
    QnData* slot;      // a slot entry of the keyboard tree, or a folder (refused)
    QnDataFile* file;  // the file's data, already read
  };

  // Throws what a single send would: OperateException 5 for a target that is
  // no slot (or a batch longer than the folder), LqdStreamException
  // kTypeDiffers for a file of another type, kNoMemory when the songs and
  // rhythms together do not fit the memory `songRhythm` has free plus what
  // their slots hold now (those go before their uploads).
  static void CheckSends(const std::vector<Send>& sends, const QnDataDrive& songRhythm);

  // The file names of a batch of imports, in order: a name met again in the
  // batch gets "_2", "_3", ... before its extension.
  static std::vector<std::string> ImportNames(const std::vector<std::string>& names);
};
