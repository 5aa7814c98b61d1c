// The standard's own examples, one of each length class: an empty message,
// one block, a message whose padding takes a second block, and many blocks.

#include <gtest/gtest.h>

#include <string>

#include "history/Sha256.h"

TEST(Sha256, StandardTestVectors) {
  struct Case {
    std::string message;
    const char* hex;
  };
  const Case cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sha256::Hex(reinterpret_cast<const uint8_t*>(c.message.data()), c.message.size()),
              c.hex)
        << c.message.size();
  }
}
