#pragma once

#include <cstdint>

// What a request is about: owned by the caller for the length of a request.
struct SysExAddress {
  uint8_t category = 0;         // data category, low four bits of byte 5
  uint32_t bytesRemaining = 0;  // block transfers: bytes of the item still to send
  uint32_t itemNumber = 0;      // 14 bits, bytes 8 and 9
  uint16_t* words = nullptr;    // block transfers: the item's data in memory word order
  uint32_t wordCount = 0;  // block transfers: words the buffer holds; received blocks stay inside
};
