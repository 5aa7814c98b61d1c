#pragma once

#include <cstdint>

struct SysExParam {
  uint8_t number = 0;      // parameter number, byte 6
  uint8_t width = 0;       // value width in bits, 1 to 32
  uint8_t indexCount = 1;  // n, 1 to 4
  uint8_t index[4] = {};   // the n index bytes sent after byte 9
  uint32_t value = 0;      // sent by a write; receives the answer of a read
};
