#include "files/QnDataDirectory.h"

QnDataDirectory::QnDataDirectory(uint16_t type) : QnDataDrive(type) {
  kind_ = kKindEntry | kKindDirectory;
}
