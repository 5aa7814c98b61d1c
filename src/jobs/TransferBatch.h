#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class QnData;
class QnDataDrive;
class QnDataFile;

// Several items moved in one command. Everything a single send checks is
// checked for the whole batch before the first exchange, so that a batch
// that cannot succeed changes nothing on the keyboard; the names of a batch
// of imports never make one file of the batch replace another, nor replace a
// file the user had under a name the batch made up.
class TransferBatch {
 public:
  struct Send {
    QnData* slot;      // a slot entry of the keyboard tree, or a folder (refused)
    QnDataFile* file;  // the file's data, already read
    std::string path;  // where it was read, as the events name it
  };

  // Throws what a single send would: OperateException 5 for a target that is
  // no slot (or a batch longer than the folder), LqdStreamException
  // kTypeDiffers for a file of another type, kNoMemory when a song or rhythm
  // would find less free memory than its size when its turn comes. Each
  // send deletes its slot's old data only after its own check, so the
  // memory is followed item by item from what `songRhythm` has free now.
  static void CheckSends(const std::vector<Send>& sends, const QnDataDrive& songRhythm);

  // The file names of a batch of imports into `folder` ("" is the current
  // folder), asked for one by one as the items arrive. An item's natural
  // name replaces a file of that name, as a single import does; a name met
  // again in the batch gets "_2", "_3", ... before its extension, skipping
  // names of files that exist. Names within the batch are told apart without
  // regard to letter case, as FAT and exFAT sticks tell them.
  class ImportNames {
   public:
    explicit ImportNames(std::string folder);
    std::string Next(const std::string& natural);

   private:
    bool Exists(const std::string& name) const;

    std::string folder_;
    std::set<std::string> taken_;  // folded to lower case
  };
};
