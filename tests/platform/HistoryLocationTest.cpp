#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/HistoryLocation.h"

TEST(HistoryLocation, TheUsersDataFolderByTheXdgRules) {
  const char* savedHome = std::getenv("HOME");
  const std::string home = savedHome != nullptr ? savedHome : "";
  ::setenv("HOME", "/home/ann", 1);
  struct Case {
    const char* dataHome;  // nullptr: not set
    const char* path;
  };
  const Case cases[] = {
      {"/data/ann", "/data/ann/Ravlin/history.sqlite"},
      {nullptr, "/home/ann/.local/share/Ravlin/history.sqlite"},
      {"", "/home/ann/.local/share/Ravlin/history.sqlite"},
      {"data", "/home/ann/.local/share/Ravlin/history.sqlite"},
  };
  for (const Case& c : cases) {
    if (c.dataHome == nullptr) {
      ::unsetenv("XDG_DATA_HOME");
    } else {
      ::setenv("XDG_DATA_HOME", c.dataHome, 1);
    }
    EXPECT_EQ(HistoryLocation::Default(), c.path) << (c.dataHome ? c.dataHome : "unset");
  }
  ::unsetenv("XDG_DATA_HOME");
  ::setenv("HOME", home.c_str(), 1);
}
