#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Trv408.h"

// The program's half of the conversation, written out from the message
// layout so that the keyboard is checked against bytes it did not make.
namespace program {

using Bytes = std::vector<uint8_t>;

Bytes Read(int category, int item, int parameter, int width, int index);
Bytes Write(int parameter, int width, uint32_t value);
Bytes RequestData(int category, int item);
Bytes Handshake(int category, int item, uint8_t code);
// A block of words starting at word number × 64; `checksumDelta` spoils it.
Bytes Block(int category, int item, int number, const std::vector<uint16_t>& words,
            int checksumDelta = 0);

// The value of a read answer (n = 1 index byte, groups for `width`).
uint32_t Value(const Bytes& answer, int width);
// The name of a two-read name request pair, as the program decodes it.
std::string Name(sim::Trv408& keyboard, int category, int item, int firstParameter, int index);
std::optional<uint32_t> ReadValue(sim::Trv408& keyboard, int category, int item, int parameter,
                                  int width, int index);

bool SoundBlock(const Bytes& block);
int BlockNumber(const Bytes& block);
std::vector<uint16_t> BlockWords(const Bytes& block);
// The code of a handshake, or -1 for any other message.
int HandshakeCode(const Bytes& message);

std::vector<uint16_t> Words(const Bytes& fileOrder);
Bytes FileOrder(const std::vector<uint16_t>& words);

// A whole download / upload with handshakes; they fail the test on any
// unexpected answer. Download returns the item's data in file order.
Bytes Download(sim::Trv408& keyboard, int category, int item);
void Upload(sim::Trv408& keyboard, int category, int item, const Bytes& fileOrder);

}  // namespace program
