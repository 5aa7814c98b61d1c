#pragma once

#include <cstdint>
#include <vector>

// Aborts (a finding) when a message the program sends is not one the
// keyboard can take: the SysEx frame with this maker, model and device,
// 7-bit bytes, at most one port buffer, and a data block of consistent
// length, word count and checksum.
void CheckSent(const std::vector<uint8_t>& message);
