#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 (FIPS 180-4), of our own so that the page, built without OpenSSL,
// names an item by the same hash as the desktop.
class Sha256 {
 public:
  static std::array<uint8_t, 32> Digest(const uint8_t* data, size_t size);
  // The digest in lower-case hexadecimal, as the history store keys its items.
  static std::string Hex(const uint8_t* data, size_t size);
};
