#pragma once

#include <optional>
#include <string>

namespace sim {

// Misbehaviours the simulated keyboard can be told to show, for tests.
enum class Fault {
  None,
  NoAnswer,        // stays silent to every request
  BadChecksum,     // the next `count` data blocks it sends carry a wrong checksum
  ResendRequests,  // answers the next `count` uploaded blocks with 3 (send again)
  Reject,          // answers an uploaded block with 2
  Error15,         // answers an uploaded block with 15
  UnknownCode,     // answers an uploaded block with an undefined code (9)
  LongAnswer,      // answers parameter reads with a message longer than 256 bytes
  ForeignFirst,    // sends a SysEx message of another maker before each answer
  StallOutput,     // the program's output never completes (link level)
  Echo,            // sends every message back as it came and answers nothing (a MIDI thru loop)
  // Sends each of the next `count` answers twice; after an uploaded block it
  // then asks for the next block again (3).
  DuplicateAnswer,
  // Answers the next `count` song and rhythm size reads with a size beyond
  // the memory.
  HugeSize,
};

std::optional<Fault> ParseFault(const std::string& name);
std::string FaultName(Fault fault);
// Every mode's name but "none", comma-separated, for help and error texts.
std::string FaultNames();

}  // namespace sim
