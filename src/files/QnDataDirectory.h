#pragma once

#include "files/QnDataDrive.h"

// A folder inside a memory area; carries the directory flag, not the drive flag.
class QnDataDirectory : public QnDataDrive {
 public:
  explicit QnDataDirectory(uint16_t type);
};
